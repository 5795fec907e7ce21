// The process list on the live system: our own entry, a measured CPU load,
// and favourites ending real processes.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/linux/linux_platform.hpp"
#include "platform/role_doubles.hpp"
#include "platform/text.hpp"
#include "processes/processes.hpp"

extern char** environ;

namespace tarrow {
namespace {

namespace fs = std::filesystem;

// The real processes, clocks and files, with the tray, the boxes and the
// speech recorded instead of shown, so that the logic runs against the live
// system without a display or a speech server.
struct LiveRoles {
    LinuxPlatform real;
    testing::ScriptedWindow tray;
    testing::ScriptedDialogs dialogs;
    testing::RecordingSpeech voice;
    ProcessRoles processes{real, real, tray};
};

const ProcessEntry* FindPid(const ProcessList& list, int64_t pid) {
    for (const auto& e : list.entries)
        if (e.pid == pid) return &e;
    return nullptr;
}

// VmRSS of /proc/self/status, in bytes.
int64_t OwnRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return -1;
}

TEST(LiveProcesses, ARefreshListsThisTestWithItsNameAndWorkingSet) {
    LiveRoles roles;
    ProcessState state;
    RefreshProcessList(roles.processes, state);
    const ProcessEntry* self = FindPid(state.list, ::getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->name, u"tarrow-linux-tests");
    const int64_t rss = OwnRss();
    EXPECT_NEAR(static_cast<double>(self->memory), static_cast<double>(rss), 2.0 * 1024 * 1024);
    EXPECT_EQ(FindPid(state.list, 0), nullptr);
    const std::vector<std::u16string> tooltips = roles.tray.Tooltips();
    ASSERT_FALSE(tooltips.empty());
    EXPECT_EQ(tooltips.back().rfind(u"Tarrow: ", 0), 0u);
    // Every listed entry has a working set: kernel threads and zombies are left out.
    for (const auto& e : state.list.entries) EXPECT_GE(e.memory, 1) << e.pid;
}

// Processor time the scheduler gave a process, in nanoseconds; -1 when unknown.
int64_t ScheduledNs(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/schedstat");
    int64_t ns = -1;
    file >> ns;
    return file ? ns : -1;
}

TEST(LiveProcesses, AChildBurningOneProcessorShowsItsShareOfTheMachine) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setpriority(PRIO_PROCESS, 0, -10);  // ahead of our own other tests
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
        volatile uint64_t spin = 0;
        while (std::chrono::steady_clock::now() < end) spin = spin + 1;
        ::_exit(0);
    }
    LiveRoles roles;
    ProcessState state;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int64_t scheduledBefore = ScheduledNs(child);
    const auto windowStart = std::chrono::steady_clock::now();
    RefreshProcessList(roles.processes, state);
    ASSERT_NE(FindPid(state.list, child), nullptr);
    EXPECT_EQ(FindPid(state.list, child)->cpu, 0);  // first sight: the reference
    std::this_thread::sleep_for(std::chrono::milliseconds(5000));
    RefreshProcessList(roles.processes, state);
    const double window = std::chrono::duration<double, std::nano>(
                              std::chrono::steady_clock::now() - windowStart).count();
    const int64_t scheduledAfter = ScheduledNs(child);
    const ProcessEntry* entry = FindPid(state.list, child);
    ASSERT_NE(entry, nullptr);
    const double processors = static_cast<double>(ProcessorCount(roles.real));
    EXPECT_GE(TotalCpuPercent(state.list), static_cast<int64_t>(entry->cpu));

    // On a machine busy with other work the child gets less than a whole
    // processor; the scheduler's own account says how much it really had.
    double share = 1.0;
    if (scheduledBefore >= 0 && scheduledAfter >= 0)
        share = static_cast<double>(scheduledAfter - scheduledBefore) / window;
    EXPECT_NEAR(entry->cpu, 100.0 * share / processors, 10.0) << "processor share " << share;
    if (share >= 0.9)
        EXPECT_NEAR(entry->cpu, 100.0 / processors, 10.0);
    else
        std::cout << "note: the child had only " << share
                  << " of a processor; checked against that share\n";
    int status = 0;
    ::waitpid(child, &status, 0);
}

class FavouritesLive : public ::testing::Test {
protected:
    void SetUp() override {
        // Beside this test, where programs may run (a /tmp may be mounted noexec).
        std::string pattern =
            (fs::read_symlink("/proc/self/exe").parent_path() / "tarrow-fav-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        previous = fs::current_path();
        fs::current_path(dir);
    }
    void TearDown() override {
        for (pid_t pid : children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        fs::current_path(previous);
        fs::remove_all(dir);
    }
    // A copy of sleep under its own name, so that only our helpers match.
    pid_t SpawnSleeper(const std::string& name) {
        const fs::path exe = dir / name;
        fs::copy_file("/bin/sleep", exe);
        fs::permissions(exe, fs::perms::owner_all);
        const std::string path = exe.string();
        char arg1[] = "60";
        char* argv[] = {const_cast<char*>(path.c_str()), arg1, nullptr};
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ), 0);
        children.push_back(pid);
        return pid;
    }
    // Waits until the helper runs its own image (after the exec).
    static bool Running(pid_t pid, const std::string& name) {
        for (int i = 0; i < 200; ++i) {
            std::error_code error;
            const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
            if (!error && exe.filename() == name) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Ends the favourites over a fresh list; what was spoken last.
    static std::u16string KillFavouritesNow(LiveRoles& roles) {
        SpeechOutput speech(roles.voice);
        ProcessState state;
        RefreshProcessList(roles.processes, state);
        KillFavourites(roles.processes, roles.real, speech, state);
        const std::vector<std::u16string> spoken = roles.voice.Spoken();
        return spoken.empty() ? std::u16string() : spoken.back();
    }

    fs::path dir;
    fs::path previous;
    std::vector<pid_t> children;
};

TEST_F(FavouritesLive, ALineMatchingTwoHelpersEndsBothAndLogsThem) {
    const std::string tag = "tfav" + std::to_string(::getpid());
    const pid_t first = SpawnSleeper(tag + "a");
    const pid_t second = SpawnSleeper(tag + "b");
    ASSERT_TRUE(Running(first, tag + "a"));
    ASSERT_TRUE(Running(second, tag + "b"));
    std::ofstream(dir / "processes.txt") << tag << "\n";

    LiveRoles roles;
    EXPECT_EQ(KillFavouritesNow(roles), u"2 processes killed. See processes.log for more info.");

    for (pid_t pid : {first, second}) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    children.clear();

    std::ifstream logFile(dir / "PROCESSES.LOG", std::ios::binary);
    std::stringstream log;
    log << logFile.rdbuf();
    const std::regex line("Killed " + tag +
                          "([ab]), PID ([0-9]+) on [0-9]{4}-[0-9]{2}-[0-9]{2}, "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n");
    const std::string text = log.str();
    std::vector<std::string> pids;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
         it != std::sregex_iterator(); ++it)
        pids.push_back((*it)[2]);
    std::sort(pids.begin(), pids.end());
    std::vector<std::string> expected{std::to_string(first), std::to_string(second)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(pids, expected) << text;
}

// Reaps a helper within five seconds and tells whether SIGKILL ended it.
bool Killed(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Alive(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

TEST_F(FavouritesLive, FocusAndDeleteHitTheFoundHelperWhileOthersComeAndGo) {
    const std::string tag = std::to_string(::getpid());
    // Named to sort after everything ("~") and before it ("!"), so every
    // start and end of a "!" helper shifts the target's index.
    const pid_t target = SpawnSleeper("~tgt" + tag);
    const pid_t early = SpawnSleeper("!a" + tag);
    ASSERT_TRUE(Running(target, "~tgt" + tag));
    ASSERT_TRUE(Running(early, "!a" + tag));

    LiveRoles roles;
    SpeechOutput speech(roles.voice);
    ProcessState state;
    RefreshProcessList(roles.processes, state);
    roles.dialogs.promptAnswers = {Utf8ToUtf16("~TGT" + tag)};
    FindProcess(roles.dialogs, speech, state);
    ASSERT_EQ(EntryAt(state.list, state.list.cursor)->pid, target);

    const pid_t later = SpawnSleeper("!b" + tag);
    ASSERT_TRUE(Running(later, "!b" + tag));
    ASSERT_TRUE(Running(SpawnSleeper("!e" + tag), "!e" + tag));
    ::kill(early, SIGKILL);
    ASSERT_TRUE(Killed(early));
    RefreshProcessList(roles.processes, state);
    FocusProcess(speech, state);
    EXPECT_EQ(state.focusedPid, target);

    for (const char* name : {"!c", "!d"}) ASSERT_TRUE(Running(SpawnSleeper(name + tag), name + tag));
    RefreshProcessList(roles.processes, state);
    EXPECT_EQ(KillWithoutConfirmation(roles.processes, speech, state), EndOutcome::Stay);
    EXPECT_TRUE(Killed(target));
    EXPECT_TRUE(Alive(later));
    children.erase(std::find(children.begin(), children.end(), target));
    children.erase(std::find(children.begin(), children.end(), early));
    EXPECT_EQ(roles.voice.Spoken().size(), 2u) << "only the find and the focus speak";
}

TEST_F(FavouritesLive, ATerminationReachesOnlyTheProcessListed) {
    const pid_t helper = SpawnSleeper("tid" + std::to_string(::getpid()));
    ASSERT_TRUE(Running(helper, "tid" + std::to_string(::getpid())));
    LinuxPlatform platform;
    std::vector<SnapshotEntry> rows;
    ASSERT_TRUE(platform.TakeProcessSnapshot(rows));
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const SnapshotEntry& r) { return r.pid == uint32_t(helper); });
    ASSERT_NE(row, rows.end());
    const uint64_t start = platform.ProcessStartTime(row->pid);
    ASSERT_NE(start, 0u);
    EXPECT_FALSE(platform.TerminateProcess(row->pid, start + 1, row->exeFile));  // a reused PID
    EXPECT_FALSE(platform.TerminateProcess(row->pid, start, u"other"));
    EXPECT_TRUE(Alive(helper));
    EXPECT_TRUE(platform.TerminateProcess(row->pid, start, row->exeFile));
    EXPECT_TRUE(Killed(helper));
    children.clear();
    EXPECT_FALSE(platform.TerminateProcess(row->pid, start, row->exeFile));  // gone
}

TEST_F(FavouritesLive, ALineNamingThisProgramLeavesItRunningAndAFifoLogCannotHang) {
    // Other copies of this test program run beside it (ctest -j), and a line
    // naming it would end them too: the check runs in a copy under its own name.
    if (std::getenv("TARROW_SELF_NAMED_COPY") == nullptr) {
        const fs::path copy = dir / ("tselfcopy" + std::to_string(::getpid()));
        fs::copy_file("/proc/self/exe", copy);
        fs::permissions(copy, fs::perms::owner_all);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string command = "TARROW_SELF_NAMED_COPY=1 '" + copy.string() +
                                    "' --gtest_filter=" + test->test_suite_name() + "." + test->name();
        EXPECT_EQ(std::system(command.c_str()), 0);
        return;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
    const std::string tag = "tself" + std::to_string(::getpid());
    const pid_t helper = SpawnSleeper(tag);
    ASSERT_TRUE(Running(helper, tag));
    std::ofstream(dir / "processes.txt") << self << "\n" << tag << "\n";
    ASSERT_EQ(::mkfifo((dir / "PROCESSES.LOG").c_str(), 0644), 0);

    LiveRoles roles;
    // The FIFO is no log: the summary says the line went nowhere.
    EXPECT_EQ(KillFavouritesNow(roles), u"1 processes killed. The log could not be written.");
    EXPECT_TRUE(Killed(helper));
    children.clear();

    // A FIFO under the favourites' name counts as no file.
    fs::remove(dir / "processes.txt");
    ASSERT_EQ(::mkfifo((dir / "processes.txt").c_str(), 0644), 0);
    EXPECT_EQ(KillFavouritesNow(roles), u"No processes.txt found.");
}

}  // namespace
}  // namespace tarrow
