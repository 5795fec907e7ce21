// Message boxes and the input prompt, answered by a helper thread the way a
// user would: the buttons, Enter, Escape and closing the window.

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "platform/win32/backend/backend_fixture.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow::testing {
namespace {

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Presses a button of the box titled `caption` once it is up; records its text.
void Answer(const wchar_t* caption, int button, std::wstring* text) {
    const HWND box = WaitForWindow(L"#32770", caption);
    if (box == nullptr) return;
    if (text != nullptr) *text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

TEST(Win32Dialogs, MessageBoxesReturnTheButtonPressed) {
    Win32Platform platform;
    std::wstring text;
    {
        Helper user([&] { Answer(L"Alert", IDYES, &text); });
        EXPECT_EQ(platform.ShowMessage(u"Alert", u"Are you sure you wish to end notepad.exe?", kMbYesNo),
                  kIdYes);
    }
    EXPECT_EQ(text, L"Are you sure you wish to end notepad.exe?");
    {
        Helper user([] { Answer(L"Alert", IDNO, nullptr); });
        EXPECT_EQ(platform.ShowMessage(u"Alert", u"Again?", kMbYesNo), kIdNo);
    }
    {
        Helper user([] { Answer(L"Error", IDOK, nullptr); });
        EXPECT_EQ(platform.ShowMessage(u"Error", u"Unable To register the next process hotkey.", kMbOk),
                  kIdOk);
    }
}

TEST(Win32Dialogs, AWorkerThreadCanAskToo) {
    Win32Platform platform;
    int answer = 0;
    Helper user([] { Answer(L"Alert", IDYES, nullptr); });
    std::thread worker([&] { answer = platform.ShowMessage(u"Alert", u"Download it now?", kMbYesNo); });
    worker.join();
    EXPECT_EQ(answer, kIdYes);
}

struct PromptLayout {
    int width = 0, height = 0;
    RECT label{}, edit{}, button{};
    std::wstring defaultText;
    DWORD selectionStart = 0, selectionEnd = 0;
};

RECT ClientRectOf(HWND parent, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND Child(HWND parent, const wchar_t* className) {
    return FindWindowExW(parent, nullptr, className, nullptr);
}

// Waits for the prompt, reads its layout, then finishes it with `finish`.
void UsePrompt(PromptLayout* layout, void (*finish)(HWND prompt, HWND edit)) {
    const HWND prompt = WaitForWindow(nullptr, L"Find process");
    if (prompt == nullptr) return;
    const HWND edit = Child(prompt, L"Edit");
    if (layout != nullptr) {
        RECT outer{};
        GetWindowRect(prompt, &outer);
        layout->width = outer.right - outer.left;
        layout->height = outer.bottom - outer.top;
        layout->label = ClientRectOf(prompt, Child(prompt, L"Static"));
        layout->edit = ClientRectOf(prompt, edit);
        layout->button = ClientRectOf(prompt, Child(prompt, L"Button"));
        layout->defaultText = TextOf(edit);
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&layout->selectionStart),
                     reinterpret_cast<LPARAM>(&layout->selectionEnd));
    }
    finish(prompt, edit);
}

int Scaled(int units, int dpi) { return static_cast<int>(std::lround(units * dpi / 96.0)); }

TEST(Win32Dialogs, ThePromptHasItsLayoutAndEnterGivesTheEditedText) {
    Win32Platform platform;
    platform.InitServices();
    PromptLayout layout;
    std::u16string result;
    {
        Helper user([&] {
            UsePrompt(&layout, [](HWND, HWND edit) {
                SetWindowTextW(edit, L"notepad");
                PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
            });
        });
        result = platform.PromptText(u"Find process", u"Enter the name of a process", u"explorer");
    }
    EXPECT_EQ(result, u"notepad");
    EXPECT_EQ(layout.defaultText, L"explorer");
    // The caret after the default text, nothing selected.
    EXPECT_EQ(layout.selectionStart, 8u);
    EXPECT_EQ(layout.selectionEnd, 8u);

    const HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(layout.width, Scaled(500, dpiX));
    EXPECT_EQ(layout.height, Scaled(140, dpiY));
    EXPECT_EQ(layout.label.left, Scaled(10, dpiX));
    EXPECT_EQ(layout.label.top, Scaled(10, dpiY));
    EXPECT_EQ(layout.label.right - layout.label.left, Scaled(480, dpiX));
    EXPECT_EQ(layout.edit.left, Scaled(10, dpiX));
    EXPECT_EQ(layout.edit.top, Scaled(32, dpiY));
    EXPECT_EQ(layout.edit.right - layout.edit.left, Scaled(465, dpiX));
    EXPECT_EQ(layout.edit.bottom - layout.edit.top, Scaled(21, dpiY));
    EXPECT_EQ(layout.button.left, Scaled(210, dpiX));
    EXPECT_EQ(layout.button.top, Scaled(67, dpiY));
    EXPECT_EQ(layout.button.right - layout.button.left, Scaled(80, dpiX));
    EXPECT_EQ(layout.button.bottom - layout.button.top, Scaled(25, dpiY));
    platform.ShutdownServices();
}

TEST(Win32Dialogs, TheOkButtonAlsoGivesTheText) {
    Win32Platform platform;
    Helper user([] {
        UsePrompt(nullptr, [](HWND prompt, HWND) {
            const HWND ok = Child(prompt, L"Button");
            PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
        });
    });
    EXPECT_EQ(platform.PromptText(u"Find process", u"Name", u"svchost"), u"svchost");
}

TEST(Win32Dialogs, EscapeAndClosingGiveTheEmptyText) {
    Win32Platform platform;
    {
        Helper user([] {
            UsePrompt(nullptr, [](HWND, HWND edit) { PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0); });
        });
        EXPECT_EQ(platform.PromptText(u"Find process", u"Name", u"svchost"), u"");
    }
    {
        Helper user([] {
            UsePrompt(nullptr, [](HWND prompt, HWND) { PostMessageW(prompt, WM_CLOSE, 0, 0); });
        });
        EXPECT_EQ(platform.PromptText(u"Find process", u"Name", u"svchost"), u"");
    }
    // Each prompt is gone once it has answered.
    EXPECT_EQ(FindWindowW(nullptr, L"Find process"), nullptr);
}

}  // namespace
}  // namespace tarrow::testing
