#pragma once
// An owned file descriptor, closed when it goes, and whole reads and writes
// that go on after a signal interrupts them.

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace tarrow {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Close(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool Close() {
        const int fd = Release();
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

struct ReadResult {
    size_t count = 0;     // bytes read
    bool failed = false;  // an error stopped the reading
};

// Reads until `size` bytes are in, the input ends or an error stops it.
inline ReadResult ReadFull(int fd, void* data, size_t size) {
    ReadResult result;
    while (result.count < size) {
        const ssize_t n = ::read(fd, static_cast<char*>(data) + result.count, size - result.count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result.failed = true;
        if (n <= 0) break;
        result.count += static_cast<size_t>(n);
    }
    return result;
}

// Reads the input to its end, appending it to `out` until `out` holds `keep`
// bytes (the rest is read and dropped); false when an error stopped it.
inline bool ReadAll(int fd, std::string& out, size_t keep = std::string::npos) {
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() < keep) out.append(buffer, static_cast<size_t>(n));
    }
}

// Writes all of `bytes` unless an error stops it; the count written.
inline size_t WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace tarrow
