#pragma once
// Our own reader for sound files that begin with "RIFF". It follows the cue
// rule rather than the full WAVE format: the "fmt " chunk must sit right after
// the RIFF header, and the samples are the first "data" chunk after it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarrow {

enum class SampleFormat { U8, S16 };

struct WaveData {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    SampleFormat format = SampleFormat::U8;
    // Whole frames only; the one that matches `format` is filled.
    std::vector<uint8_t> u8Samples;
    std::vector<int16_t> s16Samples;

    size_t FrameCount() const {
        const size_t samples = format == SampleFormat::S16 ? s16Samples.size() : u8Samples.size();
        return channels == 0 ? 0 : samples / channels;
    }
};

enum class WaveStatus {
    Ok,             // plain 8- or 16-bit PCM, read into `wave`
    NotRiff,        // does not begin with "RIFF": for the general decoders
    OtherEncoding,  // well-formed, but not 8- or 16-bit integer PCM: for the general decoders
    Invalid,        // misplaced "fmt ", no "data" within the RIFF length, truncated, or empty
                    // (a streamed RIFF length of 0 or 0xFFFFFFFF means the end of the file)
};

struct WaveParse {
    WaveStatus status = WaveStatus::Invalid;
    WaveData wave;
};

// The largest channel count the audio engine mixes.
inline constexpr uint32_t kMaxWaveChannels = 254;
inline constexpr uint32_t kMinWaveRate = 1000;
inline constexpr uint32_t kMaxWaveRate = 384000;

bool BeginsWithRiff(std::span<const uint8_t> bytes);

// Pure: every offset and size is checked against the bytes given.
WaveParse ParseRiffWave(std::span<const uint8_t> bytes);

}  // namespace tarrow
