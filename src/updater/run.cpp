// The updater's run: the old program ends, the archive goes in, the program
// starts again; any failure is shown once and the old program comes back.

#include <system_error>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

constexpr int kPollMs = 100;

bool WaitForProgramEnd(UpdaterSystem& system, const fs::path& program) {
    for (int waited = 0; system.ProgramRunning(program); waited += kPollMs) {
        if (waited >= kProgramEndWaitMs) return false;
        system.SleepMs(kPollMs);
    }
    return true;
}

int Restart(UpdaterSystem& system, const fs::path& program) {
    if (system.StartProgram(program)) return 0;
    system.ShowFailure("Tarrow update failed: Tarrow could not be started again.");
    return 1;
}

}  // namespace

int RunUpdater(UpdaterSystem& system) {
    try {
        const fs::path folder = system.OwnFolder();
        const fs::path program = folder / system.ProgramName();
        if (!WaitForProgramEnd(system, program)) {
            // Starting it again would only make a second copy beside the one still running.
            system.ShowFailure("Tarrow update failed: Tarrow did not end within 30 seconds.");
            return 1;
        }
        const std::string failure = InstallArchive(kArchiveName, folder, system.ProgramName());
        if (!failure.empty()) {
            system.ShowFailure("Tarrow update failed: " + failure);
            Restart(system, program);
            return 1;
        }
        std::error_code ignored;
        fs::remove(kArchiveName, ignored);
        return Restart(system, program);
    } catch (const std::exception&) {
        system.ShowFailure("Tarrow update failed: out of memory.");
        return 1;
    }
}

}  // namespace tarrow::updater
