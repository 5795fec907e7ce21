// Drives the real tarrow-desk.exe for the smoke test under Wine: starts it,
// finds its hidden window, posts hotkey messages to it and reads what it said
// from the log of the test Tolk.dll. Every wait is bounded. Prints one line per
// check and ends with 0 when all passed.
//
//   driver.exe <tarrow-desk.exe> <speech log> [--no-process-list]

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStartMs = 60000;  // first window of a program under Wine
constexpr DWORD kReplyMs = 20000;  // one spoken answer
constexpr DWORD kExitMs = 20000;   // the process ending

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
}

std::string Narrow(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();
    return out;
}

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Waits until the log holds more than `seen` lines and returns the first new
// one that `accept` takes; other lines are passed over. Empty on time-out.
template <typename Accept>
std::string WaitForLine(const std::string& log, size_t& seen, Accept accept, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (true) {
        const std::vector<std::string> lines = LogLines(log);
        for (; seen < lines.size(); ++seen) {
            if (accept(lines[seen])) return lines[seen++];
        }
        if (GetTickCount64() >= end) return {};
        Sleep(50);
    }
}

bool HasLine(const std::string& log, const std::string& wanted) {
    for (const std::string& line : LogLines(log)) {
        if (line == wanted) return true;
    }
    return false;
}

struct Program {
    PROCESS_INFORMATION info{};
    ~Program() {
        if (info.hProcess != nullptr) {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
};

bool Start(const std::wstring& exe, Program& program) {
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &program.info) != FALSE;
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;  // null: any
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search.pid) return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (std::wstring(text) != search.title) return TRUE;
    if (search.className != nullptr) {
        wchar_t name[256] = {};
        GetClassNameW(window, name, 256);
        if (std::wstring(name) != search.className) return TRUE;
    }
    search.found = window;
    return FALSE;
}

// A top-level window of that process with that title (and class), shown or not.
HWND WaitForWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (true) {
        WindowSearch search{pid, className, title, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (GetTickCount64() >= end) return nullptr;
        Sleep(50);
    }
}

// Asks the shell about the icon without changing it: true while it is there.
bool TrayIconPresent(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    data.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void PressHotkey(HWND window, int id) { PostMessageW(window, WM_HOTKEY, static_cast<WPARAM>(id), 0); }

bool EndsWithCode(Program& program, DWORD expected, DWORD& code) {
    if (WaitForSingleObject(program.info.hProcess, kExitMs) != WAIT_OBJECT_0) return false;
    code = 99;
    GetExitCodeProcess(program.info.hProcess, &code);
    return code == expected;
}

bool Spoken(const std::string& line) { return !line.empty() && line[0] != '#'; }

const std::string kWelcome = "Welcome to Tarrow version 1.0.7, Build 222!";
const std::string kExitFailure =
    "Unable To register the exit hotkey. The app will now exit. Please either make sure no "
    "other copies of the app are running, or make modifications as necessary to allow the "
    "app's hotkeys to work, change the modifier, unbind hotkeys in other applications, etc.";

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: driver.exe <tarrow-desk.exe> <speech log> [--no-process-list]\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const std::string log = Narrow(argv[2]);
    const bool processList = !(argc > 3 && std::wstring(argv[3]) == L"--no-process-list");
    DeleteFileW(argv[2]);
    size_t seen = 0;

    Program first;
    Check(Start(exe, first), "the program starts");
    const HWND window = WaitForWindow(first.info.dwProcessId, nullptr, L"Tarrow Desk", kStartMs);
    Check(window != nullptr, "its hidden window \"Tarrow Desk\" exists");
    if (window == nullptr) return 1;
    Check(!IsWindowVisible(window), "the hidden window is not shown");

    const std::string welcome = WaitForLine(log, seen, Spoken, kReplyMs);
    Check(welcome == "1\t" + kWelcome, "welcome spoken with interrupt: " + welcome);
    Check(HasLine(log, "#load") && HasLine(log, "#trysapi 1"),
          "Tolk_Load and Tolk_TrySAPI(true) were called");
    Check(TrayIconPresent(window), "the tray icon is in the notification area");

    PressHotkey(window, 29);
    const std::string repeated = WaitForLine(log, seen, Spoken, kReplyMs);
    Check(repeated == "0\t" + kWelcome, "repeat says the welcome again without interrupt: " + repeated);

    if (processList) {
        PressHotkey(window, 3);
        const std::string entry = WaitForLine(log, seen, Spoken, kReplyMs);
        const bool entryShape = entry.rfind("1\t", 0) == 0 && entry.find("%; ") != std::string::npos &&
                                entry.find(" of ") != std::string::npos;
        Check(entryShape, "next process speaks an entry: " + entry);
        PressHotkey(window, 12);
        const std::string sort = WaitForLine(log, seen, Spoken, kReplyMs);
        Check(sort == "1\tMemory", "the sort toggle says Memory: " + sort);
    } else {
        std::printf("skip next process and sort toggle (no process list in this build)\n");
    }

    // A second copy cannot take the exit hotkey: it says so in a box and ends.
    {
        Program second;
        Check(Start(exe, second), "a second copy starts");
        const HWND box = WaitForWindow(second.info.dwProcessId, L"#32770", L"Error", kStartMs);
        Check(box != nullptr, "the second copy shows a box titled Error");
        if (box != nullptr) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            Check(Narrow(text) == kExitFailure, "the box holds the exit hotkey message");
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        }
        DWORD code = 0;
        Check(EndsWithCode(second, 0, code), "the second copy ends with code 0 after OK (" +
                                                 std::to_string(code) + ")");
        Check(LogLines(log).size() == seen, "the second copy said nothing");
    }

    PressHotkey(window, 0);
    const std::string exiting = WaitForLine(log, seen, Spoken, kReplyMs);
    Check(exiting == "1\tExiting", "the exit hotkey says Exiting: " + exiting);
    DWORD code = 0;
    Check(EndsWithCode(first, 0, code), "the program ends with code 0 (" + std::to_string(code) + ")");
    Check(HasLine(log, "#tray delete 1"), "the program took its tray icon away");
    Check(!TrayIconPresent(window), "the tray icon is gone");

    std::printf("%s\n", failures == 0 ? "smoke test passed" : "smoke test FAILED");
    return failures == 0 ? 0 : 1;
}
