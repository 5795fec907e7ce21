// Processes and system facts through toolhelp, psapi and kernel32, checked
// against this very test process and a child it starts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/text.hpp"
#include "platform/win32/backend/backend_fixture.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow::testing {
namespace {

// Process ids are multiples of four: this one is never in use.
constexpr uint32_t kNoSuchPid = 0xFFFFFFF1u;

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

TEST(Win32Processes, TheSnapshotBeginsWithTheIdleProcessAndListsThisOne) {
    Win32Platform platform;
    std::vector<SnapshotEntry> entries;
    ASSERT_TRUE(platform.TakeProcessSnapshot(entries));
    ASSERT_GT(entries.size(), 1u);
    EXPECT_EQ(entries.front().pid, 0u);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](const SnapshotEntry& e) {
                  return e.pid == 0;
              }),
              1);
    const auto self = std::find_if(entries.begin(), entries.end(), [](const SnapshotEntry& e) {
        return e.pid == GetCurrentProcessId();
    });
    ASSERT_NE(self, entries.end());
    EXPECT_EQ(self->exeFile, u"tarrow-win32-tests.exe");
}

TEST(Win32Processes, ThisProcessHasMemoryCpuTimeAndItsFullPath) {
    Win32Platform platform;
    const uint32_t self = GetCurrentProcessId();
    EXPECT_GT(platform.ProcessWorkingSet(self), 0);
    EXPECT_TRUE(platform.ProcessCpuTime(self).has_value());
    const auto path = platform.ProcessImagePath(self);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, win32::FromWide(OwnPath()));
    const auto mask = platform.SystemAffinityMask();
    ASSERT_TRUE(mask.has_value());
    EXPECT_NE(*mask, 0u);
}

TEST(Win32Processes, AProcessThatIsNotThereGivesNothing) {
    Win32Platform platform;
    EXPECT_EQ(platform.ProcessWorkingSet(kNoSuchPid), 0);
    EXPECT_FALSE(platform.ProcessCpuTime(kNoSuchPid).has_value());
    EXPECT_FALSE(platform.ProcessImagePath(kNoSuchPid).has_value());
    EXPECT_FALSE(platform.TerminateProcess(kNoSuchPid, 0, u""));  // nothing to end
}

TEST(Win32Processes, TerminateEndsTheProcessWithCodeZero) {
    Win32Platform platform;
    // A suspended copy of this program: it never runs a test of its own.
    std::wstring commandLine = L"\"" + OwnPath() + L"\" --gtest_list_tests";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, nullptr, &startup, &child));
    ASSERT_TRUE(platform.ProcessCpuTime(child.dwProcessId).has_value());
    const uint64_t created = platform.ProcessStartTime(child.dwProcessId);
    ASSERT_NE(created, 0u);
    // Another creation time is another process that was given the same PID.
    EXPECT_FALSE(platform.TerminateProcess(child.dwProcessId, created + 1, u""));
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(platform.TerminateProcess(child.dwProcessId, created, u""));
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}

// The program's one lower-casing (sorting, search, favourites, settings) is
// what CharLowerW gives, for every UTF-16 unit. Wine's CharLowerW leaves a few
// capitals alone that have a simple lower case: İ, the title-case digraphs and
// the letter-like symbols that stand for Greek and Latin letters (ϴ, ẞ, Ω, K, Å).
// Those are the only differences allowed; any other is named.
TEST(Win32Text, LowerCasingMatchesCharLowerWForEveryUnit) {
    EXPECT_EQ(Win32Platform().CurrentProcessId(), GetCurrentProcessId());
    const std::set<uint32_t> unchangedByWine = {0x0130, 0x01C5, 0x01C8, 0x01CB, 0x01F2,
                                                0x03F4, 0x1E9E, 0x2126, 0x212A, 0x212B};
    std::string differences;
    int count = 0;
    for (uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        if (unchangedByWine.count(unit)) continue;
        const auto system = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(
                                CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit))))) &
                            0xFFFF;
        const uint32_t ours = LowerUnit(static_cast<char16_t>(unit));
        if (ours != system && ++count <= 40) {
            char row[48];
            std::snprintf(row, sizeof row, " U+%04X: ours %04X, CharLowerW %04X;", unit, ours,
                          system);
            differences += row;
        }
    }
    EXPECT_EQ(count, 0) << differences;
}

std::wstring TestFolder() {
    const std::wstring self = OwnPath();
    return self.substr(0, self.find_last_of(L'\\') + 1);
}

TEST(Win32Updater, TheUpdaterIsStartedInTheWorkingFolderWithoutWaiting) {
    ScratchFolder folder;
    Win32Platform platform;
    // Nothing called updater.exe beside this program or in the working folder.
    EXPECT_FALSE(platform.StartUpdater());
    ASSERT_TRUE(CopyFileW((TestFolder() + L"test_updater.exe").c_str(), L"updater.exe", FALSE));
    EXPECT_TRUE(platform.StartUpdater());
    const ULONGLONG end = GetTickCount64() + 20000;
    while (GetFileAttributesW(L"updater-ran.txt") == INVALID_FILE_ATTRIBUTES && GetTickCount64() < end) {
        Sleep(20);
    }
    EXPECT_NE(GetFileAttributesW(L"updater-ran.txt"), INVALID_FILE_ATTRIBUTES);
    // Let it end before its folder goes.
    for (int i = 0; i < 100 && !DeleteFileW(L"updater.exe"); ++i) Sleep(50);
}

TEST(Win32System, MemoryClocksAndProcessorAreSane) {
    Win32Platform platform;
    platform.InitServices();
    const MemoryStatus memory = platform.GetMemoryStatus();
    EXPECT_GT(memory.totalPhys, 0u);
    EXPECT_LE(memory.availPhys, memory.totalPhys);

    // The clock starts at start-up and never goes back.
    const int64_t first = platform.NowMs();
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 5000);
    int64_t last = first;
    for (int i = 0; i < 1000; ++i) {
        const int64_t now = platform.NowMs();
        EXPECT_GE(now, last);
        last = now;
    }
    // GetTickCount is the low 32 bits of the 64-bit count (taken a moment apart).
    const uint64_t uptime = platform.SystemUptimeMs();
    const uint32_t ticks = platform.TickCount();
    EXPECT_LE(static_cast<uint32_t>(ticks - static_cast<uint32_t>(uptime)), 1000u);

    const auto brand = platform.ProcessorBrand();
    ASSERT_TRUE(brand.has_value());
    EXPECT_LE(brand->size(), 48u);
    EXPECT_EQ(brand->find('\0'), std::string::npos);

    const PowerStatus power = platform.GetPowerStatus();
    EXPECT_TRUE(power.acLineStatus <= 1 || power.acLineStatus == 255);
    EXPECT_TRUE(power.batteryLifePercent <= 100 || power.batteryLifePercent == 255);

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const LocalTime local = platform.GetLocalTime();
    EXPECT_EQ(local.year, now.wYear);
    EXPECT_GE(local.month, 1);
    EXPECT_LE(local.month, 12);
    platform.ShutdownServices();
}

TEST(Win32Clipboard, TheClipboardHoldsExactlyTheText) {
    Win32Platform platform;
    const std::u16string text = u"notepad.exe: 3%; 12.50 MB. 2 of 57 \u00E9\u20AC\U0001F600";
    ASSERT_TRUE(platform.SetClipboardText(text));
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    std::wstring copied;
    if (data != nullptr) {
        copied = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(win32::FromWide(copied), text);
}

}  // namespace
}  // namespace tarrow::testing
