#include "platform/audio/wave_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace tarrow {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutId(Bytes& out, const std::string& id) { out.insert(out.end(), id.begin(), id.end()); }

// A chunk with its true length, padded to an even size.
Bytes Chunk(const std::string& id, const Bytes& body) {
    Bytes out;
    PutId(out, id);
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
    return out;
}

// A chunk whose header claims `claimed` bytes, followed by `body` as it is.
Bytes LyingChunk(const std::string& id, uint32_t claimed, const Bytes& body) {
    Bytes out;
    PutId(out, id);
    Put32(out, claimed);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes out;
    Put16(out, tag);
    Put16(out, channels);
    Put32(out, rate);
    Put32(out, rate * channels * bits / 8);
    Put16(out, static_cast<uint16_t>(channels * bits / 8));
    Put16(out, bits);
    return out;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    return Chunk("fmt ", FmtBody(tag, channels, rate, bits));
}

// "RIFF", its true length, "WAVE", then the chunks.
Bytes Riff(const std::vector<Bytes>& chunks) {
    Bytes body;
    PutId(body, "WAVE");
    for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    Bytes out;
    PutId(out, "RIFF");
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Samples16(const std::vector<int16_t>& values) {
    Bytes out;
    for (int16_t v : values) Put16(out, static_cast<uint16_t>(v));
    return out;
}

void SetRiffLength(Bytes& file, uint32_t length) {
    Bytes field;
    Put32(field, length);
    std::copy(field.begin(), field.end(), file.begin() + 4);
}

WaveStatus StatusOf(const Bytes& bytes) { return ParseRiffWave(bytes).status; }

Bytes ReadShipped(const std::string& name) {
    const auto path = std::filesystem::path(__FILE__).parent_path() / "../../../snd" / name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WaveFile, ShippedCuesAreShortDistinctMono16BitSounds) {
    std::vector<std::vector<int16_t>> seen;
    for (const char* name : {"up.wav", "down.wav", "CPU.wav", "memory.wav", "battery.wav"}) {
        SCOPED_TRACE(name);
        const Bytes bytes = ReadShipped(name);
        ASSERT_FALSE(bytes.empty());
        WaveParse parsed = ParseRiffWave(bytes);
        ASSERT_EQ(parsed.status, WaveStatus::Ok);
        EXPECT_EQ(parsed.wave.channels, 1u);
        EXPECT_EQ(parsed.wave.sampleRate, 22050u);
        EXPECT_EQ(parsed.wave.format, SampleFormat::S16);
        EXPECT_GT(parsed.wave.FrameCount(), 22050u / 20);  // at least 50 ms
        EXPECT_LT(parsed.wave.FrameCount(), 22050u * 3 / 10);
        const auto loudest = std::max_element(
            parsed.wave.s16Samples.begin(), parsed.wave.s16Samples.end(),
            [](int16_t a, int16_t b) { return std::abs(a) < std::abs(b); });
        EXPECT_GT(std::abs(*loudest), 8000) << "audible";
        for (const auto& other : seen) EXPECT_NE(other, parsed.wave.s16Samples);
        seen.push_back(parsed.wave.s16Samples);
    }
}

TEST(WaveFile, Reads16BitSignedAnd8BitUnsignedSamples) {
    WaveParse s16 = ParseRiffWave(Riff({Fmt(1, 2, 44100, 16), Chunk("data", Samples16({1, -1, -32768, 32767}))}));
    ASSERT_EQ(s16.status, WaveStatus::Ok);
    EXPECT_EQ(s16.wave.channels, 2u);
    EXPECT_EQ(s16.wave.sampleRate, 44100u);
    EXPECT_EQ(s16.wave.format, SampleFormat::S16);
    EXPECT_EQ(s16.wave.s16Samples, (std::vector<int16_t>{1, -1, -32768, 32767}));
    EXPECT_EQ(s16.wave.FrameCount(), 2u);

    // Stereo 8-bit with a stray odd byte: the partial frame is dropped, and
    // the pad byte after the odd-sized chunk is no sample.
    WaveParse u8 = ParseRiffWave(Riff({Fmt(1, 2, 8000, 8), Chunk("data", {0, 128, 255, 7, 9})}));
    ASSERT_EQ(u8.status, WaveStatus::Ok);
    EXPECT_EQ(u8.wave.format, SampleFormat::U8);
    EXPECT_EQ(u8.wave.u8Samples, (Bytes{0, 128, 255, 7}));
    EXPECT_EQ(u8.wave.FrameCount(), 2u);
}

TEST(WaveFile, TakesTheFirstDataChunkAfterSkippingOthers) {
    const Bytes file = Riff({Fmt(1, 1, 22050, 16), Chunk("LIST", {1, 2, 3}),  // odd: padded
                             Chunk("data", Samples16({5, 6})), Chunk("data", Samples16({7}))});
    WaveParse parsed = ParseRiffWave(file);
    ASSERT_EQ(parsed.status, WaveStatus::Ok);
    EXPECT_EQ(parsed.wave.s16Samples, (std::vector<int16_t>{5, 6}));

    // An extended "fmt " (18 bytes) is fine; the data still follows it.
    Bytes longFmt = FmtBody(1, 1, 22050, 16);
    Put16(longFmt, 0);
    EXPECT_EQ(StatusOf(Riff({Chunk("fmt ", longFmt), Chunk("data", Samples16({1}))})), WaveStatus::Ok);
}

TEST(WaveFile, RejectsFmtThatIsNotFirst) {
    EXPECT_EQ(StatusOf(Riff({Chunk("LIST", {1, 2}), Fmt(1, 1, 22050, 16), Chunk("data", Samples16({1}))})),
              WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Chunk("data", Samples16({1})), Fmt(1, 1, 22050, 16)})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({})), WaveStatus::Invalid);
}

TEST(WaveFile, RejectsMissingOrEmptyData) {
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16)})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), Chunk("LIST", {1, 2})})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), Chunk("data", {})})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 2, 22050, 16), Chunk("data", {1, 2})})), WaveStatus::Invalid)
        << "less than one frame";

    // A data chunk after the end that the RIFF length gives is not in the file.
    Bytes file = Riff({Fmt(1, 1, 22050, 16), Chunk("data", Samples16({1, 2}))});
    SetRiffLength(file, 4 + 24);  // "WAVE" and the fmt chunk only
    EXPECT_EQ(StatusOf(file), WaveStatus::Invalid);
}

TEST(WaveFile, RejectsImpossibleFormats) {
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 0, 22050, 16), Chunk("data", Samples16({1}))})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 0, 16), Chunk("data", Samples16({1}))})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 0xFFFFFFFF, 8), Chunk("data", {1})})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 255, 22050, 8), Chunk("data", Bytes(255, 1))})), WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Chunk("fmt ", Bytes(14, 1)), Chunk("data", Samples16({1}))})),
              WaveStatus::Invalid)
        << "fmt shorter than 16 bytes";
}

TEST(WaveFile, RejectsTruncatedChunks) {
    const Bytes whole = Riff({Fmt(1, 1, 22050, 16), Chunk("data", Samples16({1, 2, 3, 4}))});
    ASSERT_EQ(StatusOf(whole), WaveStatus::Ok);
    // Every cut of the file is shorter than its RIFF length says.
    for (size_t size = 0; size < whole.size(); ++size) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_EQ(StatusOf(cut), size < 4 ? WaveStatus::NotRiff : WaveStatus::Invalid) << size;
    }
    // The same with the RIFF length matching the cut file: now the chunks lie.
    for (size_t size = 12; size < whole.size(); ++size) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
        SetRiffLength(cut, static_cast<uint32_t>(size - 8));
        EXPECT_EQ(StatusOf(cut), WaveStatus::Invalid) << size;
    }
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), LyingChunk("data", 100, Samples16({1, 2}))})),
              WaveStatus::Invalid);
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), LyingChunk("LIST", 100, {1, 2}),
                             Chunk("data", Samples16({1}))})),
              WaveStatus::Invalid);
}

TEST(WaveFile, HugeSizesDoNotWrapAround) {
    const Bytes data = Chunk("data", Samples16({1, 2}));
    for (uint32_t huge : {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF4u, 0x80000000u}) {
        SCOPED_TRACE(huge);
        Bytes riff = Riff({Fmt(1, 1, 22050, 16), data});
        SetRiffLength(riff, huge);
        // 0xFFFFFFFF is the streamed length: the file's own end is the limit.
        EXPECT_EQ(StatusOf(riff), huge == 0xFFFFFFFFu ? WaveStatus::Ok : WaveStatus::Invalid);
        EXPECT_EQ(StatusOf(Riff({LyingChunk("fmt ", huge, FmtBody(1, 1, 22050, 16)), data})),
                  WaveStatus::Invalid);
        EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), LyingChunk("LIST", huge, {}), data})),
                  WaveStatus::Invalid);
        EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 16), LyingChunk("data", huge, Samples16({1}))})),
                  WaveStatus::Invalid);
    }
}

TEST(WaveFile, StreamedLengthsRunToTheEndOfTheFile) {
    const std::vector<int16_t> samples{5, -6, 7};
    for (uint32_t riffLength : {0u, 0xFFFFFFFFu}) {
        for (uint32_t dataLength : {0u, 0xFFFFFFFFu, 6u, 1000u}) {
            SCOPED_TRACE(std::to_string(riffLength) + " " + std::to_string(dataLength));
            Bytes file = Riff({Fmt(1, 1, 22050, 16), LyingChunk("data", dataLength, Samples16(samples))});
            file.push_back(9);  // half a frame: dropped
            SetRiffLength(file, riffLength);
            const WaveParse parsed = ParseRiffWave(file);
            ASSERT_EQ(parsed.status, WaveStatus::Ok);
            EXPECT_EQ(parsed.wave.s16Samples, samples);
        }
        // Streaming says nothing about the chunks before the samples.
        Bytes lying = Riff({LyingChunk("fmt ", 0xFFFFFFFFu, FmtBody(1, 1, 22050, 16)),
                            Chunk("data", Samples16(samples))});
        SetRiffLength(lying, riffLength);
        EXPECT_EQ(StatusOf(lying), WaveStatus::Invalid);
        Bytes noData = Riff({Fmt(1, 1, 22050, 16), LyingChunk("LIST", 0xFFFFFFFFu, {1, 2})});
        SetRiffLength(noData, riffLength);
        EXPECT_EQ(StatusOf(noData), WaveStatus::Invalid);
    }
}

TEST(WaveFile, SendsOtherFilesToTheGeneralDecoders) {
    EXPECT_EQ(StatusOf({}), WaveStatus::NotRiff);
    EXPECT_EQ(StatusOf({'R', 'I', 'F'}), WaveStatus::NotRiff);
    EXPECT_EQ(StatusOf({'f', 'L', 'a', 'C', 0, 0, 0, 34}), WaveStatus::NotRiff);
    EXPECT_EQ(StatusOf({'R', 'I', 'F', 'X', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}), WaveStatus::NotRiff);

    // Well-formed RIFF whose samples are not 8- or 16-bit integers: reading
    // them as bytes would only make noise.
    EXPECT_EQ(StatusOf(Riff({Fmt(1, 1, 22050, 24), Chunk("data", Bytes(6, 1))})), WaveStatus::OtherEncoding);
    EXPECT_EQ(StatusOf(Riff({Fmt(3, 1, 22050, 32), Chunk("data", Bytes(8, 0))})), WaveStatus::OtherEncoding);
    EXPECT_EQ(StatusOf(Riff({Fmt(6, 1, 8000, 8), Chunk("data", Bytes(4, 0xD5))})), WaveStatus::OtherEncoding);
    // Still the RIFF rule first: no data chunk, no cue.
    EXPECT_EQ(StatusOf(Riff({Fmt(3, 1, 22050, 32)})), WaveStatus::Invalid);
}

TEST(WaveFile, ReadsExtensiblePcm) {
    Bytes body = FmtBody(0xFFFE, 1, 22050, 16);
    Put16(body, 22);      // extension size
    Put16(body, 16);      // valid bits
    Put32(body, 4);       // channel mask
    Put16(body, 1);       // sub-format: PCM ...
    body.resize(40, 0);   // ... and the rest of its GUID
    WaveParse parsed = ParseRiffWave(Riff({Chunk("fmt ", body), Chunk("data", Samples16({-2}))}));
    ASSERT_EQ(parsed.status, WaveStatus::Ok);
    EXPECT_EQ(parsed.wave.s16Samples, (std::vector<int16_t>{-2}));

    body[24] = 3;  // sub-format: float
    EXPECT_EQ(StatusOf(Riff({Chunk("fmt ", body), Chunk("data", Samples16({-2, 0}))})),
              WaveStatus::OtherEncoding);
}

TEST(WaveFile, DamagedShippedCueNeverReadsOutsideTheFile) {
    const Bytes original = ReadShipped("up.wav");
    ASSERT_FALSE(original.empty());
    std::mt19937 random(20240611);
    int accepted = 0;
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = original;
        // Damage the headers most, where the sizes are.
        for (int hits = 0; hits < 4; ++hits) {
            const size_t at = random() % std::min<size_t>(damaged.size(), round % 2 ? 64 : damaged.size());
            damaged[at] = static_cast<uint8_t>(random());
        }
        damaged.resize(damaged.size() - random() % 8);
        WaveParse parsed = ParseRiffWave(damaged);
        if (parsed.status != WaveStatus::Ok) {
            ++refused;
            continue;
        }
        ++accepted;
        const WaveData& wave = parsed.wave;
        const size_t sampleBytes = wave.format == SampleFormat::S16 ? 2 : 1;
        EXPECT_LE(wave.FrameCount() * wave.channels * sampleBytes, damaged.size());
        EXPECT_GE(wave.channels, 1u);
    }
    // Both outcomes were exercised.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace tarrow
