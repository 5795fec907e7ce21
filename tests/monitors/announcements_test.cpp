#include <gtest/gtest.h>

#include <algorithm>

#include "monitors/monitors.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::SpokenText;

class AnnouncementTest : public ::testing::Test {
protected:
    AnnouncementTest() : speech(fake) {}

    SpokenText Last() const { return fake.spoken.back(); }

    std::u16string Uptime(uint64_t ms) {
        fake.uptimeMs = ms;
        SpeakUptime(fake, speech);
        EXPECT_TRUE(Last().interrupt);
        return Last().text;
    }

    FakePlatform fake;
    SpeechOutput speech;
};

TEST_F(AnnouncementTest, CpuUsageSumsTheListAsItStands) {
    ProcessList list;
    SpeakCpuUsage(speech, list);
    EXPECT_EQ(Last(), (SpokenText{u"CPU: 0%", true}));
    list.entries = {{u"a.exe", 1, 30, 1}, {u"b.exe", 1, 7, 2}};
    SpeakCpuUsage(speech, list);
    EXPECT_EQ(Last(), (SpokenText{u"CPU: 37%", true}));
    EXPECT_TRUE(fake.calls.end() ==
                std::find(fake.calls.begin(), fake.calls.end(), "TakeProcessSnapshot"));
}

TEST_F(AnnouncementTest, MemorySentence) {
    fake.memory = {8589934592ull, 4294967296ull};
    SpeakTotalMemory(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"4.00 GB of 8.00 GB, 50%.", true}));
    fake.memory = {17094967296ull, 8663220224ull};
    SpeakTotalMemory(fake, speech);
    EXPECT_EQ(Last().text, u"7.85 GB of 15.92 GB, 49%.");
}

TEST_F(AnnouncementTest, AFailedMemoryReadingGivesZeroNotNonsense) {
    fake.memory = {0, 0};
    SpeakTotalMemory(fake, speech);
    EXPECT_EQ(Last().text, u"0.00 B of 0.00 B, 0%.");
    fake.memory = {1024, 4096};  // more free than total
    SpeakTotalMemory(fake, speech);
    EXPECT_EQ(Last().text, u"0.00 B of 1.00 KB, 0%.");
}

TEST_F(AnnouncementTest, BatteryStatusFollowsTheMainsLineAndNeverInterrupts) {
    fake.power = {1, 100};
    SpeakBatteryStatus(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"100% Charging", false}));
    fake.power = {0, 100};
    SpeakBatteryStatus(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"100% Not Charging", false}));
    fake.power = {255, 40};
    SpeakBatteryStatus(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"40% Not Charging", false}));
    fake.power = {1, 255};
    SpeakBatteryStatus(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"No battery", false}));
}

TEST_F(AnnouncementTest, UptimeWording) {
    EXPECT_EQ(Uptime(3723000), u"1 hour, 2 minutes, 3 seconds");
    EXPECT_EQ(Uptime(694861000), u"1 week, 1 day, 1 hour, 1 minute, 1 second");
    EXPECT_EQ(Uptime(120000), u"2 minutes");
    EXPECT_EQ(Uptime(3600000), u"1 hour");
    EXPECT_EQ(Uptime(61000), u"1 minute, 1 second");
    EXPECT_EQ(Uptime(1209630000), u"2 weeks, 30 seconds");
    EXPECT_EQ(Uptime(500), u"500 MS");
    EXPECT_EQ(Uptime(999), u"999 MS");
    EXPECT_EQ(Uptime(0), u"0 MS");
    EXPECT_EQ(Uptime(1000), u"1 second");
    EXPECT_EQ(Uptime(1999), u"1 second");
    // 365 days: a year, and weeks counted modulo 52 leave one day over.
    EXPECT_EQ(Uptime(31536000000ull), u"1 year, 1 day");
}

TEST_F(AnnouncementTest, BrandLosesLeadingBlanksOnly) {
    fake.affinityMask = 0xFF;
    fake.brand = "  \t Intel(R) Core(TM) i7-9700 CPU @ 3.00GHz  ";
    SpeakCpuInfo(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"Processor: Intel(R) Core(TM) i7-9700 CPU @ 3.00GHz  , with 8 "
                                  u"total cores.",
                                  true}));
}

TEST_F(AnnouncementTest, NoBrandIsUnknownCpu) {
    fake.affinityMask = 0xF;
    fake.brand = std::nullopt;
    SpeakCpuInfo(fake, speech);
    EXPECT_EQ(Last(), (SpokenText{u"Processor: Unknown CPU, with 4 total cores.", true}));
    fake.brand = "   ";
    fake.affinityMask = std::nullopt;
    SpeakCpuInfo(fake, speech);
    EXPECT_EQ(Last().text, u"Processor: Unknown CPU, with 1 total cores.");
}

}  // namespace
}  // namespace tarrow
