// Files by relative path, and the locale's character set.

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    size_t Write(std::string_view bytes) override {
        const size_t written = WriteAll(fd_.Get(), bytes);
        if (written < bytes.size()) error_ = errno;
        return written;
    }
    std::u16string FailureReason() const override {
        return Utf8ToUtf16(std::strerror(error_));
    }

private:
    UniqueFd fd_;
    int error_ = 0;
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Read-only as the user means it: no write permission for anyone. access()
// alone would let root replace a file marked read-only.
bool MayReplace(const std::string& name, const struct stat& existing) {
    if (!S_ISREG(existing.st_mode)) return false;
    if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return ::access(name.c_str(), W_OK) == 0;
}

// A link named by the user stays a link: the file it points at is replaced.
// Empty when the link leads nowhere.
std::string ResolveLink(const std::string& name) {
    struct stat link {};
    if (::lstat(name.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return name;
    std::unique_ptr<char, decltype(&std::free)> target(::realpath(name.c_str(), nullptr),
                                                        &std::free);
    return target ? std::string(target.get()) : std::string();
}

void SyncDirectory(const std::string& directory) {
    UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) ::fsync(fd.Get());
}

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) ::iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

void AppendUtf16Le(std::u16string& out, const char* bytes, size_t count) {
    for (size_t i = 0; i + 1 < count; i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
}

// The first maxBytes, and one byte more to tell whether anything lies beyond.
bool ReadUpTo(int fd, size_t maxBytes, FileReadResult& result) {
    std::string& out = result.bytes;
    char buffer[65536];
    while (out.size() <= maxBytes) {
        const size_t left = maxBytes - out.size();
        const size_t want = left >= sizeof buffer ? sizeof buffer : left + 1;
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    if (out.size() > maxBytes) {
        out.resize(maxBytes);
        result.cut = true;
    }
    return true;
}

}  // namespace

FileReadResult LinuxPlatform::ReadFile(std::u16string_view path, size_t maxBytes) {
    const std::string name = Utf16ToUtf8(path);
    FileReadResult result;
    // Non-blocking so that a FIFO under the name cannot hang the program.
    UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        result.status = errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Unreadable;
        return result;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.status = FileReadStatus::Unreadable;
        return result;
    }
    if (!ReadUpTo(fd.Get(), maxBytes, result)) {
        result.status = FileReadStatus::Unreadable;
        result.bytes.clear();
        return result;
    }
    result.status = FileReadStatus::Ok;
    return result;
}

bool LinuxPlatform::ReplaceFile(std::u16string_view path, std::string_view bytes) {
    const std::string name = ResolveLink(Utf16ToUtf8(path));
    if (name.empty()) return false;
    struct stat existing {};
    const bool exists = ::stat(name.c_str(), &existing) == 0;
    if (exists && !MayReplace(name, existing)) return false;

    const std::string directory = DirectoryOf(name);
    std::string temp = directory + ".tarrow-XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd.Valid()) return false;
    if (exists) {
        // Best effort: the new file keeps the old one's owner and permissions.
        [[maybe_unused]] const int owned = ::fchown(fd.Get(), existing.st_uid, existing.st_gid);
        ::fchmod(fd.Get(), existing.st_mode & 07777);
    } else {
        ::fchmod(fd.Get(), 0644);
    }
    // Until the rename the old file is untouched: a full disk or a crash
    // costs the new contents, never the old ones.
    const bool written = WriteAll(fd.Get(), bytes) == bytes.size() && ::fsync(fd.Get()) == 0 &&
                         fd.Close();
    if (!written || ::rename(temp.c_str(), name.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncDirectory(directory);
    return true;
}

std::unique_ptr<OutputFile> LinuxPlatform::OpenOutputFile(std::u16string_view path,
                                                          OutputMode mode) {
    const std::string name = Utf16ToUtf8(path);
    // Non-blocking, so that a FIFO under the name cannot hang the program; only
    // a regular file counts as one that opens.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    if (mode == OutputMode::Append) flags |= O_APPEND;
    const int fd = ::open(name.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    if (mode == OutputMode::Exclusive) {
        // One writer at a time, as the Windows share mode allows only readers. The lock
        // belongs to this open file, so a second writer in the same process is refused
        // too; the old contents go only once the lock is held.
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 || ::ftruncate(fd, 0) != 0) {
            ::close(fd);
            return nullptr;
        }
    }
    return std::make_unique<PosixOutputFile>(fd);
}

bool LinuxPlatform::DeleteFile(std::u16string_view path) {
    return ::unlink(Utf16ToUtf8(path).c_str()) == 0;
}

bool LinuxPlatform::RenameFile(std::u16string_view from, std::u16string_view to) {
    return ::rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) == 0;
}

void LinuxPlatform::ReportFileProblem(std::u16string_view line) {
    std::fprintf(stderr, "Tarrow Desk: %s\n", Utf16ToUtf8(line).c_str());
}

std::u16string LinuxPlatform::AnsiToUtf16(std::string_view bytes) {
    const char* codeset = ::nl_langinfo(CODESET);
    IconvHandle cd("UTF-16LE", codeset != nullptr && *codeset != '\0' ? codeset : "ASCII");
    if (!cd.valid()) return Utf8ToUtf16(bytes);  // a character set iconv does not know

    std::u16string out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t converted = ::iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        AppendUtf16Le(out, buffer, static_cast<size_t>(outPtr - buffer));
        if (converted != static_cast<size_t>(-1)) continue;
        if (error == E2BIG && outPtr != buffer) continue;
        // An invalid or cut-off sequence: one replacement character per byte skipped.
        out.push_back(u'\uFFFD');
        ++in;
        --inLeft;
        ::iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    ::iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    AppendUtf16Le(out, buffer, static_cast<size_t>(outPtr - buffer));
    return out;
}

}  // namespace tarrow
