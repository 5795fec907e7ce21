// The real file operations of the Linux backend, in a scratch folder.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/unique_fd.hpp"
#include "settings/settings.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

// A fresh folder that is also the working directory while the test runs.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarrow-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(::chdir(dir_.c_str()), 0);
    }

    void TearDown() override {
        ASSERT_EQ(::chdir(oldCwd_.c_str()), 0);
        for (const std::string& name : Entries()) {
            ::chmod((dir_ + "/" + name).c_str(), 0644);
            ::unlink((dir_ + "/" + name).c_str());
        }
        ::rmdir(dir_.c_str());
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            ::closedir(d);
        }
        return names;
    }

    static void Write(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
        std::ofstream(name, std::ios::binary) << bytes;
        ASSERT_EQ(::chmod(name.c_str(), mode), 0);
    }

    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    static struct stat Stat(const std::string& name) {
        struct stat info {};
        EXPECT_EQ(::lstat(name.c_str(), &info), 0) << name;
        return info;
    }

    LinuxPlatform platform_;
    std::string dir_;
    std::string oldCwd_;
};

using ReplaceFileTest = ScratchFolder;
using ReadFileTest = ScratchFolder;
using AnsiTest = ScratchFolder;
using SettingsOnDisk = ScratchFolder;

TEST_F(ReplaceFileTest, CreatesThenReplacesKeepingTheModeAndNoTemporaryFile) {
    ASSERT_TRUE(platform_.ReplaceFile(u"a.ini", "first"));
    EXPECT_EQ(Read("a.ini"), "first");
    EXPECT_EQ(Stat("a.ini").st_mode & 07777, 0644u);
    ASSERT_EQ(::chmod("a.ini", 0600), 0);
    ASSERT_TRUE(platform_.ReplaceFile(u"a.ini", std::string(200000, 'x')));
    EXPECT_EQ(Read("a.ini"), std::string(200000, 'x'));
    EXPECT_EQ(Stat("a.ini").st_mode & 07777, 0600u);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ReplaceFileTest, AReadOnlyFileIsLeftAloneEvenForRoot) {
    Write("a.ini", "old", 0444);
    const struct stat before = Stat("a.ini");
    EXPECT_FALSE(platform_.ReplaceFile(u"a.ini", "new"));
    EXPECT_EQ(Read("a.ini"), "old");
    EXPECT_EQ(Stat("a.ini").st_ino, before.st_ino);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ReplaceFileTest, AWriteThatFailsBeforeTheRenameKeepsTheOldFile) {
    Write("a.ini", "old contents");
    // The file-size limit makes the write aside fail part way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool replaced = platform_.ReplaceFile(u"a.ini", std::string(100000, 'n'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(replaced);
    EXPECT_EQ(Read("a.ini"), "old contents");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(ReplaceFileTest, ALinkStaysALinkAndItsTargetIsReplaced) {
    Write("target.ini", "old");
    ASSERT_EQ(::symlink("target.ini", "link.ini"), 0);
    ASSERT_TRUE(platform_.ReplaceFile(u"link.ini", "new"));
    EXPECT_TRUE(S_ISLNK(Stat("link.ini").st_mode));
    EXPECT_EQ(Read("target.ini"), "new");

    ASSERT_EQ(::symlink("nowhere.ini", "dangling.ini"), 0);
    EXPECT_FALSE(platform_.ReplaceFile(u"dangling.ini", "new"));
    EXPECT_TRUE(S_ISLNK(Stat("dangling.ini").st_mode));
}

TEST_F(ReadFileTest, StopsAtItsLimitAndSaysMoreLiesBeyond) {
    Write("big.ini", std::string(200000, 'x') + "tail");
    const FileReadResult cut = platform_.ReadFile(u"big.ini", 100000);
    EXPECT_EQ(cut.status, FileReadStatus::Ok);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.bytes, std::string(100000, 'x'));
    const FileReadResult exact = platform_.ReadFile(u"big.ini", 200004);
    EXPECT_FALSE(exact.cut);
    EXPECT_EQ(exact.bytes.size(), 200004u);
    // A sparse file of 4 GiB: only the limit and one byte more are read.
    {
        UniqueFd fd(::open("huge.ini", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd.Valid());
        ASSERT_EQ(::ftruncate(fd.Get(), off_t(4) << 30), 0);
    }
    const FileReadResult huge = platform_.ReadFile(u"huge.ini", 1 << 20);
    EXPECT_TRUE(huge.cut);
    EXPECT_EQ(huge.bytes.size(), size_t(1) << 20);
    ::unlink("huge.ini");
}

TEST_F(ReadFileTest, OkMissingAndUnreadableWithoutHanging) {
    Write("a.ini", std::string("bytes\0kept", 10));
    FileReadResult ok = platform_.ReadFile(u"a.ini", 1 << 20);
    EXPECT_EQ(ok.status, FileReadStatus::Ok);
    EXPECT_EQ(ok.bytes, std::string("bytes\0kept", 10));
    EXPECT_EQ(platform_.ReadFile(u"none.ini", 1 << 20).status, FileReadStatus::Missing);
    ASSERT_EQ(::mkdir("folder.ini", 0755), 0);
    EXPECT_EQ(platform_.ReadFile(u"folder.ini", 1 << 20).status, FileReadStatus::Unreadable);
    ASSERT_EQ(::mkfifo("pipe.ini", 0644), 0);
    EXPECT_EQ(platform_.ReadFile(u"pipe.ini", 1 << 20).status, FileReadStatus::Unreadable);
    ASSERT_EQ(::symlink("/dev/zero", "device.ini"), 0);
    EXPECT_EQ(platform_.ReadFile(u"device.ini", 1 << 20).status, FileReadStatus::Unreadable);
    // The log opens only as a regular file, and never waits for a FIFO's reader.
    for (const char16_t* name : {u"folder.ini", u"pipe.ini", u"device.ini"})
        for (const OutputMode mode : {OutputMode::Append, OutputMode::Exclusive})
            EXPECT_EQ(platform_.OpenOutputFile(name, mode), nullptr) << Utf16ToUtf8(name);
    EXPECT_NE(platform_.OpenOutputFile(u"log.txt", OutputMode::Append), nullptr);
    ::rmdir("folder.ini");
}

TEST_F(AnsiTest, ConvertsFromTheLocaleCharacterSetAndReplacesBadBytes) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    EXPECT_EQ(platform_.AnsiToUtf16("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"café 😀");
    EXPECT_EQ(platform_.AnsiToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(platform_.AnsiToUtf16("a\xE2\x82"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(platform_.AnsiToUtf16(std::string(10000, 'x')), std::u16string(10000, u'x'));

    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    EXPECT_EQ(platform_.AnsiToUtf16("abc\xE9"), u"abc\uFFFD");
    EXPECT_EQ(platform_.AnsiToUtf16(""), u"");
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(SettingsOnDisk, FirstStartWritesTheDefaultsAndAReadOnlyFileNeverChanges) {
    Settings first;
    LoadSettings(platform_, first);
    const std::string created = Read("prefs.ini");
    EXPECT_EQ(created.substr(0, 27), "\xEF\xBB\xBF\r\n[general]\r\nmodifier = ");
    EXPECT_EQ(first.fp_memory_diff, 5);

    Write("prefs.ini", "[monitors]\npc_cpu_monitor = 1\n", 0444);
    const struct stat before = Stat("prefs.ini");
    Settings settings;
    LoadSettings(platform_, settings);
    EXPECT_EQ(settings.pc_cpu_monitor, 1);
    SaveMonitorStates(platform_, Settings{});
    EXPECT_EQ(Read("prefs.ini"), "[monitors]\npc_cpu_monitor = 1\n");
    EXPECT_EQ(Stat("prefs.ini").st_ino, before.st_ino);
    EXPECT_EQ(Entries(), std::vector<std::string>{"prefs.ini"});
}

TEST_F(SettingsOnDisk, SaveRewritesAWritableFileInPlaceOfTheOld) {
    Write("prefs.ini", "; mine\n[monitors]\npc_cpu_monitor = 1\n", 0640);
    Settings states;
    states.pc_memory_monitor = 1;
    SaveMonitorStates(platform_, states);
    EXPECT_EQ(Read("prefs.ini"),
              "\xEF\xBB\xBF\r\n; mine\r\n[monitors]\r\npc_cpu_monitor = 0\r\n"
              "pc_memory_monitor = 1\r\npc_battery_monitor = 0\r\n");
    EXPECT_EQ(Stat("prefs.ini").st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace tarrow
