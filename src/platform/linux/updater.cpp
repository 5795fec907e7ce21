// Starting the updater: the program file "updater" from our own folder, else
// from the working directory; detached, without arguments, with our
// environment and working directory, never waited for.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/linux/linux_platform.hpp"

extern char** environ;

namespace tarrow {

namespace {

constexpr const char* kUpdaterName = "updater";

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool valid() const { return fds_[0] >= 0; }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void CloseRead() { Close(fds_[0]); }
    void CloseWrite() { Close(fds_[1]); }

private:
    static void Close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string OwnFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    const std::string exe(buffer, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

// The same search a bare file name gets on Windows: our own folder, then the
// working directory. The working directory's copy is named by its full path so
// that exec does not search PATH.
std::string FindUpdater() {
    const std::string own = OwnFolder();
    if (!own.empty() && IsExecutableFile(own + kUpdaterName)) return own + kUpdaterName;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) != nullptr) {
        std::string here = std::string(cwd) + "/" + kUpdaterName;
        if (IsExecutableFile(here)) return here;
    }
    return {};
}

// Runs in the grandchild, between fork and exec: async-signal-safe calls only.
[[noreturn]] void ExecUpdater(const char* path, int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    // Like a Windows child that inherits no handles: nothing but the standard
    // three outlives the exec (the error pipe is close-on-exec already).
#ifdef SYS_close_range
    syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
#endif
    char* const argv[] = {const_cast<char*>(path), nullptr};
    execve(path, argv, environ);
    const int error = errno;
    (void)!::write(errorPipe, &error, sizeof error);
    _exit(127);
}

}  // namespace

bool LinuxPlatform::StartUpdater() {
    const std::string path = FindUpdater();
    if (path.empty()) return false;
    Pipe errors;
    if (!errors.valid()) return false;

    // Fork twice: the updater becomes a child of init in a session of its own, and
    // the short-lived middle process is reaped here, so no zombie is left behind.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
        ::setsid();
        const pid_t updater = ::fork();
        if (updater == 0) ExecUpdater(path.c_str(), errors.write());
        _exit(updater < 0 ? 1 : 0);
    }
    errors.CloseWrite();
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    // The pipe closes without a word when exec succeeded.
    int error = 0;
    ssize_t n;
    while ((n = ::read(errors.read(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return n == 0;
}

}  // namespace tarrow
