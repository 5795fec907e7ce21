// The program's start finishes what a killed updater left: a swap half done in
// the program's own folder is undone before any file is read, unless an
// updater of that folder is still running it.

#include "platform/win32/windows_api.hpp"

#include <tlhelp32.h>

#include <filesystem>
#include <string>

#include "platform/win32/handles.hpp"
#include "platform/win32/win32_platform.hpp"
#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow {

namespace {

fs::path OwnFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return fs::path(buffer.substr(0, n)).parent_path();
        buffer.resize(buffer.size() * 2);
    }
}

// True when a process runs an updater from `folder` or below it (a running
// updater moved aside keeps its new path); one we may not inspect counts.
bool UpdaterRunsIn(const fs::path& folder) {
    const win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return true;
    const std::wstring prefix = folder.wstring() + L"\\";
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsnicmp(entry.szExeFile, L"updater", 7) != 0) continue;
        const win32::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH * 4];
        DWORD size = static_cast<DWORD>(std::size(image));
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &size)) return true;
        if (size >= prefix.size() &&
            CompareStringOrdinal(image, static_cast<int>(prefix.size()), prefix.c_str(),
                                 static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

}  // namespace

void FinishUnfinishedUpdate() {
    try {
        const fs::path own = OwnFolder();
        if (own.empty() || !updater::HasUnfinishedSwap(own) || UpdaterRunsIn(own)) return;
        updater::UndoUnfinishedSwap(own);
    } catch (const std::exception&) {
        // The updater's next start finishes it.
    }
}

}  // namespace tarrow
