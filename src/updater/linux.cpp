// The updater on Linux: /proc tells whether the program still runs, zenity
// shows the failure when there is a display, and the updater becomes the
// program again through exec.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/child_process.hpp"
#include "updater/updater.hpp"

extern char** environ;

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

class LinuxUpdater final : public UpdaterSystem {
public:
    fs::path OwnFolder() override { return fs::read_symlink("/proc/self/exe").parent_path(); }

    std::string ProgramName() override { return "tarrow-desk"; }

    bool ProgramRunning(const fs::path& program) override {
        const std::string self = std::to_string(::getpid());
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/proc", error)) {
            const std::string pid = entry.path().filename().string();
            if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
            std::error_code unreadable;  // another user's process, or one just gone
            if (fs::read_symlink(entry.path() / "exe", unreadable) == program) return true;
        }
        return false;
    }

    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    void ShowFailure(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') return;
        const char* argv[] = {"zenity", "--error", "--no-markup", "--title", "Tarrow update",
                              "--text", text.c_str(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "zenity", nullptr, nullptr, const_cast<char* const*>(argv),
                           environ) != 0)
            return;
        int status = 0;
        WaitForChild(pid, status);
    }

    bool StartProgram(const fs::path& program) override {
        const std::string path = program.string();
        char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
        ::execve(path.c_str(), argv, environ);
        return false;
    }
};

}  // namespace

}  // namespace tarrow::updater

int main() {
    tarrow::updater::LinuxUpdater system;
    return tarrow::updater::RunUpdater(system);
}
