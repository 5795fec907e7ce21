// A box still open on a worker when the program ends is closed with it.
// Runs on a private Xvfb; skipped where Xvfb or zenity is missing.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform_services.hpp"

namespace tarrow {
namespace {

class PrivateXvfb {
public:
    PrivateXvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buffer[32] = {};
        const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
        close(fds[0]);
        if (n > 0) display_ = ":" + std::string(buffer, static_cast<size_t>(n - 1));
    }
    ~PrivateXvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

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
    for (int i = 0; i < 50 && std::system("pgrep -x zenity >/dev/null") != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    platform->ShutdownServices();
    for (int i = 0; i < 100 && !answered; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(answered) << "the box outlived the program";
    if (!answered) std::system("pkill -x zenity");
    worker.join();
    EXPECT_EQ(answer, kIdNo);
}

}  // namespace
}  // namespace tarrow
