// Drives the real tarrow-desk.exe for the smoke test under Wine: starts it,
// finds its hidden window, posts hotkey messages to it and reads what it said
// from the log of the test Tolk.dll. Every wait is bounded. Prints one line per
// check and ends with 0 when all passed.
//
//   driver.exe <tarrow-desk.exe> <speech log> [<a copy with no Tolk.dll beside it>]

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
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


size_t CountLines(const std::string& log, const std::string& wanted) {
    const std::vector<std::string> lines = LogLines(log);
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The file is a GUI program carrying its manifest and its version resource.
void CheckResources(const std::wstring& exe) {
    std::ifstream file(std::filesystem::path(exe), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    bool gui = false;
    if (bytes.size() >= sizeof dos) {
        std::memcpy(&dos, bytes.data(), sizeof dos);
        const auto at = static_cast<size_t>(dos.e_lfanew);
        if (at + sizeof nt <= bytes.size()) {
            std::memcpy(&nt, bytes.data() + at, sizeof nt);
            gui = nt.FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64 &&
                  nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
        }
    }
    Check(gui, "a 64-bit GUI program (no console window)");

    std::string manifest;
    if (const HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        if (const HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
            const HGLOBAL loaded = LoadResource(image, found);
            const auto* data = static_cast<const char*>(LockResource(loaded));
            if (data != nullptr) manifest.assign(data, SizeofResource(image, found));
        }
        FreeLibrary(image);
    }
    Check(Contains(manifest, ">true</dpiAware>"), "the manifest declares the program DPI-aware");
    Check(Contains(manifest, "Microsoft.Windows.Common-Controls") && Contains(manifest, "version=\"6.0.0.0\""),
          "the manifest asks for Common Controls 6");
    const char* systems[] = {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                             "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                             "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"};
    Check(std::all_of(std::begin(systems), std::end(systems), [&](const char* id) { return Contains(manifest, id); }),
          "the manifest lists Windows Vista to Windows 10");

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    std::vector<BYTE> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    wchar_t* product = nullptr;
    UINT length = 0;
    const bool read = size > 0 && GetFileVersionInfoW(exe.c_str(), 0, size, info.data()) &&
                      VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
                      VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                                     reinterpret_cast<void**>(&product), &length);
    Check(read && fixed->dwFileVersionMS == MAKELONG(0, 1) && fixed->dwFileVersionLS == MAKELONG(222, 7) &&
              Narrow(product) == "1.0.7, Build 222",
          "the version resource says 1.0.7, Build 222");
}

// A close request to the hidden window ends the program silently, with code 0.
void CheckCloseRequest(const std::wstring& exe, const std::string& log, size_t& seen) {
    Program program;
    Check(Start(exe, program), "a third copy starts");
    const HWND window = WaitForWindow(program.info.dwProcessId, nullptr, L"Tarrow Desk", kStartMs);
    if (window == nullptr) {
        Check(false, "its hidden window exists");
        return;
    }
    const std::string welcome = WaitForLine(log, seen, Spoken, kReplyMs);
    Check(welcome == "1\t" + kWelcome, "it says the welcome");
    const size_t removals = CountLines(log, "#tray delete 1");
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 0;
    Check(EndsWithCode(program, 0, code), "a close request ends it with code 0 (" + std::to_string(code) + ")");
    Check(WaitForLine(log, seen, Spoken, 0).empty(), "nothing is said on that road");
    Check(CountLines(log, "#tray delete 1") == removals + 1, "the tray icon was taken away");
}

// Without Tolk.dll the program speaks through SAPI; it still runs and ends cleanly.
void CheckWithoutTolk(const std::wstring& exe) {
    Program program;
    Check(Start(exe, program), "a copy without Tolk.dll starts");
    const HWND window = WaitForWindow(program.info.dwProcessId, nullptr, L"Tarrow Desk", kStartMs);
    Check(window != nullptr, "its hidden window exists");
    if (window == nullptr) return;
    PressHotkey(window, 0);
    DWORD code = 0;
    Check(EndsWithCode(program, 0, code), "its exit hotkey ends it with code 0 (" + std::to_string(code) + ")");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: driver.exe <tarrow-desk.exe> <speech log> [<copy without Tolk.dll>]\n");
        return 2;
    }
    const std::wstring exe = argv[1];
    const std::string log = Narrow(argv[2]);
    DeleteFileW(argv[2]);
    size_t seen = 0;
    CheckResources(exe);

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

    PressHotkey(window, 3);
    const std::string entry = WaitForLine(log, seen, Spoken, kReplyMs);
    const bool entryShape = entry.rfind("1\t", 0) == 0 && entry.find("%; ") != std::string::npos &&
                            entry.find(" of ") != std::string::npos;
    Check(entryShape, "next process speaks an entry: " + entry);
    PressHotkey(window, 12);
    const std::string sort = WaitForLine(log, seen, Spoken, kReplyMs);
    Check(sort == "1\tMemory", "the sort toggle says Memory: " + sort);

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

    CheckCloseRequest(exe, log, seen);
    if (argc > 3) CheckWithoutTolk(argv[3]);

    std::printf("%s\n", failures == 0 ? "smoke test passed" : "smoke test FAILED");
    return failures == 0 ? 0 : 1;
}
