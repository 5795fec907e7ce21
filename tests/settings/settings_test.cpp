#include <gtest/gtest.h>

#include <algorithm>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/fake_platform.hpp"
#include "settings/settings.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;

const std::u16string kFile = u"prefs.ini";

const std::string kDefaultBytes =
    "\xEF\xBB\xBF\r\n"
    "[general]\r\n"
    "modifier = control+alt+shift\r\n"
    "[monitors]\r\n"
    "pc_cpu_monitor = 0\r\n"
    "pc_memory_monitor = 0\r\n"
    "pc_battery_monitor = 0\r\n"
    "fp_memory_time = 5000\r\n"
    "fp_cpu_time = 5000\r\n"
    "pc_cpu_time = 5000\r\n"
    "pc_memory_time = 5000\r\n"
    "pc_battery_time = 10000\r\n"
    "fp_memory_diff = 10\r\n"
    "fp_cpu_diff = 2\r\n"
    "pc_cpu_diff = 2\r\n"
    "pc_memory_diff = 100\r\n"
    "pc_battery_diff = 10\r\n";

// What the toggles save: the three PC monitor switches.
Settings Switches(int64_t pcCpu, int64_t pcMemory, int64_t pcBattery) {
    Settings states;
    states.pc_cpu_monitor = pcCpu;
    states.pc_memory_monitor = pcMemory;
    states.pc_battery_monitor = pcBattery;
    return states;
}

Settings Load(FakePlatform& fake) {
    Settings settings;
    LoadSettings(fake, settings);
    return settings;
}

size_t Count(const FakePlatform& fake, const std::string& call) {
    return static_cast<size_t>(std::count(fake.calls.begin(), fake.calls.end(), call));
}

TEST(SettingsFile, FirstStartCreatesTheDefaultsButKeepsTheBuiltInValuesThatRun) {
    FakePlatform fake;
    const Settings first = Load(fake);
    ASSERT_EQ(fake.files.count(kFile), 1u);
    EXPECT_EQ(fake.files[kFile], kDefaultBytes);
    EXPECT_EQ(first.fp_memory_diff, 5);
    EXPECT_EQ(first.modifier, u"");
    EXPECT_EQ(first.braille_hold_ms, 4000);

    const Settings next = Load(fake);
    EXPECT_EQ(next.braille_hold_ms, 4000);  // a new file does not name it
    EXPECT_EQ(next.fp_memory_diff, 10);
    EXPECT_EQ(next.modifier, u"control+alt+shift");
    EXPECT_EQ(next.pc_battery_time, 10000);
    EXPECT_EQ(next.pc_memory_diff, 100);
    EXPECT_EQ(fake.files[kFile], kDefaultBytes);
    EXPECT_EQ(Count(fake, "ReplaceFile prefs.ini"), 1u);  // loading an existing file writes nothing
}

TEST(SettingsFile, LaterStartsReadEveryKey) {
    FakePlatform fake;
    fake.files[kFile] =
        "\xEF\xBB\xBF[general]\nmodifier=win+shift\nbraille_hold_ms=2500\n[monitors]\npc_cpu_monitor=1\n"
        "pc_memory_monitor=2\npc_battery_monitor=1\nfp_memory_time=1\nfp_cpu_time=2\n"
        "pc_cpu_time=3\npc_memory_time=4\npc_battery_time=5\nfp_memory_diff=6\n"
        "fp_cpu_diff=7\npc_cpu_diff=8\npc_memory_diff=9\npc_battery_diff=-10\n";
    const Settings s = Load(fake);
    EXPECT_EQ(s.modifier, u"win+shift");
    EXPECT_EQ(s.braille_hold_ms, 2500);
    EXPECT_EQ((std::vector<int64_t>{s.pc_cpu_monitor, s.pc_memory_monitor, s.pc_battery_monitor,
                                    s.fp_memory_time, s.fp_cpu_time, s.pc_cpu_time,
                                    s.pc_memory_time, s.pc_battery_time, s.fp_memory_diff,
                                    s.fp_cpu_diff, s.pc_cpu_diff, s.pc_memory_diff,
                                    s.pc_battery_diff}),
              (std::vector<int64_t>{1, 2, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, -10}));
}

TEST(SettingsFile, GroupsMatchWithoutCaseKeysOnlyWithIt) {
    FakePlatform fake;
    fake.files[kFile] =
        "[GENERAL]\nModifier=alt\nBraille_Hold_Ms=10\n[Monitors]\nPC_CPU_TIME=1\npc_memory_time=3000\n"
        "[general]\nmodifier=win\nbraille_hold_ms=20\n";
    const Settings s = Load(fake);
    EXPECT_EQ(s.modifier, u"");  // only the first "general" counts, and Modifier is not modifier
    EXPECT_EQ(s.braille_hold_ms, 4000);
    EXPECT_EQ(s.pc_cpu_time, 5000);
    EXPECT_EQ(s.pc_memory_time, 3000);
}

TEST(SettingsFile, IntegerFormsAndEmptyValues) {
    const std::pair<std::string, int64_t> cases[] = {
        {"pc_cpu_time=5000ms", 5000}, {"pc_cpu_time=abc", 0},  {"pc_cpu_time=$BB8", 3000},
        {"pc_cpu_time=%1010", 10},    {"pc_cpu_time=-5", -5},  {"pc_cpu_time=+7", 7},
        {"pc_cpu_time=", 5000},       {"pc_cpu_time", 5000},   {"pc_cpu_time= \t ", 5000},
        {"   pc_cpu_time   =    3000   ", 3000},
    };
    for (const auto& [line, expected] : cases) {
        FakePlatform fake;
        fake.files[kFile] = "[monitors]\r\n" + line + "\r\n";
        EXPECT_EQ(Load(fake).pc_cpu_time, expected) << line;
    }
    // The braille hold, in the general group; 0 keeps each text until the next.
    const std::pair<std::string, int64_t> holds[] = {
        {"[general]\r\nbraille_hold_ms=0", 0},      {"[general]\r\nbraille_hold_ms=2500ms", 2500},
        {"[general]\r\nbraille_hold_ms=$3E8", 1000}, {"[general]\r\nbraille_hold_ms=-1", -1},
        {"[general]\r\nbraille_hold_ms=", 4000},     {"[general]\r\nbraille_hold_ms", 4000},
        {"[monitors]\r\nbraille_hold_ms=10", 4000},  {"braille_hold_ms=10", 4000},
        {"[general]\r\nbraille_hold_ms=100\r\nbraille_hold_ms=200", 200},
    };
    for (const auto& [lines, expected] : holds) {
        FakePlatform fake;
        fake.files[kFile] = lines + "\r\n";
        EXPECT_EQ(Load(fake).braille_hold_ms, expected) << lines;
    }
}

TEST(SettingsFile, EmptyModifierAndMissingGroupsKeepBuiltIns) {
    FakePlatform fake;
    fake.files[kFile] = "modifier=alt\npc_cpu_time=1\n[general]\nmodifier=\n[other]\npc_cpu_time=2\n";
    const Settings s = Load(fake);
    EXPECT_EQ(s.modifier, u"");
    EXPECT_EQ(s.pc_cpu_time, 5000);
}

TEST(SettingsFile, DuplicatesLoadTakesTheLastAndSaveUpdatesTheFirst) {
    FakePlatform fake;
    fake.files[kFile] = "[monitors]\nPC_CPU_MONITOR=0\npc_cpu_monitor=1\n";
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 1);
    fake.files[kFile] = "[monitors]\npc_cpu_monitor=0\npc_cpu_monitor=1\n";
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 1);

    fake.files[kFile] = "[monitors]\nPC_CPU_Monitor=0\npc_cpu_monitor=0\n";
    SaveMonitorStates(fake, Switches(1, 0, 0));
    EXPECT_EQ(fake.files[kFile],
              "\xEF\xBB\xBF\r\n[monitors]\r\npc_cpu_monitor = 1\r\npc_cpu_monitor = 0\r\n"
              "pc_memory_monitor = 0\r\npc_battery_monitor = 0\r\n");
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 0);  // the later line still wins on the next start
}

TEST(SettingsFile, AHandEditedFileKeepsCommentsGroupsAndUnknownKeys) {
    FakePlatform fake;
    // No byte-order mark: read in the ANSI code page (the fake's is Latin-1).
    fake.files[kFile] =
        "; my settings\n\n[general]\n   modifier = alt+shift\n  ;  caf\xE9\n[extra]\n"
        "colour = blue\n\n[Monitors]\nunknown_key = 12\npc_memory_monitor=1\n; end of monitors\n"
        "[last]\n";
    SaveMonitorStates(fake, Switches(1, 0, 1));
    EXPECT_EQ(fake.files[kFile],
              "\xEF\xBB\xBF\r\n; my settings\r\n[general]\r\nmodifier = alt+shift\r\n"
              ";  caf\xC3\xA9\r\n[extra]\r\ncolour = blue\r\n[Monitors]\r\nunknown_key = 12\r\n"
              "pc_memory_monitor = 0\r\n; end of monitors\r\npc_cpu_monitor = 1\r\n"
              "pc_battery_monitor = 1\r\n[last]\r\n");
    const Settings s = Load(fake);
    EXPECT_EQ(s.modifier, u"alt+shift");
    EXPECT_EQ(s.pc_cpu_monitor, 1);
    EXPECT_EQ(s.pc_memory_monitor, 0);
    EXPECT_EQ(s.pc_battery_monitor, 1);
}

// Text as a UTF-16 file with its byte-order mark.
std::string Utf16File(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(SettingsFile, UnicodeFilesAreReadAndToggledInTheirOwnEncoding) {
    const std::u16string before =
        u"[general]\r\nmodifier=win+alt\r\n[monitors]\r\npc_memory_monitor=1\r\n; caf\u00e9 \u20ac\r\n";
    const std::u16string after = before + u"pc_cpu_monitor = 1\r\npc_battery_monitor = 0\r\n";
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "UTF-16 BE" : "UTF-16 LE");
        FakePlatform fake;
        fake.files[kFile] = Utf16File(before, bigEndian);
        const Settings s = Load(fake);
        EXPECT_EQ(s.modifier, u"win+alt");
        EXPECT_EQ(s.pc_memory_monitor, 1);
        SaveMonitorStates(fake, Switches(1, 1, 0));
        EXPECT_EQ(fake.files[kFile], Utf16File(after, bigEndian));
        const Settings again = Load(fake);
        EXPECT_EQ(again.modifier, u"win+alt");
        EXPECT_EQ(again.pc_cpu_monitor, 1);
        EXPECT_EQ(again.pc_memory_monitor, 1);
    }
}

TEST(SettingsFile, AUtf8FileWithoutMarkKeepsEveryByteTheSaveDoesNotChange) {
    const std::pair<std::string, std::string> cases[] = {
        {"; r\xC3\xA9glages \xE2\x98\x83\n\n[general]\n  modifier = alt+shift\n[Monitors]\n"
         "\tpc_cpu_monitor=0   \n\npc_memory_time = 3000\n\n[other]\nx=\xC3\xBC\n",
         "; r\xC3\xA9glages \xE2\x98\x83\n\n[general]\n  modifier = alt+shift\n[Monitors]\n"
         "pc_cpu_monitor = 1\n\npc_memory_time = 3000\npc_memory_monitor = 0\npc_battery_monitor = 0\n"
         "\n[other]\nx=\xC3\xBC\n"},
        // Nothing to change: not one byte moves.
        {"; \xC3\xA9\r\n[monitors]\r\n  pc_cpu_monitor = 1  \r\npc_memory_monitor=0\r\npc_battery_monitor\t=\t0\r\n",
         "; \xC3\xA9\r\n[monitors]\r\n  pc_cpu_monitor = 1  \r\npc_memory_monitor=0\r\npc_battery_monitor\t=\t0\r\n"},
        {"[monitors]\r\nx=\xC3\xA9\r\npc_cpu_monitor=0",
         "[monitors]\r\nx=\xC3\xA9\r\npc_cpu_monitor = 1\r\npc_memory_monitor = 0\r\npc_battery_monitor = 0\r\n"},
        {"; \xC3\xA9\r[general]\r",
         "; \xC3\xA9\r[general]\r[monitors]\rpc_cpu_monitor = 1\rpc_memory_monitor = 0\r"
         "pc_battery_monitor = 0\r"},
    };
    for (const auto& [before, after] : cases) {
        FakePlatform fake;
        fake.files[kFile] = before;
        SaveMonitorStates(fake, Switches(1, 0, 0));
        EXPECT_EQ(fake.files[kFile], after) << before;
        EXPECT_EQ(Load(fake).pc_cpu_monitor, 1) << before;
    }
}

TEST(SettingsFile, SaveAddsAMonitorsGroupWhenThereIsNone) {
    FakePlatform fake;
    fake.files[kFile] = "\xEF\xBB\xBF[general]\r\nmodifier = alt\r\n";
    SaveMonitorStates(fake, Switches(0, 1, 0));
    EXPECT_EQ(fake.files[kFile],
              "\xEF\xBB\xBF\r\n[general]\r\nmodifier = alt\r\n[monitors]\r\npc_cpu_monitor = 0\r\n"
              "pc_memory_monitor = 1\r\npc_battery_monitor = 0\r\n");
}

TEST(SettingsFile, ADeletedFileIsRecreatedWithTheDefaultsBySave) {
    FakePlatform fake;
    Load(fake);
    ASSERT_TRUE(fake.DeleteFile(kFile));
    SaveMonitorStates(fake, Switches(1, 1, 1));
    EXPECT_EQ(fake.files[kFile], kDefaultBytes);
}

TEST(SettingsFile, AReadOnlyFileIsReadButNeverChanged) {
    FakePlatform fake;
    const std::string original = "[monitors]\npc_cpu_monitor = 1\n";
    fake.files[kFile] = original;
    fake.readOnlyFiles.insert(kFile);
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 1);
    SaveMonitorStates(fake, Switches(0, 0, 0));
    EXPECT_EQ(fake.files[kFile], original);
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 1);  // switching it off lasted this run only
}

TEST(SettingsFile, AnUnreadableFileCountsAsEmptyAndIsNeverRewritten) {
    FakePlatform fake;
    fake.files[kFile] = "[monitors]\npc_cpu_time = 1\n";
    fake.unreadableFiles.insert(kFile);
    EXPECT_EQ(Load(fake).pc_cpu_time, 5000);
    SaveMonitorStates(fake, Switches(1, 0, 0));
    EXPECT_EQ(fake.files[kFile], "[monitors]\npc_cpu_time = 1\n");
    EXPECT_EQ(Count(fake, "ReplaceFile prefs.ini"), 0u);
}

TEST(SettingsFile, AFailedWriteLeavesTheOldFileAndIsRetriedNextTime) {
    FakePlatform fake;
    fake.files[kFile] = "[monitors]\npc_cpu_monitor = 1\n";
    fake.failingReplaces.insert(kFile);
    SaveMonitorStates(fake, Switches(0, 0, 0));
    EXPECT_EQ(fake.files[kFile], "[monitors]\npc_cpu_monitor = 1\n");

    FakePlatform fresh;
    fresh.failingReplaces.insert(kFile);
    EXPECT_EQ(Load(fresh).fp_memory_diff, 5);
    EXPECT_EQ(fresh.files.count(kFile), 0u);
    fresh.failingReplaces.clear();
    SaveMonitorStates(fresh, Switches(1, 0, 0));
    EXPECT_EQ(fresh.files[kFile], kDefaultBytes);
}

TEST(SettingsFile, AFileOverTheLimitIsReadInPartAndNeverRewritten) {
    FakePlatform fake;
    const size_t limit = size_t(1) << 20;
    std::string original = "[monitors]\r\npc_cpu_monitor = 1\r\n; ";
    original += std::string(limit - original.size() - 17, 'z') + "\r\n";
    original += "pc_cpu_time = 300\r\n";  // cut after "pc_cpu_time = 3"
    original += "pc_memory_monitor = 1\r\n";
    fake.files[kFile] = original;
    const Settings loaded = Load(fake);
    EXPECT_EQ(loaded.pc_cpu_monitor, 1);
    EXPECT_EQ(loaded.pc_cpu_time, 5000);  // its line was not read to its end
    EXPECT_EQ(loaded.pc_memory_monitor, 0);
    EXPECT_EQ(fake.readLimits, std::vector<size_t>{limit});
    EXPECT_EQ(fake.fileProblems,
              std::vector<std::u16string>{u"prefs.ini is larger than 1 MiB: only its first 1 MiB "
                                          u"is read, and it is never rewritten."});
    SaveMonitorStates(fake, Switches(0, 0, 0));
    EXPECT_EQ(fake.files[kFile], original);
    EXPECT_EQ(Count(fake, "ReplaceFile prefs.ini"), 0u);
    ASSERT_EQ(fake.fileProblems.size(), 2u);
    EXPECT_EQ(fake.fileProblems[1], u"prefs.ini is larger than 1 MiB, so it is not rewritten: "
                                    u"the monitor switch holds for this run only.");
}

TEST(SettingsFile, AFileAtTheLimitIsReadWholeAndRewritten) {
    FakePlatform fake;
    const size_t limit = size_t(1) << 20;
    std::string original = "[monitors]\r\n; ";
    original += std::string(limit - original.size() - 22, 'z') + "\r\n";
    original += "pc_cpu_monitor = 1\r\n";
    ASSERT_EQ(original.size(), limit);
    fake.files[kFile] = original;
    EXPECT_EQ(Load(fake).pc_cpu_monitor, 1);
    SaveMonitorStates(fake, Switches(0, 1, 0));
    EXPECT_EQ(Count(fake, "ReplaceFile prefs.ini"), 1u);
    EXPECT_NE(fake.files[kFile].find("pc_memory_monitor = 1\r\n"), std::string::npos);
    EXPECT_TRUE(fake.fileProblems.empty());
}

TEST(SettingsFile, TheModifierInTheFileChangesTheRegisteredHotkeys) {
    FakePlatform fake;
    fake.files[kFile] = "\xEF\xBB\xBF\r\n[General]\r\nmodifier = alt+win\r\n";
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    ASSERT_EQ(fake.registrations.size(), 30u);
    for (const auto& registration : fake.registrations)
        EXPECT_EQ(registration.modifiers, kModAlt | kModWin) << registration.id;

    FakePlatform plain;  // no file: the built-in empty text means control+alt+shift
    Application firstRun(plain, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(firstRun));
    ASSERT_FALSE(plain.registrations.empty());
    EXPECT_EQ(plain.registrations.front().modifiers, kModControl | kModAlt | kModShift);
    EXPECT_EQ(plain.files[kFile], kDefaultBytes);
}

}  // namespace
}  // namespace tarrow
