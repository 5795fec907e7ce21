#include <limits>
#include <utility>

#include "platform/text.hpp"

#include "processes/process_fixture.hpp"

namespace tarrow::testing {
namespace {

using RefreshTest = ProcessFixture;
using CpuTest = ProcessFixture;
using SortTest = ProcessFixture;

TEST_F(RefreshTest, SkipsTheFirstRowAndProcessesWithoutWorkingSetAndTrimsOnlySpaces) {
    fake.AddProcess(4, u"  svc host .exe  ", 100);
    fake.AddProcess(8, u"gone.exe", 0);
    fake.AddProcess(9, u"negative.exe", -5);
    fake.AddProcess(12, u"\ttab.exe ", 300);
    Refresh();
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"\ttab.exe", u"svc host .exe"}));
    ASSERT_EQ(state.list.entries.size(), 2u);
    EXPECT_EQ(state.list.entries[1].memory, 100);
    EXPECT_EQ(state.list.entries[1].pid, 4);
    // Neither skipped process was measured.
    EXPECT_EQ(state.cpuSamples.count(8), 0u);
    EXPECT_EQ(state.cpuSamples.count(9), 0u);
    EXPECT_EQ(fake.tooltips.back(), u"Tarrow: 2 processes, 0% CPU");
}

TEST_F(RefreshTest, PidsAboveTheSignedRangeAreWidenedAsSigned) {
    fake.AddProcess(0xFFFFFFFEu, u"odd.exe", 10);
    Refresh();
    ASSERT_EQ(state.list.entries.size(), 1u);
    EXPECT_EQ(state.list.entries[0].pid, -2);
}

TEST_F(RefreshTest, AFailedSnapshotEmptiesTheListButKeepsTheCursor) {
    fake.AddProcess(4, u"a.exe", 100);
    Refresh();
    SetCursor(state.list, 3);
    fake.snapshotFails = true;
    Refresh();
    EXPECT_TRUE(state.list.entries.empty());
    EXPECT_EQ(state.list.cursor, 3);
    EXPECT_EQ(fake.tooltips.back(), u"Tarrow: 0 processes, 0% CPU");
}

TEST_F(RefreshTest, TotalAndTooltipSumTheWholeFigures) {
    fake.affinityMask = 0x1;
    fake.AddProcess(4, u"a.exe", 100);
    fake.AddProcess(5, u"b.exe", 100);
    Refresh();
    fake.now += 1000;
    fake.FindProcess(4)->cpuTime = BusyMs(300);
    fake.FindProcess(5)->cpuTime = BusyMs(450);
    Refresh();
    EXPECT_EQ(CpuOf(4), 30);
    EXPECT_EQ(CpuOf(5), 45);
    EXPECT_EQ(TotalCpuPercent(state.list), 75);
    EXPECT_EQ(fake.tooltips.back(), u"Tarrow: 2 processes, 75% CPU");
    EXPECT_EQ(TotalCpuPercent(ProcessList{}), 0);
}

TEST_F(RefreshTest, FindIndexByPidRefreshesAndLeavesTheCursor) {
    fake.AddProcess(4, u"b.exe", 100);
    Refresh();
    SetCursor(state.list, 7);
    fake.AddProcess(9, u"a.exe", 100);
    EXPECT_EQ(FindIndexByPid(fake, state, 9), 0);
    EXPECT_EQ(FindIndexByPid(fake, state, 4), 1);
    EXPECT_EQ(FindIndexByPid(fake, state, 0), -1);
    EXPECT_EQ(state.list.cursor, 7);
}

TEST_F(RefreshTest, EntryAtGivesNothingOutsideTheList) {
    fake.AddProcess(4, u"a.exe", 100);
    Refresh();
    EXPECT_NE(EntryAt(state.list, 0), nullptr);
    EXPECT_EQ(EntryAt(state.list, 1), nullptr);
    EXPECT_EQ(EntryAt(state.list, -1), nullptr);
}

TEST_F(RefreshTest, ProcessorCountCountsMaskBitsAndFallsBackToOne) {
    fake.affinityMask = 0xF0F0000000000001ull;
    EXPECT_EQ(ProcessorCount(fake), 9);
    fake.affinityMask = ~uint64_t{0};
    EXPECT_EQ(ProcessorCount(fake), 64);
    fake.affinityMask = std::nullopt;
    EXPECT_EQ(ProcessorCount(fake), 1);
    // An empty mask must not make the time scale divide by zero.
    fake.affinityMask = 0;
    EXPECT_EQ(ProcessorCount(fake), 1);
    fake.AddProcess(4, u"a.exe", 100, BusyMs(10));
    Refresh();
    fake.now += 100;
    fake.FindProcess(4)->cpuTime = BusyMs(60);
    Refresh();
    EXPECT_EQ(CpuOf(4), 50);
}

TEST_F(CpuTest, FirstRefreshZeroThenTheAverageThenTheSameAverageAgain) {
    // Four processors; the process keeps one of them fully busy.
    fake.AddProcess(40, u"busy.exe", 100, BusyMs(123456));
    Refresh();
    EXPECT_EQ(CpuOf(40), 0);

    fake.now += 5000;
    fake.FindProcess(40)->cpuTime = *fake.FindProcess(40)->cpuTime + BusyMs(5000);
    Refresh();
    EXPECT_EQ(CpuOf(40), 25);

    // Idle since then, but this refresh only takes the new reference.
    fake.now += 5000;
    Refresh();
    EXPECT_EQ(CpuOf(40), 25);

    fake.now += 5000;
    Refresh();
    EXPECT_EQ(CpuOf(40), 0);
}

TEST_F(CpuTest, TwoOfFourProcessorsBusyGiveFifty) {
    fake.AddProcess(40, u"busy.exe", 100, 0);
    Refresh();
    fake.now += 5000;
    fake.FindProcess(40)->cpuTime = BusyMs(2 * 5000);
    Refresh();
    EXPECT_EQ(CpuOf(40), 50);
}

TEST_F(CpuTest, TwoRefreshesInOneTickGiveZeroNotAnError) {
    fake.AddProcess(40, u"still.exe", 100, BusyMs(1000));
    fake.AddProcess(41, u"moving.exe", 100, BusyMs(1000));
    Refresh();
    fake.FindProcess(41)->cpuTime = BusyMs(2000);  // x/0
    Refresh();                                      // 0/0 for the other
    EXPECT_EQ(CpuOf(40), 0);
    EXPECT_EQ(CpuOf(41), 0);
    EXPECT_EQ(TotalCpuPercent(state.list), 0);
}

TEST_F(CpuTest, TheReferenceStaysUntilMoreThan3000MsHavePassed) {
    fake.AddProcess(40, u"p.exe", 100, 0);
    Refresh();
    // Two processors busy for 2000 ms, then idle for 1000 ms.
    fake.now += 2000;
    fake.FindProcess(40)->cpuTime = BusyMs(4000);
    Refresh();
    EXPECT_EQ(CpuOf(40), 50);
    fake.now += 1000;  // exactly 3000 ms after the reference: it stays
    Refresh();
    EXPECT_EQ(CpuOf(40), 33);
    fake.now += 1000;  // 4000 ms over the same reference, which now goes
    Refresh();
    EXPECT_EQ(CpuOf(40), 25);
    EXPECT_EQ(state.cpuSamples[40].tick, 0);
    fake.now += 1000;
    Refresh();  // takes the new reference, repeats the last figure
    EXPECT_EQ(CpuOf(40), 25);
    EXPECT_NE(state.cpuSamples[40].tick, 0);
}

TEST_F(CpuTest, UnreadableTimesShowZeroAndMeasurementRoundsTiesToEven) {
    fake.affinityMask = 0x1;
    fake.AddProcess(40, u"secret.exe", 100).cpuTime = std::nullopt;
    fake.AddProcess(41, u"half.exe", 100, 0);
    Refresh();
    fake.now += 2000;
    fake.FindProcess(40)->cpuTime = std::nullopt;
    fake.FindProcess(41)->cpuTime = BusyMs(730);  // 36.5 percent
    Refresh();
    EXPECT_EQ(CpuOf(40), 0);
    EXPECT_EQ(CpuOf(41), 36);
    EXPECT_EQ(state.cpuSamples.count(40), 0u);
}

TEST_F(CpuTest, ARecordGoesWithItsProcessSoAReusedPidStartsAfresh) {
    fake.AddProcess(40, u"first.exe", 100, 0);
    fake.AddProcess(41, u"stays.exe", 100, 0);
    Refresh();
    ASSERT_EQ(state.cpuSamples.size(), 2u);
    fake.processes.erase(std::remove_if(fake.processes.begin(), fake.processes.end(),
                                        [](const FakeProcess& p) { return p.pid == 40; }),
                         fake.processes.end());
    fake.now += 1000;
    Refresh();
    EXPECT_EQ(state.cpuSamples.count(40), 0u);
    EXPECT_EQ(state.cpuSamples.count(41), 1u);
    // A new process with the same PID takes a reference of its own first.
    fake.AddProcess(40, u"second.exe", 100, BusyMs(4000));
    fake.now += 1000;
    Refresh();
    EXPECT_EQ(CpuOf(40), 0);
    fake.now += 1000;
    fake.FindProcess(40)->cpuTime = BusyMs(4000 + 2000);
    Refresh();
    EXPECT_EQ(CpuOf(40), 50);
}

TEST_F(CpuTest, ChurnLeavesOneRecordPerListedProcess) {
    for (uint32_t round = 0; round < 50; ++round) {
        fake.processes.clear();
        for (uint32_t i = 0; i < 20; ++i) fake.AddProcess(1000 + round * 20 + i, u"short.exe", 100, 0);
        fake.now += 100;
        Refresh();
        ASSERT_EQ(state.cpuSamples.size(), 20u) << "round " << round;
    }
    // A snapshot that fails tells nothing about who ended: the records stay.
    fake.snapshotFails = true;
    Refresh();
    EXPECT_EQ(state.cpuSamples.size(), 20u);
}

TEST_F(CpuTest, ScaledTimeKeepsOnlyItsLow32Bits) {
    fake.affinityMask = 0x1;
    // Just below the point where the scaled time leaves the signed 32-bit range.
    const uint64_t start = uint64_t{0x7FFFFFFF} * 100 - BusyMs(100);
    fake.AddProcess(40, u"long.exe", 100, start);
    Refresh();
    EXPECT_EQ(state.cpuSamples[40].cpuTime, 0x7FFFFFFF - 10000);
    fake.now += 1000;
    fake.FindProcess(40)->cpuTime = start + BusyMs(500);
    Refresh();
    // The scaled time wrapped to a negative value: that window reads as 0.
    EXPECT_EQ(CpuOf(40), 0);
}

TEST_F(SortTest, ByNameComparesOnlyTheFirstLowerCasedUnit) {
    fake.AddProcess(1, u"b.exe", 10);
    fake.AddProcess(2, u"A.exe", 10);
    fake.AddProcess(3, u"ab.exe", 10);
    fake.AddProcess(4, u"a2.exe", 10);
    fake.AddProcess(5, u"aa.exe", 10);
    fake.AddProcess(6, u"   ", 10);
    fake.AddProcess(7, u"\u00C9t\u00E9.exe", 10);
    fake.AddProcess(8, u"zed.exe", 10);
    Refresh();
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"", u"A.exe", u"ab.exe", u"a2.exe",
                                                    u"aa.exe", u"b.exe", u"zed.exe",
                                                    u"\u00C9t\u00E9.exe"}));
}

// Known pairs of the Unicode simple lower-case mapping, from every kind of run
// in the generated table, and units that have none.
TEST(LowerCase, KnownPairsAcrossTheBasicPlane) {
    const std::vector<std::pair<char16_t, char16_t>> pairs = {
        {u'A', u'a'},           {u'Z', u'z'},           {u'a', u'a'},
        {0x00C9, 0x00E9},       {0x00D7, 0x00D7},       {0x0130, 0x0069},  // İ, × unchanged
        {0x0178, 0x00FF},       {0x0218, 0x0219},       {0x021A, 0x021B},  // Ÿ, Ș, Ț
        {0x018F, 0x0259},       {0x01A0, 0x01A1},       {0x01AF, 0x01B0},  // Ə, Ơ, Ư
        {0x1EA0, 0x1EA1},       {0x1F08, 0x1F00},       {0x0531, 0x0561},  // Ạ, Ἀ, Ա
        {0x10A0, 0x2D00},       {0x0490, 0x0491},       {0x04C0, 0x04CF},  // Ⴀ, Ґ, Ӏ
        {0x0391, 0x03B1},       {0xFF21, 0xFF41},       {0x2160, 0x2170},  // Α, Ａ, Ⅰ
        {0x00DF, 0x00DF},       {0x03C3, 0x03C3},       {0xD800, 0xD800},
    };
    for (const auto& [unit, lower] : pairs)
        EXPECT_EQ(static_cast<int>(LowerUnit(unit)), static_cast<int>(lower)) << std::hex
                                                                               << int(unit);
    ProcessList list;
    list.entries.push_back({u"\u0130STANBUL.exe", 1, 0, 5});
    EXPECT_EQ(FindByName(list, u"istanbul", false), 0);
}

TEST_F(SortTest, ByMemoryAndByCpuAscendKeepingTiesInSnapshotOrder) {
    fake.affinityMask = 0x1;
    fake.AddProcess(1, u"big.exe", 900, 0);
    fake.AddProcess(2, u"small.exe", 100, 0);
    fake.AddProcess(3, u"big2.exe", 900, 0);
    fake.AddProcess(4, u"mid.exe", 500, 0);
    state.list.sortMode = kSortByMemory;
    Refresh();
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"small.exe", u"mid.exe", u"big.exe",
                                                    u"big2.exe"}));
    state.list.sortMode = kSortByCpu;
    fake.now += 1000;
    fake.FindProcess(1)->cpuTime = BusyMs(100);
    fake.FindProcess(2)->cpuTime = BusyMs(500);
    fake.FindProcess(4)->cpuTime = BusyMs(100);
    Refresh();
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"big2.exe", u"big.exe", u"mid.exe",
                                                    u"small.exe"}));
    state.list.sortMode = 7;
    Refresh();
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"big.exe", u"small.exe", u"big2.exe",
                                                    u"mid.exe"}));
}

TEST_F(SortTest, ARefreshKeepsTheCursorEvenPastTheEnd) {
    for (uint32_t pid = 1; pid <= 5; ++pid) fake.AddProcess(pid, u"p.exe", 10);
    Refresh();
    SetCursor(state.list, 4);
    fake.processes.resize(2);
    Refresh();
    EXPECT_EQ(state.list.entries.size(), 2u);
    EXPECT_EQ(state.list.cursor, 4);
}

}  // namespace
}  // namespace tarrow::testing
