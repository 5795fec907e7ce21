// Files through the real Windows API: the write-aside replacement, the share
// modes of the two output kinds, and read failures.

#include <gtest/gtest.h>

#include "platform/win32/backend/backend_fixture.hpp"
#include "platform/win32/handles.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow::testing {
namespace {

TEST(Win32Files, ReadTellsMissingFromUnreadable) {
    ScratchFolder folder;
    Win32Platform platform;
    EXPECT_EQ(platform.ReadFile(u"absent.txt", 1 << 20).status, FileReadStatus::Missing);
    EXPECT_EQ(platform.ReadFile(u"no-folder\\absent.txt", 1 << 20).status, FileReadStatus::Missing);
    CreateDirectoryW(L"a-folder", nullptr);
    EXPECT_EQ(platform.ReadFile(u"a-folder", 1 << 20).status, FileReadStatus::Unreadable);
    // A device or a folder is no file to read or to log into.
    EXPECT_EQ(platform.ReadFile(u"NUL", 1 << 20).status, FileReadStatus::Unreadable);
    for (const char16_t* name : {u"a-folder", u"NUL"})
        for (const OutputMode mode : {OutputMode::Append, OutputMode::Exclusive})
            EXPECT_EQ(platform.OpenOutputFile(name, mode), nullptr);
    RemoveDirectoryW(L"a-folder");

    WriteWhole(L"data.txt", std::string("line\r\n\0tail", 11));
    const FileReadResult read = platform.ReadFile(u"data.txt", 1 << 20);
    EXPECT_EQ(read.status, FileReadStatus::Ok);
    EXPECT_EQ(read.bytes, std::string("line\r\n\0tail", 11));
    EXPECT_FALSE(read.cut);
    const FileReadResult cut = platform.ReadFile(u"data.txt", 4);
    EXPECT_EQ(cut.status, FileReadStatus::Ok);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.bytes, "line");
}

TEST(Win32Files, ReplaceWritesAsideAndLeavesNothingBehind) {
    ScratchFolder folder;
    Win32Platform platform;
    EXPECT_TRUE(platform.ReplaceFile(u"prefs.ini", "first"));
    EXPECT_EQ(ReadWhole(L"prefs.ini"), "first");
    EXPECT_TRUE(platform.ReplaceFile(u"prefs.ini", "second, longer"));
    EXPECT_EQ(ReadWhole(L"prefs.ini"), "second, longer");
    EXPECT_TRUE(platform.ReplaceFile(u"prefs.ini", ""));
    EXPECT_EQ(ReadWhole(L"prefs.ini"), "");
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"prefs.ini"});
}

TEST(Win32Files, ReplaceLeavesAReadOnlyFileUntouched) {
    ScratchFolder folder;
    Win32Platform platform;
    WriteWhole(L"prefs.ini", "kept");
    SetFileAttributesW(L"prefs.ini", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(platform.ReplaceFile(u"prefs.ini", "lost"));
    EXPECT_EQ(ReadWhole(L"prefs.ini"), "kept");
    EXPECT_EQ(GetFileAttributesW(L"prefs.ini") & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"prefs.ini"});
}

TEST(Win32Files, ReplaceLeavesAFileOpenElsewhereWithoutSharingUntouched) {
    ScratchFolder folder;
    Win32Platform platform;
    WriteWhole(L"prefs.ini", "kept");
    const HANDLE held = CreateFileW(L"prefs.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform.ReplaceFile(u"prefs.ini", "lost"));
    CloseHandle(held);
    EXPECT_EQ(ReadWhole(L"prefs.ini"), "kept");
    EXPECT_EQ(folder.Files(), std::vector<std::wstring>{L"prefs.ini"});
}

TEST(Win32Files, AppendKeepsWhatWasThereAndSharesWithNobody) {
    ScratchFolder folder;
    Win32Platform platform;
    WriteWhole(L"PROCESSES.LOG", "old\r\n");
    {
        auto log = platform.OpenOutputFile(u"PROCESSES.LOG", OutputMode::Append);
        ASSERT_NE(log, nullptr);
        EXPECT_EQ(log->Write("new\r\n"), 5u);
        EXPECT_EQ(platform.OpenOutputFile(u"PROCESSES.LOG", OutputMode::Append), nullptr);
        EXPECT_EQ(platform.ReadFile(u"PROCESSES.LOG", 1 << 20).status, FileReadStatus::Unreadable);
    }
    EXPECT_EQ(ReadWhole(L"PROCESSES.LOG"), "old\r\nnew\r\n");
    auto created = platform.OpenOutputFile(u"fresh.log", OutputMode::Append);
    ASSERT_NE(created, nullptr);
}

TEST(Win32Files, ExclusiveReplacesAndLetsOthersOnlyRead) {
    ScratchFolder folder;
    Win32Platform platform;
    WriteWhole(L"Tarrow.zip", "an older, longer archive");
    auto archive = platform.OpenOutputFile(u"Tarrow.zip", OutputMode::Exclusive);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->Write("PK"), 2u);
    const HANDLE reader = CreateFileW(L"Tarrow.zip", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    const HANDLE writer = CreateFileW(L"Tarrow.zip", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_EQ(platform.OpenOutputFile(u"Tarrow.zip", OutputMode::Exclusive), nullptr);
    archive.reset();
    EXPECT_EQ(ReadWhole(L"Tarrow.zip"), "PK");
    EXPECT_TRUE(platform.DeleteFile(u"Tarrow.zip"));
    EXPECT_FALSE(platform.DeleteFile(u"Tarrow.zip"));
}

TEST(Win32Files, ADownloadTakesTheArchiveNameOnlyWhenNothingHoldsIt) {
    ScratchFolder folder;
    Win32Platform platform;
    WriteWhole(L"Tarrow.zip", "an older archive");
    WriteWhole(L"Tarrow.zip.1.part", "PK new");
    {
        // The archive open elsewhere (an updater reading it): it stays as it is.
        const win32::UniqueHandle reader(CreateFileW(L"Tarrow.zip", GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_FALSE(platform.RenameFile(u"Tarrow.zip.1.part", u"Tarrow.zip"));
    }
    EXPECT_EQ(ReadWhole(L"Tarrow.zip"), "an older archive");
    EXPECT_TRUE(platform.RenameFile(u"Tarrow.zip.1.part", u"Tarrow.zip"));
    EXPECT_EQ(ReadWhole(L"Tarrow.zip"), "PK new");
    EXPECT_EQ(GetFileAttributesW(L"Tarrow.zip.1.part"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(platform.RenameFile(u"Tarrow.zip.1.part", u"Tarrow.zip"));
}

TEST(Win32Files, AnsiTextUsesTheSystemCodePage) {
    Win32Platform platform;
    EXPECT_EQ(platform.AnsiToUtf16(""), u"");
    EXPECT_EQ(platform.AnsiToUtf16("modifier = control+alt"), u"modifier = control+alt");
    if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP() << ", not Western European";
    // Read as Windows-1252, not as UTF-8 (where the lone byte would be invalid).
    EXPECT_EQ(platform.AnsiToUtf16("caf\xE9 \x80"), u"caf\u00E9 \u20AC");
}

}  // namespace
}  // namespace tarrow::testing
