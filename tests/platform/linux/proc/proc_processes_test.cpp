// The /proc process reader against fixture trees.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/linux_platform.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

namespace fs = std::filesystem;

class ProcFixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarrow-proc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path Process(uint32_t pid) {
        const fs::path dir = root / std::to_string(pid);
        fs::create_directories(dir);
        return dir;
    }
    static void Write(const fs::path& file, std::string_view bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    std::vector<SnapshotEntry> Snapshot(LinuxPlatform& platform) {
        std::vector<SnapshotEntry> rows;
        EXPECT_TRUE(platform.TakeProcessSnapshot(rows));
        return rows;
    }

    fs::path root;
};

TEST_F(ProcFixtureTest, ListsNumericFoldersInPidOrderBehindTheIdleRow) {
    for (uint32_t pid : {100u, 9u, 1000u, 20u}) fs::create_directories(root / std::to_string(pid));
    fs::create_directories(root / "sys");
    fs::create_directories(root / "12a");
    Write(root / "42", "");  // readdir names it like a folder
    fs::create_symlink("9", root / "self");
    LinuxPlatform platform({root.string(), "/sys"});
    std::vector<uint32_t> pids;
    for (const auto& row : Snapshot(platform)) pids.push_back(row.pid);
    EXPECT_EQ(pids, (std::vector<uint32_t>{0, 9, 20, 42, 100, 1000}));
}

// A stat line for a fixture process with this kernel name and start time.
std::string Stat(uint32_t pid, std::string_view comm, uint64_t start = 99) {
    return std::to_string(pid) + " (" + std::string(comm) +
           ") S 1 7 7 0 -1 4194560 10 0 3 0 250 50 4 5 20 0 1 0 " + std::to_string(start) +
           " 8192000 300\n";
}

TEST_F(ProcFixtureTest, NamesAsUsersKnowThem) {
    struct Case {
        const char* exe;      // the exe link, or nullptr when it cannot be read
        std::string cmdline;
        const char* comm;
        std::u16string name;
    };
    const std::vector<Case> cases = {
        {"/opt/some dir/app v2.bin", std::string("ignored\0", 8), "app v2.bin", u"app v2.bin"},
        {"/usr/bin/tool (deleted)", "", "tool", u"tool"},  // after an upgrade
        {"/memfd:payload (deleted)", "", "runner", u"runner"},
        {"anon_inode:[x]", "", "odd", u"odd"},
        {nullptr, std::string("/usr/bin/python3\0/tmp/x.py\0", 28), "python3", u"python3"},
        {nullptr, std::string("sshd: root@pts/0\0", 17), "sshd", u"sshd"},
        {nullptr, std::string("postgres: 16/main: walwriter\0", 29), "postgres", u"postgres"},
        {nullptr, std::string("/usr/lib/x/gnome-session-binary\0", 32), "gnome-session-b",
         u"gnome-session-binary"},
        {nullptr, std::string("/usr/lib/x/other-name\0", 22), "gnome-session-b",
         u"gnome-session-b"},
        {nullptr, "", "kworker/0:1", u"kworker/0:1"},
        {nullptr, "", "caf\xC3\xA9", u"caf\u00E9"},
    };
    for (uint32_t i = 0; i < cases.size(); ++i) {
        const fs::path dir = Process(10 + i);
        if (cases[i].exe) fs::create_symlink(cases[i].exe, dir / "exe");
        Write(dir / "cmdline", cases[i].cmdline);
        Write(dir / "stat", Stat(10 + i, cases[i].comm));
    }
    Process(100);  // vanished between the listing and the reads
    LinuxPlatform platform({root.string(), "/sys"});
    const auto rows = Snapshot(platform);
    ASSERT_EQ(rows.size(), cases.size() + 2);
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(rows[i + 1].exeFile, cases[i].name) << i;
    EXPECT_EQ(rows.back().exeFile, u"");

    // A name is read once per process; an exec (new comm) or a reused PID (new
    // start time) reads it again.
    fs::remove(root / "10" / "exe");
    fs::create_symlink("/usr/bin/changed", root / "10" / "exe");
    fs::create_symlink("/usr/bin/changed", root / "15" / "exe");
    Write(root / "15" / "stat", Stat(15, "sshd", 500));
    Write(root / "16" / "stat", Stat(16, "changed"));
    fs::remove_all(root / "11");
    const auto again = Snapshot(platform);
    ASSERT_EQ(again.size(), cases.size() + 1);
    EXPECT_EQ(again[1].exeFile, u"app v2.bin");
    EXPECT_EQ(again[5].exeFile, u"changed");
    EXPECT_EQ(again[6].exeFile, u"changed");
    EXPECT_EQ(platform.ProcessStartTime(15), 500u);
}

TEST_F(ProcFixtureTest, FiguresFromOneStatReadAndZerosForAVanishedProcess) {
    // A name with spaces and parentheses: fields are counted after the last ')'.
    Write(Process(7) / "stat",
          "7 (we) ird (name) S 1 7 7 0 -1 4194560 10 0 3 0 250 50 4 5 20 0 1 0 99 8192000 300\n");
    Write(Process(8) / "stat", "8 (truncated) S 1 2 3");
    LinuxPlatform platform({root.string(), "/sys"});
    EXPECT_EQ(platform.ProcessWorkingSet(7), 300 * ::sysconf(_SC_PAGESIZE));
    const uint64_t hz = static_cast<uint64_t>(::sysconf(_SC_CLK_TCK));
    EXPECT_EQ(platform.ProcessCpuTime(7), std::optional<uint64_t>(300ull * 10000000 / hz));
    EXPECT_EQ(platform.ProcessStartTime(7), 99u);
    EXPECT_EQ(platform.ProcessWorkingSet(8), 0);
    EXPECT_EQ(platform.ProcessCpuTime(8), std::nullopt);
    EXPECT_EQ(platform.ProcessWorkingSet(9), 0);
    EXPECT_EQ(platform.ProcessCpuTime(9), std::nullopt);
    EXPECT_EQ(platform.ProcessImagePath(9), std::nullopt);
}

TEST_F(ProcFixtureTest, ImagePathIsTheExeLinkCutTo259Units) {
    fs::create_symlink("/usr/lib/\xC3\xA9t\xC3\xA9/tool", Process(5) / "exe");
    fs::create_symlink("/" + std::string(300, 'd'), Process(6) / "exe");
    LinuxPlatform platform({root.string(), "/sys"});
    EXPECT_EQ(platform.ProcessImagePath(5), std::u16string(u"/usr/lib/\u00E9t\u00E9/tool"));
    const auto longPath = platform.ProcessImagePath(6);
    ASSERT_TRUE(longPath);
    EXPECT_EQ(longPath->size(), 259u);
}

TEST_F(ProcFixtureTest, AMissingProcFolderGivesAFailedSnapshot) {
    LinuxPlatform platform({(root / "none").string(), "/sys"});
    std::vector<SnapshotEntry> rows(3);
    EXPECT_FALSE(platform.TakeProcessSnapshot(rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(platform.ProcessWorkingSet(1), 0);
}

TEST(ProcSystem, AffinityMaskHasOneBitPerOnlineProcessor) {
    LinuxPlatform platform;
    const auto mask = platform.SystemAffinityMask();
    ASSERT_TRUE(mask);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    EXPECT_EQ(__builtin_popcountll(*mask), std::min(online, 64L));
    EXPECT_EQ(*mask & (*mask + 1), 0u);  // the low bits, contiguous
}

TEST(ProcSystem, PidZeroIsNeverSignalled) {
    // In a process group of its own, so a wrong signal could only end this child.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setpgid(0, 0);
        LinuxPlatform platform;
        platform.TerminateProcess(0, 0, u"");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the child was signalled";
}

}  // namespace
}  // namespace tarrow
