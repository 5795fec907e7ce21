// A box still open on a worker when the program ends is closed with it.
// Runs on a private Xvfb; skipped where Xvfb or zenity is missing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/linux/unique_fd.hpp"
#include "platform/platform_services.hpp"

namespace tarrow {
namespace {

// An Xvfb of our own on a free display number. It never holds the test
// runner's output open and dies with this process, even if the test crashes.
class PrivateXvfb {
public:
    PrivateXvfb() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            const int devNull = open("/dev/null", O_RDWR);
            if (devNull < 0) _exit(127);
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            // dup2 onto another number drops close-on-exec; on the same one it must go by hand.
            if (writeEnd.Get() == 3) {
                fcntl(3, F_SETFD, 0);
            } else {
                dup2(writeEnd.Get(), 3);
            }
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        writeEnd = UniqueFd();
        if (pid_ < 0) return;
        // Xvfb writes the number and a line end once it takes clients, not
        // always in one piece; the read end stays open until the line is whole.
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd ready{readEnd.Get(), POLLIN, 0};
            const int polled = poll(&ready, 1, static_cast<int>(left.count()));
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) break;
            char buffer[32];
            const ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            line.append(buffer, static_cast<size_t>(n));
        }
        const size_t end = line.find('\n');
        if (end != std::string::npos && end > 0 &&
            line.find_first_not_of("0123456789") == end) {
            display_ = ":" + line.substr(0, end);
        }
    }
    ~PrivateXvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Runs pgrep or pkill on the zenity boxes this test started (other tests may show their own).
bool OnOwnZenity(const std::string& tool) {
    const std::string command = tool + " -x -P " + std::to_string(getpid()) + " zenity >/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(XDialogs, ShuttingDownClosesABoxAWorkerStillShows) {
    if (std::system("command -v Xvfb >/dev/null && command -v zenity >/dev/null") != 0) {
        GTEST_SKIP() << "needs Xvfb and zenity";
    }
    PrivateXvfb xvfb;
    ASSERT_FALSE(xvfb.Display().empty());
    setenv("DISPLAY", xvfb.Display().c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    auto platform = CreatePlatform();
    platform->InitServices();
    platform->CreateHiddenWindow(u"Tarrow Desk");

    std::atomic<bool> answered{false};
    std::atomic<int> answer{0};
    std::thread worker([&] {
        answer = platform->ShowMessage(u"Alert", u"Still open?", kMbYesNo);
        answered = true;
    });
    // Real time here: the box must be up before the program ends.
    for (int i = 0; i < 50 && !OnOwnZenity("pgrep"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    platform->ShutdownServices();
    for (int i = 0; i < 100 && !answered; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(answered) << "the box outlived the program";
    if (!answered) OnOwnZenity("pkill");
    worker.join();
    EXPECT_EQ(answer, kIdNo);
}

}  // namespace
}  // namespace tarrow
