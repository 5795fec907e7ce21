// RIFF cue reader. All arithmetic on sizes is done in 64 bits, so a hostile
// 0xFFFFFFFF chunk length can only fail a bounds check, never wrap around one.

#include "platform/audio/wave_file.hpp"

#include <cstring>

namespace tarrow {

namespace {

constexpr uint64_t kRiffHeaderSize = 12;  // "RIFF", length, form type
constexpr uint64_t kChunkHeaderSize = 8;  // id, length
constexpr uint64_t kMinFmtSize = 16;
constexpr uint64_t kExtensibleFmtSize = 40;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kStreamedLength = 0xFFFFFFFF;

uint16_t Read16(std::span<const uint8_t> bytes, uint64_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t Read32(std::span<const uint8_t> bytes, uint64_t at) {
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

bool IdIs(std::span<const uint8_t> bytes, uint64_t at, const char (&id)[5]) {
    return std::memcmp(bytes.data() + at, id, 4) == 0;
}

// Chunks are padded to an even length.
uint64_t Padded(uint64_t size) { return size + (size & 1); }

struct Format {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint16_t subFormatTag = 0;  // first two bytes of the extensible sub-format
};

bool IsPlainPcm(const Format& format) {
    const bool pcm = format.tag == kFormatPcm ||
                     (format.tag == kFormatExtensible && format.subFormatTag == kFormatPcm);
    return pcm && (format.bitsPerSample == 8 || format.bitsPerSample == 16);
}

}  // namespace

bool BeginsWithRiff(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && IdIs(bytes, 0, "RIFF");
}

WaveParse ParseRiffWave(std::span<const uint8_t> bytes) {
    WaveParse result;
    if (!BeginsWithRiff(bytes)) {
        result.status = WaveStatus::NotRiff;
        return result;
    }
    result.status = WaveStatus::Invalid;
    if (bytes.size() < kRiffHeaderSize) return result;

    // The RIFF length counts from after its own field; a file shorter than it
    // claims is truncated. Bytes after the RIFF chunk are ignored. Tools that
    // stream write 0 or 0xFFFFFFFF because they cannot know the length yet:
    // then the chunk runs to the end of the file, and so may its data.
    const uint32_t riffLength = Read32(bytes, 4);
    const bool streamed = riffLength == 0 || riffLength == kStreamedLength;
    const uint64_t riffEnd = streamed ? bytes.size() : kChunkHeaderSize + riffLength;
    if (riffEnd > bytes.size() || riffEnd < kRiffHeaderSize) return result;

    uint64_t at = kRiffHeaderSize;
    if (at + kChunkHeaderSize > riffEnd || !IdIs(bytes, at, "fmt ")) return result;
    const uint64_t fmtSize = Read32(bytes, at + 4);
    const uint64_t fmtBody = at + kChunkHeaderSize;
    if (fmtSize < kMinFmtSize || fmtBody + fmtSize > riffEnd) return result;

    Format format;
    format.tag = Read16(bytes, fmtBody);
    format.channels = Read16(bytes, fmtBody + 2);
    format.sampleRate = Read32(bytes, fmtBody + 4);
    format.bitsPerSample = Read16(bytes, fmtBody + 14);
    if (format.tag == kFormatExtensible && fmtSize >= kExtensibleFmtSize) {
        format.subFormatTag = Read16(bytes, fmtBody + 24);
    }

    // The first "data" chunk after "fmt ", skipping any others on the way.
    at = fmtBody + Padded(fmtSize);
    uint64_t dataBody = 0;
    uint64_t dataSize = 0;
    bool found = false;
    while (!found && at + kChunkHeaderSize <= riffEnd) {
        uint64_t size = Read32(bytes, at + 4);
        const uint64_t body = at + kChunkHeaderSize;
        const bool dataChunk = IdIs(bytes, at, "data");
        if (streamed && dataChunk && (size == 0 || body + size > riffEnd)) size = riffEnd - body;
        if (body + size > riffEnd) return result;  // a chunk that runs past the end
        if (dataChunk) {
            dataBody = body;
            dataSize = size;
            found = true;
        }
        at = body + Padded(size);
    }
    if (!found) return result;

    if (!IsPlainPcm(format)) {
        result.status = WaveStatus::OtherEncoding;
        return result;
    }
    if (format.channels == 0 || format.channels > kMaxWaveChannels ||
        format.sampleRate < kMinWaveRate || format.sampleRate > kMaxWaveRate) {
        return result;
    }

    const uint64_t bytesPerSample = format.bitsPerSample / 8;
    const uint64_t frameBytes = bytesPerSample * format.channels;
    const uint64_t frames = dataSize / frameBytes;  // a partial last frame is dropped
    if (frames == 0) return result;
    const uint64_t samples = frames * format.channels;

    WaveData& wave = result.wave;
    wave.channels = format.channels;
    wave.sampleRate = format.sampleRate;
    if (format.bitsPerSample == 16) {
        wave.format = SampleFormat::S16;
        wave.s16Samples.resize(samples);
        for (uint64_t i = 0; i < samples; ++i) {
            wave.s16Samples[i] = static_cast<int16_t>(Read16(bytes, dataBody + 2 * i));
        }
    } else {
        wave.format = SampleFormat::U8;
        wave.u8Samples.assign(bytes.begin() + static_cast<ptrdiff_t>(dataBody),
                              bytes.begin() + static_cast<ptrdiff_t>(dataBody + samples));
    }
    result.status = WaveStatus::Ok;
    return result;
}

}  // namespace tarrow
