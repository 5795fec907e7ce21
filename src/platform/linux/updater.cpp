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
#include <filesystem>
#include <string>

#include "platform/linux/child_process.hpp"
#include "platform/linux/install_folders.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/unique_fd.hpp"
#include "updater/updater.hpp"

extern char** environ;

namespace tarrow {

namespace {

constexpr const char* kUpdaterName = "updater";

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

// True when a process runs an updater from `folder` or below it (a running
// updater moved aside keeps its new path in /proc).
bool UpdaterRunsIn(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code unreadable;  // another user's process, or one just gone
        const std::string exe = std::filesystem::read_symlink(entry.path() / "exe", unreadable).string();
        const size_t slash = exe.rfind('/');
        if (exe.starts_with(folder) && slash != std::string::npos &&
            exe.compare(slash + 1, std::string::npos, kUpdaterName, 7) == 0)
            return true;
    }
    return false;
}

}  // namespace

void FinishUnfinishedUpdate() {
    try {
        const std::string own = OwnFolder();
        if (own.empty() || !updater::HasUnfinishedSwap(own) || UpdaterRunsIn(own)) return;
        updater::UndoUnfinishedSwap(own);
    } catch (const std::exception&) {
        // The updater's next start finishes it.
    }
}

bool LinuxPlatform::StartUpdater() {
    const std::string path = FindUpdater();
    if (path.empty()) return false;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    UniqueFd errorsRead(ends[0]), errorsWrite(ends[1]);

    // Fork twice: the updater becomes a child of init in a session of its own, and
    // the short-lived middle process is reaped here, so no zombie is left behind.
    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
        ::setsid();
        const pid_t updater = ::fork();
        if (updater == 0) ExecUpdater(path.c_str(), errorsWrite.Get());
        _exit(updater < 0 ? 1 : 0);
    }
    errorsWrite.Close();
    int status = 0;
    WaitForChild(middle, status);  // when it cannot be, the pipe below still tells
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    // The pipe closes without a word when exec succeeded.
    int error = 0;
    const ReadResult read = ReadFull(errorsRead.Get(), &error, sizeof error);
    return read.count == 0 && !read.failed;
}

}  // namespace tarrow
