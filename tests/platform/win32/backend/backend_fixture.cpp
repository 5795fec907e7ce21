#include "platform/win32/backend/backend_fixture.hpp"

#include <cstring>
#include <vector>

namespace tarrow::testing {

ScratchFolder::ScratchFolder() {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    previous_ = current;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"tarrow-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    for (int n = 0; !CreateDirectoryW(path_.c_str(), nullptr); ++n) path_ += L"x";
    SetCurrentDirectoryW(path_.c_str());
}

ScratchFolder::~ScratchFolder() {
    SetCurrentDirectoryW(previous_.c_str());
    for (const std::wstring& name : Files()) {
        const std::wstring full = path_ + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
    }
    RemoveDirectoryW(path_.c_str());
}

std::vector<std::wstring> ScratchFolder::Files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::string ReadWhole(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteWhole(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

namespace {

struct Search {
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (std::wstring(text) != search.title) return TRUE;
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    if (search.className != nullptr && std::wstring(name) != search.className) return TRUE;
    search.found = window;
    return FALSE;
}

NotifyIconRecorder* activeRecorder = nullptr;

// The slot of the program's import of shell32's Shell_NotifyIconW, or null.
ULONG_PTR* NotifyIconImport() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "shell32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "Shell_NotifyIconW") == 0) {
                return &slots->u1.Function;
            }
        }
    }
    return nullptr;
}

void WriteSlot(ULONG_PTR* slot, ULONG_PTR value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

NotifyIconRecorder::NotifyIconRecorder() {
    ULONG_PTR* slot = NotifyIconImport();
    if (slot == nullptr || activeRecorder != nullptr) return;
    real_ = reinterpret_cast<Function>(*slot);
    activeRecorder = this;
    WriteSlot(slot, reinterpret_cast<ULONG_PTR>(&Record));
}

NotifyIconRecorder::~NotifyIconRecorder() {
    if (real_ == nullptr) return;
    if (ULONG_PTR* slot = NotifyIconImport()) WriteSlot(slot, reinterpret_cast<ULONG_PTR>(real_));
    activeRecorder = nullptr;
}

std::vector<NotifyIconRecorder::Call> NotifyIconRecorder::Calls(DWORD message) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
        if (call.message == message) found.push_back(call);
    }
    return found;
}

BOOL WINAPI NotifyIconRecorder::Record(DWORD message, PNOTIFYICONDATAW data) {
    NotifyIconRecorder& recorder = *activeRecorder;
    BOOL result = FALSE;
    if (message == NIM_ADD && recorder.refuseAdds > 0) {
        --recorder.refuseAdds;
    } else {
        result = recorder.real_(message, data);
    }
    const bool tip = (data->uFlags & NIF_TIP) != 0;
    recorder.calls.push_back({message, data->uFlags, tip ? std::wstring(data->szTip) : L"", result != FALSE});
    return result;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (true) {
        Search search{className, title, nullptr};
        EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount64() >= end) return search.found;
        Sleep(20);
    }
}

}  // namespace tarrow::testing
