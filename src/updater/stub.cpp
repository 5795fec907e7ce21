// The updater on a system that has none yet: it says so and changes nothing.
// A new system copies this file, answers each operation for real, and lets
// main run RunUpdater(system) once ProgramRunning can tell.

#include <chrono>
#include <cstdio>
#include <thread>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

class StubUpdater final : public UpdaterSystem {
public:
    // The working directory, where the program also looks for the updater.
    fs::path OwnFolder() override { return fs::current_path(); }
    std::string ProgramName() override { return "tarrow-desk"; }
    // Unknown, so taken as still running: nothing is replaced under a program.
    bool ProgramRunning(const fs::path&) override { return true; }
    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void ShowFailure(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    bool StartProgram(const fs::path&) override { return false; }
};

}  // namespace

}  // namespace tarrow::updater

int main() {
    tarrow::updater::StubUpdater system;
    system.ShowFailure("Tarrow update failed: this system has no updater.");
    return 1;
}
