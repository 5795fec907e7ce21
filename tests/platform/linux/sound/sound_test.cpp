#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/sound/audio_session.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::string Shipped(const std::string& name) {
    return (fs::path(__FILE__).parent_path() / "../../../../snd" / name).lexically_normal().string();
}

void Put(Bytes& out, uint64_t value, int size, bool bigEndian = false) {
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

// A one-channel PCM file of `frames` silent frames, with an optional chunk
// placed before "fmt ". "RIFX" writes every number big-endian.
Bytes MakeWave(const char* magic, uint32_t rate, uint16_t bits, uint32_t frames, bool chunkBeforeFmt = false) {
    const bool big = std::string(magic) == "RIFX";
    const uint32_t dataSize = frames * (bits / 8);
    Bytes body;
    PutId(body, "WAVE");
    if (chunkBeforeFmt) {
        PutId(body, "JUNK");
        Put(body, 4, 4, big);
        Put(body, 0, 4);
    }
    PutId(body, "fmt ");
    Put(body, 16, 4, big);
    Put(body, 1, 2, big);
    Put(body, 1, 2, big);
    Put(body, rate, 4, big);
    Put(body, rate * bits / 8, 4, big);
    Put(body, bits / 8, 2, big);
    Put(body, bits, 2, big);
    PutId(body, "data");
    Put(body, dataSize, 4, big);
    body.resize(body.size() + dataSize, 0);
    Bytes file;
    PutId(file, magic);
    Put(file, body.size(), 4, big);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tarrow-sound-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = path_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

TEST(Sound, NoEngineMeansNoCues) {
    AudioSession session;
    EXPECT_EQ(LoadCueFile(session, Shipped("up.wav")), kNoCue);
    PlayLoadedCue(session, 0);  // nothing to play, nothing to crash
    EXPECT_FALSE(CueIsPlaying(session, 0));
}

TEST(Sound, LoadsCuesByTheRiffRuleAndThroughTheDecoders) {
    TempDir dir;
    AudioSession session;
    ASSERT_TRUE(StartAudioEngine(session, AudioOutput::Silent));

    std::vector<CueId> shipped;
    for (const char* name : {"up.wav", "down.wav", "CPU.wav", "memory.wav", "battery.wav"}) {
        shipped.push_back(LoadCueFile(session, Shipped(name)));
    }
    EXPECT_EQ(shipped, (std::vector<CueId>{0, 1, 2, 3, 4}));

    EXPECT_EQ(LoadCueFile(session, dir.Write("8-bit.wav", MakeWave("RIFF", 11025, 8, 100))), 5);

    EXPECT_EQ(LoadCueFile(session, dir.Path("missing.wav")), kNoCue);
    EXPECT_EQ(LoadCueFile(session, dir.Write("empty.wav", {})), kNoCue);
    EXPECT_EQ(LoadCueFile(session, dir.Write("noise.wav", Bytes(3000, 0x5A))), kNoCue);
    // miniaudio's own reader would take this one; the rule does not.
    EXPECT_EQ(LoadCueFile(session, dir.Write("late-fmt.wav", MakeWave("RIFF", 22050, 16, 100, true))), kNoCue);
    Bytes truncated = MakeWave("RIFF", 22050, 16, 100);
    truncated.resize(truncated.size() - 10);
    EXPECT_EQ(LoadCueFile(session, dir.Write("truncated.wav", truncated)), kNoCue);
    EXPECT_EQ(LoadCueFile(session, dir.Path("")), kNoCue) << "a folder";
    ASSERT_EQ(::mkfifo(dir.Path("fifo.wav").c_str(), 0600), 0);
    EXPECT_EQ(LoadCueFile(session, dir.Path("fifo.wav")), kNoCue) << "a FIFO, without waiting for a writer";

    // Not plain RIFF PCM: decoded by miniaudio.
    EXPECT_EQ(LoadCueFile(session, dir.Write("big-endian.wav", MakeWave("RIFX", 22050, 16, 100))), 6);
    EXPECT_EQ(LoadCueFile(session, dir.Write("24-bit.wav", MakeWave("RIFF", 22050, 24, 100))), 7);

    // Written by a tool that streams: RIFF and data lengths unknown (all ones).
    Bytes streamed = MakeWave("RIFF", 22050, 16, 100);
    std::fill_n(streamed.begin() + 4, 4, 0xFF);
    std::fill_n(streamed.begin() + 40, 4, 0xFF);
    EXPECT_EQ(LoadCueFile(session, dir.Write("streamed.wav", streamed)), 8);
}

TEST(Sound, PlayingRestartsFromMemory) {
    TempDir dir;
    AudioSession session;
    ASSERT_TRUE(StartAudioEngine(session, AudioOutput::Silent));
    const std::string path = dir.Write("long.wav", MakeWave("RIFF", 8000, 16, 8000 * 30));
    const CueId cue = LoadCueFile(session, path);
    ASSERT_NE(cue, kNoCue);
    std::filesystem::remove(path);  // played from memory, not from the file

    EXPECT_FALSE(CueIsPlaying(session, cue));
    PlayLoadedCue(session, cue);
    EXPECT_TRUE(CueIsPlaying(session, cue));
    PlayLoadedCue(session, cue);  // starts over: still playing, not toggled off
    EXPECT_TRUE(CueIsPlaying(session, cue));

    for (CueId other : {kNoCue, -7, cue + 1, 1000}) {
        PlayLoadedCue(session, other);
        EXPECT_FALSE(CueIsPlaying(session, other));
    }

    StopAudioEngine(session);
    EXPECT_FALSE(CueIsPlaying(session, cue));
    PlayLoadedCue(session, cue);  // after shutdown: nothing
    EXPECT_EQ(LoadCueFile(session, Shipped("up.wav")), kNoCue);
}

TEST(Sound, HoldsAtMostSixtyFourCues) {
    AudioSession session;
    ASSERT_TRUE(StartAudioEngine(session, AudioOutput::Silent));
    for (int i = 0; i < kMaxCues; ++i) ASSERT_EQ(LoadCueFile(session, Shipped("CPU.wav")), i);
    EXPECT_EQ(LoadCueFile(session, Shipped("CPU.wav")), kNoCue);
}

// CI machines have no sound card: the platform then has no engine or no cues,
// and says nothing about it. Machines with sound get real cues.
TEST(Sound, PlatformDegradesQuietlyWithoutADevice) {
    LinuxPlatform platform;
    testing::internal::CaptureStderr();
    const bool started = platform.StartAudio();
    const CueId cue = platform.LoadCue(Utf8ToUtf16(Shipped("up.wav")));
    platform.PlayCue(cue);
    const std::string complaints = testing::internal::GetCapturedStderr();
    EXPECT_EQ(complaints, "");
    EXPECT_EQ(cue != kNoCue, started);
    EXPECT_EQ(platform.LoadCue(u"snd/no-such-cue.wav"), kNoCue);

    platform.ShutdownServices();
    platform.PlayCue(cue);
    EXPECT_EQ(platform.LoadCue(Utf8ToUtf16(Shipped("up.wav"))), kNoCue);
}

}  // namespace
}  // namespace tarrow
