// Sound cues through miniaudio: every cue is decoded once into memory and
// played from there, so playing never touches the disk.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/audio_session.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/miniaudio_setup.hpp"
#include "platform/linux/wave_file.hpp"
#include "platform/text.hpp"

namespace tarrow {

static_assert(kMaxWaveChannels == MA_MAX_CHANNELS);

namespace {

// Cues are short; these only keep a stray huge file from eating the memory.
constexpr off_t kMaxCueFileBytes = 64 << 20;
constexpr uint64_t kMaxDecodedSamples = 32u << 20;
constexpr ma_uint64 kDecodeChunkFrames = 4096;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The whole of a regular file, or false. O_NONBLOCK keeps a FIFO put in
// place of a cue from holding start-up.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return false;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size > kMaxCueFileBytes) return false;
    out.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    out.resize(done);  // a file that shrank while read is taken as it was read
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

// One cue: its samples, the buffer that reads them, and the engine's sound.
// miniaudio keeps pointers into all three, so a cue never moves.
struct Cue {
    Cue() = default;
    Cue(const Cue&) = delete;
    Cue& operator=(const Cue&) = delete;
    ~Cue() {
        if (soundReady) ma_sound_uninit(&sound);
        if (bufferReady) ma_audio_buffer_uninit(&buffer);
    }

    std::vector<uint8_t> u8;
    std::vector<int16_t> s16;
    std::vector<float> f32;
    ma_audio_buffer buffer{};
    ma_sound sound{};
    bool bufferReady = false;
    bool soundReady = false;
};

struct Pcm {
    ma_format format = ma_format_unknown;
    ma_uint32 channels = 0;
    ma_uint32 sampleRate = 0;
    ma_uint64 frames = 0;
};

// Files that are not plain RIFF PCM go through miniaudio's own decoders.
bool DecodeWithMiniaudio(std::span<const uint8_t> bytes, Cue& cue, Pcm& pcm) {
    ma_decoder_config config = ma_decoder_config_init(ma_format_f32, 0, 0);
    ma_decoder decoder;
    if (ma_decoder_init_memory(bytes.data(), bytes.size(), &config, &decoder) != MA_SUCCESS) {
        return false;
    }
    struct DecoderGuard {
        ma_decoder* decoder;
        ~DecoderGuard() { ma_decoder_uninit(decoder); }
    } guard{&decoder};

    const ma_uint32 channels = decoder.outputChannels;
    const ma_uint32 rate = decoder.outputSampleRate;
    if (channels == 0 || channels > MA_MAX_CHANNELS || rate < kMinWaveRate || rate > kMaxWaveRate) {
        return false;
    }
    ma_uint64 frames = 0;
    for (;;) {
        if ((frames + kDecodeChunkFrames) * channels > kMaxDecodedSamples) return false;
        cue.f32.resize(static_cast<size_t>((frames + kDecodeChunkFrames) * channels));
        ma_uint64 read = 0;
        const ma_result result = ma_decoder_read_pcm_frames(
            &decoder, cue.f32.data() + frames * channels, kDecodeChunkFrames, &read);
        frames += read;
        if (result != MA_SUCCESS || read < kDecodeChunkFrames) break;
    }
    if (frames == 0) return false;
    cue.f32.resize(static_cast<size_t>(frames * channels));
    pcm = {ma_format_f32, channels, rate, frames};
    return true;
}

bool DecodeCue(std::span<const uint8_t> bytes, Cue& cue, Pcm& pcm) {
    WaveParse parsed = ParseRiffWave(bytes);
    if (parsed.status == WaveStatus::Invalid) return false;
    if (parsed.status != WaveStatus::Ok) return DecodeWithMiniaudio(bytes, cue, pcm);

    WaveData& wave = parsed.wave;
    pcm.channels = wave.channels;
    pcm.sampleRate = wave.sampleRate;
    pcm.frames = wave.FrameCount();
    if (wave.format == SampleFormat::S16) {
        pcm.format = ma_format_s16;
        cue.s16 = std::move(wave.s16Samples);
    } else {
        pcm.format = ma_format_u8;
        cue.u8 = std::move(wave.u8Samples);
    }
    return true;
}

const void* SampleData(const Cue& cue, ma_format format) {
    switch (format) {
        case ma_format_s16: return cue.s16.data();
        case ma_format_u8: return cue.u8.data();
        default: return cue.f32.data();
    }
}

}  // namespace

struct AudioEngine {
    AudioEngine() = default;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;
    ~AudioEngine() {
        cues.clear();  // sounds go before the engine that mixes them
        if (engineReady) ma_engine_uninit(&engine);
        if (contextReady) ma_context_uninit(&context);
    }

    AlsaQuiet alsaQuiet;  // outlives the context, which is released first
    ma_context context{};
    ma_engine engine{};
    bool contextReady = false;
    bool engineReady = false;
    std::vector<std::unique_ptr<Cue>> cues;
};

AudioSession::AudioSession() = default;
AudioSession::~AudioSession() = default;

bool StartAudioEngine(AudioSession& session, AudioOutput output) {
    std::lock_guard<std::mutex> guard(session.lock);
    if (session.engine) return true;
    auto engine = std::make_unique<AudioEngine>();

    // The null backend would always "succeed", so it is used only when asked.
    // The sound server first (PipeWire answers for it too), else ALSA directly.
    static constexpr std::array<ma_backend, 2> kDevices = {ma_backend_pulseaudio, ma_backend_alsa};
    static constexpr std::array<ma_backend, 1> kSilent = {ma_backend_null};
    const ma_backend* backends = output == AudioOutput::Silent ? kSilent.data() : kDevices.data();
    const ma_uint32 count = output == AudioOutput::Silent ? kSilent.size() : kDevices.size();

    // No sound server is ever started on our behalf.
    ma_context_config contextConfig = ma_context_config_init();
    contextConfig.pulse.tryAutoSpawn = MA_FALSE;
    contextConfig.pulse.pApplicationName = "Tarrow Desk";
    if (ma_context_init(backends, count, &contextConfig, &engine->context) != MA_SUCCESS) {
        return false;
    }
    engine->contextReady = true;

    ma_engine_config config = ma_engine_config_init();
    config.pContext = &engine->context;
    if (ma_engine_init(&config, &engine->engine) != MA_SUCCESS) return false;
    engine->engineReady = true;
    session.engine = std::move(engine);
    return true;
}

CueId LoadCueFile(AudioSession& session, const std::string& path) {
    std::lock_guard<std::mutex> guard(session.lock);
    AudioEngine* engine = session.engine.get();
    if (!engine || engine->cues.size() >= static_cast<size_t>(kMaxCues)) return kNoCue;

    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return kNoCue;
    auto cue = std::make_unique<Cue>();
    Pcm pcm;
    if (!DecodeCue(bytes, *cue, pcm)) return kNoCue;

    ma_audio_buffer_config bufferConfig =
        ma_audio_buffer_config_init(pcm.format, pcm.channels, pcm.frames, SampleData(*cue, pcm.format), nullptr);
    bufferConfig.sampleRate = pcm.sampleRate;
    if (ma_audio_buffer_init(&bufferConfig, &cue->buffer) != MA_SUCCESS) return kNoCue;
    cue->bufferReady = true;
    if (ma_sound_init_from_data_source(&engine->engine, &cue->buffer, MA_SOUND_FLAG_NO_SPATIALIZATION,
                                       nullptr, &cue->sound) != MA_SUCCESS) {
        return kNoCue;
    }
    cue->soundReady = true;
    engine->cues.push_back(std::move(cue));
    return static_cast<CueId>(engine->cues.size() - 1);
}

namespace {

Cue* FindCue(AudioSession& session, CueId id) {
    AudioEngine* engine = session.engine.get();
    if (!engine || id < 0 || static_cast<size_t>(id) >= engine->cues.size()) return nullptr;
    return engine->cues[static_cast<size_t>(id)].get();
}

}  // namespace

void PlayLoadedCue(AudioSession& session, CueId id) {
    std::lock_guard<std::mutex> guard(session.lock);
    Cue* cue = FindCue(session, id);
    if (!cue) return;
    ma_sound_stop(&cue->sound);
    ma_sound_seek_to_pcm_frame(&cue->sound, 0);
    ma_sound_start(&cue->sound);
}

bool CueIsPlaying(AudioSession& session, CueId id) {
    std::lock_guard<std::mutex> guard(session.lock);
    Cue* cue = FindCue(session, id);
    return cue && ma_sound_is_playing(&cue->sound);
}

void StopAudioEngine(AudioSession& session) {
    std::lock_guard<std::mutex> guard(session.lock);
    session.engine.reset();
}

bool LinuxPlatform::StartAudio() { return StartAudioEngine(*audio_, AudioOutput::Devices); }

CueId LinuxPlatform::LoadCue(std::u16string_view path) {
    return LoadCueFile(*audio_, Utf16ToUtf8(path));
}

void LinuxPlatform::PlayCue(CueId cue) { PlayLoadedCue(*audio_, cue); }

}  // namespace tarrow
