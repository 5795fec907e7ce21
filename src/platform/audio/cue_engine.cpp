// Sound cues through miniaudio: every cue is decoded once into memory and
// played from there, so playing never touches the disk. Files that begin with
// "RIFF" are read by our own reader; the rest go to miniaudio's decoders.

#include "platform/audio/cue_engine.hpp"

#include <cstdint>
#include <span>
#include <utility>

#include "platform/audio/wave_file.hpp"

namespace tarrow {

static_assert(kMaxWaveChannels == MA_MAX_CHANNELS);

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

namespace {

// Cues are short; this only keeps a stray huge file from eating the memory.
constexpr uint64_t kMaxDecodedSamples = 32u << 20;
constexpr ma_uint64 kDecodeChunkFrames = 4096;

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

Cue* FindCue(AudioSession& session, CueId id) {
    AudioEngine* engine = session.engine.get();
    if (!engine || id < 0 || static_cast<size_t>(id) >= engine->cues.size()) return nullptr;
    return engine->cues[static_cast<size_t>(id)].get();
}

}  // namespace

AudioEngine::AudioEngine() = default;

AudioEngine::~AudioEngine() {
    cues.clear();  // sounds go before the engine that mixes them
    if (engineReady) ma_engine_uninit(&engine);
    if (contextReady) ma_context_uninit(&context);
}

AudioSession::AudioSession() = default;
AudioSession::~AudioSession() = default;

bool StartCueEngine(AudioSession& session, const EngineOpener& open) {
    const std::lock_guard<std::mutex> guard(session.lock);
    if (session.engine) return true;
    auto engine = std::make_unique<AudioEngine>();
    if (open && !open(*engine)) return false;

    ma_engine_config config = ma_engine_config_init();
    if (engine->contextReady) config.pContext = &engine->context;
    if (ma_engine_init(&config, &engine->engine) != MA_SUCCESS) return false;
    engine->engineReady = true;
    session.engine = std::move(engine);
    return true;
}

CueId LoadCueWith(AudioSession& session, const CueFileReader& read) {
    const std::lock_guard<std::mutex> guard(session.lock);
    AudioEngine* engine = session.engine.get();
    if (!engine || engine->cues.size() >= static_cast<size_t>(kMaxCues)) return kNoCue;

    std::vector<uint8_t> bytes;
    if (!read(bytes)) return kNoCue;
    auto cue = std::make_unique<Cue>();
    Pcm pcm;
    if (!DecodeCue(bytes, *cue, pcm)) return kNoCue;

    ma_audio_buffer_config bufferConfig = ma_audio_buffer_config_init(
        pcm.format, pcm.channels, pcm.frames, SampleData(*cue, pcm.format), nullptr);
    bufferConfig.sampleRate = pcm.sampleRate;
    if (ma_audio_buffer_init(&bufferConfig, &cue->buffer) != MA_SUCCESS) return kNoCue;
    cue->bufferReady = true;
    if (ma_sound_init_from_data_source(&engine->engine, &cue->buffer,
                                       MA_SOUND_FLAG_NO_SPATIALIZATION, nullptr,
                                       &cue->sound) != MA_SUCCESS) {
        return kNoCue;
    }
    cue->soundReady = true;
    engine->cues.push_back(std::move(cue));
    return static_cast<CueId>(engine->cues.size() - 1);
}

void PlayLoadedCue(AudioSession& session, CueId id) {
    const std::lock_guard<std::mutex> guard(session.lock);
    Cue* cue = FindCue(session, id);
    if (!cue) return;
    ma_sound_stop(&cue->sound);
    ma_sound_seek_to_pcm_frame(&cue->sound, 0);
    ma_sound_start(&cue->sound);
}

bool CueIsPlaying(AudioSession& session, CueId id) {
    const std::lock_guard<std::mutex> guard(session.lock);
    Cue* cue = FindCue(session, id);
    return cue && ma_sound_is_playing(&cue->sound);
}

void StopAudioEngine(AudioSession& session) noexcept {
    const std::lock_guard<std::mutex> guard(session.lock);
    session.engine.reset();
}

}  // namespace tarrow
