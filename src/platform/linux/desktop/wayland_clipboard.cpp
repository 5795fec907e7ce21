// wl-copy started without a shell, the text written to it through a pipe.

#include "platform/linux/desktop/wayland_clipboard.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/linux/child_process.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/text.hpp"

extern char** environ;

namespace tarrow {

namespace {

constexpr auto kWlCopyLimit = std::chrono::seconds(5);

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    const std::string_view dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string_view::npos) end = dirs.size();
        std::string candidate(end > start ? dirs.substr(start, end - start) : ".");
        candidate += '/';
        candidate += program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Writes the text, never waiting past the deadline; a wl-copy that went away
// fails the write instead of ending us with SIGPIPE.
bool WriteBefore(int fd, std::string_view bytes, std::chrono::steady_clock::time_point deadline) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLOUT, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) {
            ok = false;
            continue;
        }
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    // Take a SIGPIPE our write raised before the mask goes back.
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

// The child's exit status; -1 when it ended otherwise or ran past the deadline (then killed).
int WaitBefore(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            WaitForChild(pid, status);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool WaylandClipboardAvailable() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0' && OnPath("wl-copy");
}

bool SetWaylandClipboard(std::u16string_view text) {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    fcntl(writeEnd.Get(), F_SETFL, O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, readEnd.Get(), STDIN_FILENO);
    // Our standard output is the spoken-text log: keep wl-copy's out of it.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char program[] = "wl-copy";
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, program, &actions, SpawnAttributes().Get(), argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    readEnd.Close();

    const auto deadline = std::chrono::steady_clock::now() + kWlCopyLimit;
    const bool written = WriteBefore(writeEnd.Get(), Utf16ToUtf8(text), deadline);
    writeEnd.Close();  // the end of the text
    return WaitBefore(pid, deadline) == 0 && written;
}

}  // namespace tarrow
