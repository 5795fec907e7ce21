// The hidden window and the waits: what each message becomes, in which order
// the window procedure's events come out, the exit request from another
// thread, the tray icon (also across a new taskbar) and its menu, and hotkey
// registration.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/win32/backend/backend_fixture.hpp"
#include <shellapi.h>
#include "platform/win32/win32_platform.hpp"
#include "platform/win32/window_session.hpp"

namespace tarrow::testing {
namespace {

constexpr wchar_t kTitle[] = L"Tarrow Desk under test";

class Win32Events : public ::testing::Test {
protected:
    void SetUp() override {
        platform.CreateHiddenWindow(u"Tarrow Desk under test");
        window = FindWindowW(nullptr, kTitle);
        ASSERT_NE(window, nullptr);
        Drain();
    }
    void TearDown() override { platform.ShutdownServices(); }

    // Takes whatever start-up left in the queue.
    void Drain() {
        for (int i = 0; i < 1000 && platform.WaitEvent(0).kind != EventKind::None; ++i) {
        }
    }

    // The next event that is not Other, waiting at most about two seconds.
    Event NextEvent() {
        for (int i = 0; i < 100; ++i) {
            const Event event = platform.WaitEvent(20);
            if (event.kind != EventKind::Other && event.kind != EventKind::None) return event;
        }
        return {};
    }

    Win32Platform platform;
    HWND window = nullptr;
};

bool TrayIconPresent(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST_F(Win32Events, TheWindowIsNeverShownAndAnEmptyQueueYieldsNone) {
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::None);
    EXPECT_EQ(platform.WaitEvent(5).kind, EventKind::None);
}

TEST_F(Win32Events, HotkeyMessagesCarryTheirId) {
    PostMessageW(window, WM_HOTKEY, 29, 0);
    const Event event = platform.WaitEvent(0);
    EXPECT_EQ(event.kind, EventKind::Hotkey);
    EXPECT_EQ(event.id, 29);
}

TEST_F(Win32Events, CloseAndMenuComeFromTheWindowBeforeAnyNewMessage) {
    PostMessageW(window, WM_HOTKEY, 3, 0);
    SendMessageW(window, WM_CLOSE, 0, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, 0), 0);
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::Close);
    const Event menu = platform.WaitEvent(0);
    EXPECT_EQ(menu.kind, EventKind::Menu);
    EXPECT_EQ(menu.id, 0);
    const Event hotkey = platform.WaitEvent(0);
    EXPECT_EQ(hotkey.kind, EventKind::Hotkey);
    EXPECT_EQ(hotkey.id, 3);
    // The close request does not close the window: the loop decides.
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(Win32Events, ACloseRequestSentDuringALongWaitEndsIt) {
    // Sent, not posted: the window procedure runs inside the wait, which must
    // then hand out its event instead of sleeping on to the timeout.
    std::thread sender([this] { SendMessageW(window, WM_CLOSE, 0, 0); });
    const ULONGLONG start = GetTickCount64();
    const Event event = platform.WaitEvent(10000);
    const ULONGLONG waited = GetTickCount64() - start;
    sender.join();
    EXPECT_EQ(event.kind, EventKind::Close);
    EXPECT_LT(waited, 5000u);
}

TEST_F(Win32Events, AnExitRequestFromAWorkerWakesTheWait) {
    std::thread worker([this] { platform.PostExitRequest(); });
    worker.join();
    EXPECT_EQ(NextEvent().kind, EventKind::ExitRequest);
}

TEST_F(Win32Events, AnExitRequestStillArrivesOnceTheWindowIsClosed) {
    platform.CloseHiddenWindow();
    EXPECT_FALSE(IsWindow(window));
    std::thread worker([this] { platform.PostExitRequest(); });
    worker.join();
    EXPECT_EQ(NextEvent().kind, EventKind::ExitRequest);
}

TEST_F(Win32Events, TheTrayIconComesAndGoes) {
    platform.AddTrayIcon(u"Tarrow");
    EXPECT_TRUE(TrayIconPresent(window));
    // Longer than the shell's field would allow for a 64-unit text.
    platform.SetTrayTooltip(std::u16string(200, u'x'));
    EXPECT_TRUE(TrayIconPresent(window));
    platform.RemoveTrayIcon();
    EXPECT_FALSE(TrayIconPresent(window));
}

TEST_F(Win32Events, ShutdownTakesTheTrayIconAway) {
    platform.AddTrayIcon(u"Tarrow");
    ASSERT_TRUE(TrayIconPresent(window));
    platform.ShutdownServices();
    EXPECT_FALSE(TrayIconPresent(window));
}

// What Explorer broadcasts when it has made a new taskbar.
void PostTaskbarCreated(HWND window) {
    PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

NOTIFYICONDATAW TrayIconOf(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    return data;
}

constexpr wchar_t kSummary[] = L"Tarrow: 87 processes, CPU 12%, memory 41%";

TEST_F(Win32Events, ANewTaskbarGetsTheIconAgainOnceWithTheCurrentTooltip) {
    NotifyIconRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    platform.AddTrayIcon(u"Tarrow");
    platform.SetTrayTooltip(u"Tarrow: 87 processes, CPU 12%, memory 41%");
    // Explorer restarts: its new taskbar has none of the old icons.
    NOTIFYICONDATAW icon = TrayIconOf(window);
    ASSERT_TRUE(recorder.Real(NIM_DELETE, icon));
    recorder.calls.clear();
    PostTaskbarCreated(window);
    Drain();
    const auto adds = recorder.Calls(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_TRUE(adds[0].result);
    EXPECT_EQ(adds[0].flags, static_cast<UINT>(NIF_ICON | NIF_MESSAGE | NIF_TIP));
    EXPECT_EQ(adds[0].tip, kSummary);
    EXPECT_TRUE(recorder.Real(NIM_MODIFY, icon));

    // Removing it at the end is as it was: one delete, and it is gone.
    recorder.calls.clear();
    platform.RemoveTrayIcon();
    const auto deletes = recorder.Calls(NIM_DELETE);
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_TRUE(deletes[0].result);
    EXPECT_FALSE(recorder.Real(NIM_MODIFY, icon));
}

TEST_F(Win32Events, ATaskbarRebuiltAroundTheIconLeavesOneIconWithTheCurrentTooltip) {
    NotifyIconRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    platform.AddTrayIcon(u"Tarrow");
    platform.SetTrayTooltip(u"Tarrow: 87 processes, CPU 12%, memory 41%");
    recorder.calls.clear();
    PostTaskbarCreated(window);
    Drain();
    // The shell still holds the icon, so the add is refused and the icon is updated.
    const auto adds = recorder.Calls(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_FALSE(adds[0].result);
    const auto modifies = recorder.Calls(NIM_MODIFY);
    ASSERT_EQ(modifies.size(), 1u);
    EXPECT_TRUE(modifies[0].result);
    EXPECT_EQ(modifies[0].tip, kSummary);
    recorder.calls.clear();
    platform.RemoveTrayIcon();
    ASSERT_EQ(recorder.Calls(NIM_DELETE).size(), 1u);
    EXPECT_TRUE(recorder.Calls(NIM_DELETE)[0].result);
}

TEST_F(Win32Events, AnIconRefusedAtStartComesWithTheTaskbar) {
    // Started at sign-in before the taskbar was there.
    NotifyIconRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    recorder.refuseAdds = 1;
    platform.AddTrayIcon(u"Tarrow");
    NOTIFYICONDATAW icon = TrayIconOf(window);
    ASSERT_FALSE(recorder.Real(NIM_MODIFY, icon));
    platform.SetTrayTooltip(u"Tarrow: 87 processes, CPU 12%, memory 41%");
    recorder.calls.clear();
    PostTaskbarCreated(window);
    Drain();
    const auto adds = recorder.Calls(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_TRUE(adds[0].result);
    EXPECT_EQ(adds[0].tip, kSummary);
    EXPECT_TRUE(recorder.Real(NIM_MODIFY, icon));
    platform.RemoveTrayIcon();
    EXPECT_FALSE(recorder.Real(NIM_MODIFY, icon));
}

TEST_F(Win32Events, ANewTaskbarBringsNoIconBeforeItIsAddedOrAfterItIsRemoved) {
    NotifyIconRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    PostTaskbarCreated(window);
    Drain();
    platform.AddTrayIcon(u"Tarrow");
    platform.RemoveTrayIcon();
    recorder.calls.clear();
    PostTaskbarCreated(window);
    Drain();
    EXPECT_TRUE(recorder.calls.empty());
    // Nor one the shell refused at start and the program then removed.
    recorder.refuseAdds = 1;
    platform.AddTrayIcon(u"Tarrow");
    platform.RemoveTrayIcon();
    recorder.calls.clear();
    PostTaskbarCreated(window);
    Drain();
    EXPECT_TRUE(recorder.calls.empty());
    NOTIFYICONDATAW icon = TrayIconOf(window);
    EXPECT_FALSE(recorder.Real(NIM_MODIFY, icon));
}

TEST_F(Win32Events, ARightClickOnTheIconOpensTheMenuWhoseItemBecomesAMenuEvent) {
    platform.AddTrayIcon(u"Tarrow");
    platform.CreateTrayMenu(0, u"Exit");
    {
        // While the menu is open on this thread, choose its one item by keyboard.
        Helper chooser([this] {
            const HWND menu = WaitForWindow(L"#32768", L"", 10000);
            if (menu == nullptr) return;
            PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        });
        SendMessageW(window, win32::kTrayCallbackMessage, 0, WM_RBUTTONUP);
    }
    const Event event = NextEvent();
    EXPECT_EQ(event.kind, EventKind::Menu);
    EXPECT_EQ(event.id, 0);
}

TEST_F(Win32Events, LeftClicksOnTheIconDoNothing) {
    platform.AddTrayIcon(u"Tarrow");
    platform.CreateTrayMenu(0, u"Exit");
    SendMessageW(window, win32::kTrayCallbackMessage, 0, WM_LBUTTONUP);
    SendMessageW(window, win32::kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(NextEvent().kind, EventKind::None);
}

TEST(Win32Tray, TheTooltipIsCutToSixtyThreeUnits) {
    wchar_t field[128];
    std::fill(std::begin(field), std::end(field), L'#');
    win32::FillTooltip(field, u"Tarrow");
    EXPECT_EQ(std::wstring(field), L"Tarrow");

    const std::u16string summary = u"Tarrow: 123 processes, 45% CPU " + std::u16string(100, u'x');
    win32::FillTooltip(field, summary);
    EXPECT_EQ(std::wstring(field).size(), 63u);
    EXPECT_EQ(std::u16string(field, field + 63), summary.substr(0, 63));
    // The rest of the field is untouched past the terminating zero.
    EXPECT_EQ(field[64], L'#');

    win32::FillTooltip(field, std::u16string(63, u'y'));
    EXPECT_EQ(std::wstring(field), std::wstring(63, L'y'));
}

TEST_F(Win32Events, AKeyCombinationCanBeTakenOnlyOnce) {
    constexpr uint32_t kAll = kModControl | kModAlt | kModShift | kModWin;
    EXPECT_TRUE(platform.RegisterHotkey(40, kAll, 0x7B, u"F12"));
    EXPECT_FALSE(platform.RegisterHotkey(41, kAll, 0x7B, u"F12 again"));
    UnregisterHotKey(window, 40);
}

TEST_F(Win32Events, TheLayoutNameIsEightHexDigits) {
    const std::u16string name = platform.KeyboardLayoutName();
    ASSERT_EQ(name.size(), 8u);
    for (const char16_t unit : name) EXPECT_TRUE(std::isxdigit(static_cast<int>(unit)));
}

}  // namespace
}  // namespace tarrow::testing
