// Files by relative path (resolved against the working folder), and text in
// the system's ANSI code page.

#include "platform/win32/windows_api.hpp"

#include <climits>
#include <string>

#include "platform/text.hpp"
#include "platform/win32/handles.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace {

constexpr DWORD kChunk = 1 << 20;

// Bytes actually written; stops at the first failing write.
size_t WriteBytes(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = bytes.size() - done < kChunk ? static_cast<DWORD>(bytes.size() - done)
                                                         : kChunk;
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    return done;
}

class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(win32::UniqueHandle file) : file_(std::move(file)) {}
    size_t Write(std::string_view bytes) override {
        const size_t written = WriteBytes(file_.get(), bytes);
        if (written < bytes.size()) error_ = GetLastError();
        return written;
    }
    std::u16string FailureReason() const override {
        return error_ == ERROR_DISK_FULL || error_ == ERROR_HANDLE_DISK_FULL
                   ? std::u16string(u"the disk is full")
                   : u"Windows error " + Utf8ToUtf16(std::to_string(error_));
    }

private:
    win32::UniqueHandle file_;
    DWORD error_ = 0;
};

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A pipe or a device under a file's name is no file: reading or writing it could block.
bool OnDisk(HANDLE file) { return GetFileType(file) == FILE_TYPE_DISK; }

}  // namespace

FileReadResult Win32Platform::ReadFile(std::u16string_view path, size_t maxBytes) {
    const std::wstring name = win32::ToWide(path);
    FileReadResult result;
    // Nobody else may open the file while it is read.
    const win32::UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        result.status = IsMissing(GetLastError()) ? FileReadStatus::Missing
                                                  : FileReadStatus::Unreadable;
        return result;
    }
    if (!OnDisk(file.get())) {
        result.status = FileReadStatus::Unreadable;
        return result;
    }
    // The first maxBytes, and one byte more to tell whether anything lies beyond.
    std::string buffer(kChunk, '\0');
    while (result.bytes.size() <= maxBytes) {
        const size_t left = maxBytes - result.bytes.size();
        const DWORD want = left >= kChunk ? DWORD(kChunk) : DWORD(left + 1);
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), want, &got, nullptr)) {
            result.status = FileReadStatus::Unreadable;
            result.bytes.clear();
            return result;
        }
        if (got == 0) break;
        result.bytes.append(buffer.data(), got);
    }
    if (result.bytes.size() > maxBytes) {
        result.bytes.resize(maxBytes);
        result.cut = true;
    }
    result.status = FileReadStatus::Ok;
    return result;
}

bool Win32Platform::ReplaceFile(std::u16string_view path, std::string_view bytes) {
    const std::wstring name = win32::ToWide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A file we may not write stays as it is, even though a rename could replace it.
        if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
        const win32::UniqueHandle probe(CreateFileW(name.c_str(), GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe) return false;
    }
    // Written aside in the same folder, then renamed over the old file in one step.
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempFileNameW(FolderOf(name).c_str(), L"trw", 0, temp) == 0) return false;
    bool written = false;
    {
        const win32::UniqueHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        written = file && WriteBytes(file.get(), bytes) == bytes.size() &&
                  FlushFileBuffers(file.get());
    }
    if (!written ||
        !MoveFileExW(temp, name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp);
        return false;
    }
    return true;
}

std::unique_ptr<OutputFile> Win32Platform::OpenOutputFile(std::u16string_view path,
                                                          OutputMode mode) {
    const std::wstring name = win32::ToWide(path);
    // Append: no sharing, created when missing. Exclusive: replaced, others may only read.
    const DWORD share = mode == OutputMode::Append ? 0 : FILE_SHARE_READ;
    const DWORD disposition = mode == OutputMode::Append ? OPEN_ALWAYS : CREATE_ALWAYS;
    win32::UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share,
                                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !OnDisk(file.get())) return nullptr;
    if (mode == OutputMode::Append) {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return nullptr;
    }
    return std::make_unique<Win32OutputFile>(std::move(file));
}

bool Win32Platform::DeleteFile(std::u16string_view path) {
    return DeleteFileW(win32::ToWide(path).c_str()) != FALSE;
}

bool Win32Platform::RenameFile(std::u16string_view from, std::u16string_view to) {
    return MoveFileExW(win32::ToWide(from).c_str(), win32::ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::u16string Win32Platform::AnsiToUtf16(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return {};
    const int inputLength = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), inputLength, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), inputLength, wide.data(), units);
    return win32::FromWide(wide);
}

void Win32Platform::ReportFileProblem(std::u16string_view line) {
    // A windowed program has standard error only when its starter gave it one;
    // a debugger sees the line either way.
    const std::wstring text = L"Tarrow Desk: " + win32::ToWide(line) + L"\n";
    OutputDebugStringW(text.c_str());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    const std::string bytes = Utf16ToUtf8(win32::FromWide(text));
    DWORD written = 0;
    WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace tarrow
