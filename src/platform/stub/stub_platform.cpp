#include "platform/stub/stub_platform.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/text.hpp"

namespace tarrow {

namespace {

void WriteLine(std::FILE* stream, std::u16string_view text) {
    const std::string line = Utf16ToUtf8(text);
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

}  // namespace

void StubPlatform::EndProcess(int exitCode) { std::exit(exitCode); }

Event StubPlatform::WaitEvent(int64_t) { return {EventKind::Close, 0}; }

MessageAnswer StubPlatform::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                        MessageStyle style) {
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        WriteLine(stderr, std::u16string(caption) + u": " + std::u16string(text));
    }
    return style == kMbYesNo ? kIdNo : kIdOk;
}

void StubPlatform::OutputSpeech(std::u16string_view text, bool) {
    std::lock_guard<std::mutex> guard(outputLock_);
    WriteLine(stdout, text);
}

int64_t StubPlatform::NowMs() {
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

// Bytes below 128 as they are; others are unknown without a code page.
std::u16string StubPlatform::AnsiToUtf16(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : u'?');
    }
    return text;
}

void StubPlatform::ReportFileProblem(std::u16string_view line) {
    std::lock_guard<std::mutex> guard(outputLock_);
    WriteLine(stderr, line);
}

std::unique_ptr<PlatformServices> CreatePlatform() { return std::make_unique<StubPlatform>(); }

}  // namespace tarrow
