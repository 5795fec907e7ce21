#pragma once
// Helpers for the tests of the Windows backend against the real API (run
// under Wine on the build machine): a scratch working folder, and a look-out
// for the windows that a modal call opens on the thread under test.

#include "platform/win32/windows_api.hpp"

#include <shellapi.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tarrow::testing {

// A fresh folder that is the working folder while the object lives.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Names of the files in it.
    std::vector<std::wstring> Files() const;

private:
    std::wstring previous_;
    std::wstring path_;
};

std::string ReadWhole(const std::wstring& path);
void WriteWhole(const std::wstring& path, const std::string& bytes);

// A top-level window of this process with that title (and class, unless null);
// waits at most timeoutMs.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs = 10000);

// While it lives, every Shell_NotifyIconW call of this program (the backend's
// included) is written down and then passed on to the shell, through a patch of
// the program's import. `refuseAdds` makes that many next NIM_ADD calls fail
// without reaching the shell, as when there is no taskbar yet. One at a time.
class NotifyIconRecorder {
public:
    struct Call {
        DWORD message;
        UINT flags;
        std::wstring tip;
        bool result;
    };

    NotifyIconRecorder();
    ~NotifyIconRecorder();
    NotifyIconRecorder(const NotifyIconRecorder&) = delete;
    NotifyIconRecorder& operator=(const NotifyIconRecorder&) = delete;

    bool Installed() const { return real_ != nullptr; }
    // The shell itself, past the record.
    BOOL Real(DWORD message, NOTIFYICONDATAW& data) const { return real_(message, &data); }
    // The calls with that message so far.
    std::vector<Call> Calls(DWORD message) const;

    std::vector<Call> calls;
    int refuseAdds = 0;

private:
    using Function = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    static BOOL WINAPI Record(DWORD message, PNOTIFYICONDATAW data);
    Function real_ = nullptr;
};

// Runs `act` on another thread while the test thread is in a modal call; the
// thread is joined when the object goes.
class Helper {
public:
    explicit Helper(std::function<void()> act) : thread_(std::move(act)) {}
    ~Helper() { thread_.join(); }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

private:
    std::thread thread_;
};

}  // namespace tarrow::testing
