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

// Every failure is shown as one line of printable text: a box the system can
// always show, and words a screen reader can always read.
void Fail(UpdaterSystem& system, const std::string& why) {
    system.ShowFailure(EscapeName("Tarrow update failed: " + why, kMaxFailureChars));
}

int Restart(UpdaterSystem& system, const fs::path& program) {
    if (system.StartProgram(program)) return 0;
    Fail(system, "Tarrow could not be started again.");
    return 1;
}

}  // namespace

int RunUpdater(UpdaterSystem& system) {
    try {
        const fs::path folder = system.OwnFolder();
        const fs::path program = folder / system.ProgramName();
        if (!WaitForProgramEnd(system, program)) {
            // Starting it again would only make a second copy beside the one still running.
            Fail(system, "Tarrow did not end within 30 seconds.");
            return 1;
        }
        // A swap an earlier updater began and never finished is undone before anything else.
        if (!UndoUnfinishedSwap(folder)) {
            Fail(system, "an earlier update was cut off and could not be undone.");
            Restart(system, program);
            return 1;
        }
        const std::string failure = InstallArchive(kArchiveName, folder, system.ProgramName());
        if (!failure.empty()) {
            Fail(system, failure);
            Restart(system, program);
            return 1;
        }
        std::error_code ignored;
        fs::remove(kArchiveName, ignored);
        return Restart(system, program);
    } catch (const std::exception&) {
        Fail(system, "out of memory.");
        return 1;
    }
}

}  // namespace tarrow::updater
