// Speech through speech-dispatcher; every text is also one line on standard output.

#include <cstdio>
#include <mutex>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/speech_session.hpp"
#include "platform/text.hpp"

namespace tarrow {

void LinuxPlatform::LoadSpeech() { speech_->loaded = true; }

void LinuxPlatform::OutputSpeech(std::u16string_view text, bool) {
    static std::mutex lineLock;
    const std::string line = Utf16ToUtf8(text);
    std::lock_guard<std::mutex> guard(lineLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace tarrow
