// The Linux side of the cue engine: cue files read with POSIX calls, the
// sound server or ALSA as the engine's device, and libasound kept quiet.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/cue_engine.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/sound/audio_session.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

// Cues are short; this only keeps a stray huge file from eating the memory.
constexpr off_t kMaxCueFileBytes = 64 << 20;

// The whole of a regular file, or false. O_NONBLOCK keeps a FIFO put in
// place of a cue from holding start-up.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) return false;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size > kMaxCueFileBytes) return false;
    out.resize(static_cast<size_t>(info.st_size));
    // A file that shrank while read is taken as it was read.
    out.resize(ReadFull(fd.Get(), out.data(), out.size()).count);
    return true;
}

// libasound writes its own complaints to standard error when it finds no
// sound card; the program reports nothing, so they are silenced. miniaudio
// opens the same library, which shares this handler while we hold it open.
class AlsaQuiet {
public:
    AlsaQuiet() : library_(::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL)) {
        if (!library_) return;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        if (void* symbol = ::dlsym(library_, "snd_lib_error_set_handler")) {
            reinterpret_cast<SetHandler>(symbol)(&Ignore);
        }
    }
    ~AlsaQuiet() {
        if (library_) ::dlclose(library_);
    }
    AlsaQuiet(const AlsaQuiet&) = delete;
    AlsaQuiet& operator=(const AlsaQuiet&) = delete;

private:
    static void Ignore(const char*, int, const char*, int, const char*, ...) {}
    void* library_;
};

}  // namespace

bool StartAudioEngine(AudioSession& session, AudioOutput output) {
    return StartCueEngine(session, [output](AudioEngine& engine) {
        engine.backendGuard = std::make_shared<AlsaQuiet>();  // outlives the context

        // The null backend would always "succeed", so it is used only when asked.
        // The sound server first (PipeWire answers for it too), else ALSA directly.
        static constexpr std::array<ma_backend, 2> kDevices = {ma_backend_pulseaudio,
                                                               ma_backend_alsa};
        static constexpr std::array<ma_backend, 1> kSilent = {ma_backend_null};
        const bool silent = output == AudioOutput::Silent;
        const ma_backend* backends = silent ? kSilent.data() : kDevices.data();
        const ma_uint32 count = silent ? kSilent.size() : kDevices.size();

        // No sound server is ever started on our behalf.
        ma_context_config contextConfig = ma_context_config_init();
        contextConfig.pulse.tryAutoSpawn = MA_FALSE;
        contextConfig.pulse.pApplicationName = "Tarrow Desk";
        if (ma_context_init(backends, count, &contextConfig, &engine.context) != MA_SUCCESS) {
            return false;
        }
        engine.contextReady = true;
        return true;
    });
}

CueId LoadCueFile(AudioSession& session, const std::string& path) {
    return LoadCueWith(session, [&path](std::vector<uint8_t>& bytes) {
        return ReadWholeFile(path, bytes);
    });
}

bool LinuxPlatform::StartAudio() { return StartAudioEngine(*audio_, AudioOutput::Devices); }

CueId LinuxPlatform::LoadCue(std::u16string_view path) {
    std::string file = Utf16ToUtf8(path);
    if (!cueFolder_.empty() && file.starts_with("snd/")) file = cueFolder_ + file.substr(3);
    return LoadCueFile(*audio_, file);
}

void LinuxPlatform::PlayCue(CueId cue) { PlayLoadedCue(*audio_, cue); }

}  // namespace tarrow
