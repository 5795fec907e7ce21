// Files by relative path, and the locale's character set.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/linux_platform.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    size_t Write(std::string_view bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

private:
    FileDescriptor fd_;
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

FileReadResult LinuxPlatform::ReadFile(std::u16string_view path) {
    const std::string name = Utf16ToUtf8(path);
    FileReadResult result;
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        result.status = errno == ENOENT ? FileReadStatus::Missing : FileReadStatus::Unreadable;
        return result;
    }
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.status = FileReadStatus::Unreadable;
            result.bytes.clear();
            return result;
        }
        if (n == 0) break;
        result.bytes.append(buffer, static_cast<size_t>(n));
    }
    result.status = FileReadStatus::Ok;
    return result;
}

bool LinuxPlatform::ReplaceFile(std::u16string_view path, std::string_view bytes) {
    const std::string name = Utf16ToUtf8(path);
    struct stat existing {};
    const bool exists = ::stat(name.c_str(), &existing) == 0;
    if (exists) {
        // A file we may not write stays as it is, even though a rename could replace it.
        if (::access(name.c_str(), W_OK) != 0) return false;
    }
    std::string temp = DirectoryOf(name) + ".tarrow-XXXXXX";
    FileDescriptor fd(::mkstemp(temp.data()));
    if (!fd.valid()) return false;
    ::fchmod(fd.get(), exists ? (existing.st_mode & 07777) : 0644);
    const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.Close();
    if (!written || ::rename(temp.c_str(), name.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<OutputFile> LinuxPlatform::OpenOutputFile(std::u16string_view path,
                                                          OutputMode mode) {
    const std::string name = Utf16ToUtf8(path);
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (mode == OutputMode::Append) flags |= O_APPEND;
    const int fd = ::open(name.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
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

std::u16string LinuxPlatform::AnsiToUtf16(std::string_view bytes) {
    // Placeholder: treated as UTF-8 until the locale conversion lands.
    return Utf8ToUtf16(bytes);
}

}  // namespace tarrow
