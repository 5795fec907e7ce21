// Tolk.dll for the smoke test: it speaks nothing and instead appends every
// call to a log file, one UTF-8 line each, for the driver to read:
//   "#load", "#trysapi <0|1>", "<interrupt 0|1>\t<text>",
//   "#tray delete <result 0|1>" when the program takes its tray icon away.
// The log is TARROW_SPEECH_LOG, or speech.log in the working folder.
// The tray call is observed by patching the program's import of
// Shell_NotifyIconW once loaded; the call still goes to the shell.

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

namespace {

CRITICAL_SECTION logLock;

std::wstring LogPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"TARROW_SPEECH_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"speech.log";
    return path;
}

std::string Utf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();
    return out;
}

void AppendLine(const std::string& line) {
    EnterCriticalSection(&logLock);
    const HANDLE file = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::string data = line + "\n";
        DWORD written = 0;
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&logLock);
}

using NotifyIcon = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
NotifyIcon realNotifyIcon = nullptr;

BOOL WINAPI RecordingNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    const BOOL result = realNotifyIcon(message, data);
    if (message == NIM_DELETE) AppendLine(std::string("#tray delete ") + (result ? "1" : "0"));
    return result;
}

// Points the program's import of Shell_NotifyIconW at RecordingNotifyIcon.
void PatchTrayImport() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "shell32.dll") != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "Shell_NotifyIconW") != 0) {
                continue;
            }
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) {
                return;
            }
            realNotifyIcon = reinterpret_cast<NotifyIcon>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&RecordingNotifyIcon);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return;
        }
    }
}

}  // namespace

extern "C" {

__declspec(dllexport) void Tolk_Load() {
    PatchTrayImport();
    AppendLine("#load");
}

__declspec(dllexport) void Tolk_TrySAPI(bool trySapi) {
    AppendLine(std::string("#trysapi ") + (trySapi ? "1" : "0"));
}

__declspec(dllexport) bool Tolk_Output(const wchar_t* text, bool interrupt) {
    AppendLine(std::string(interrupt ? "1" : "0") + "\t" + Utf8(text != nullptr ? text : L""));
    return true;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&logLock);
    return TRUE;
}
