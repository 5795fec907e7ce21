// The updater on Windows: the toolhelp snapshot tells whether the program still
// runs, MessageBoxW shows the failure, CreateProcessW starts the program again.

#include "platform/win32/handles.hpp"

#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

using win32::UniqueHandle;

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::wstring ImagePath(DWORD pid) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t buffer[MAX_PATH * 4];
    DWORD size = static_cast<DWORD>(std::size(buffer));
    if (!QueryFullProcessImageNameW(process.get(), 0, buffer, &size)) return {};
    return std::wstring(buffer, size);
}

class Win32Updater final : public UpdaterSystem {
public:
    fs::path OwnFolder() override {
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0) return fs::current_path();
            if (n < buffer.size()) return fs::path(buffer.substr(0, n)).parent_path();
            buffer.resize(buffer.size() * 2);
        }
    }

    std::string ProgramName() override { return "tarrow-desk.exe"; }

    bool ProgramRunning(const fs::path& program) override {
        UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return false;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        const std::wstring wanted = program.wstring();
        const std::wstring name = program.filename().wstring();
        const DWORD self = GetCurrentProcessId();
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            if (entry.th32ProcessID == self || _wcsicmp(entry.szExeFile, name.c_str()) != 0)
                continue;
            const std::wstring image = ImagePath(entry.th32ProcessID);
            // A process we may not inspect counts as ours: waiting is the safe side.
            if (image.empty() || CompareStringOrdinal(image.c_str(), -1, wanted.c_str(), -1, TRUE) ==
                                     CSTR_EQUAL)
                return true;
        }
        return false;
    }

    void SleepMs(int ms) override { Sleep(static_cast<DWORD>(ms)); }

    void ShowFailure(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
        MessageBoxW(nullptr, Wide(text).c_str(), L"Tarrow update", MB_OK | MB_ICONERROR);
    }

    bool StartProgram(const fs::path& program) override {
        std::wstring commandLine = L"\"" + program.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
            return false;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
};

}  // namespace

}  // namespace tarrow::updater

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tarrow::updater::Win32Updater system;
    return tarrow::updater::RunUpdater(system);
}
