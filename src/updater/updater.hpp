#pragma once
// The updater: installs the release archive "Tarrow.zip" from the working
// directory over the program's own folder, then starts the program again.
// The portable steps live in install.cpp and run.cpp; each system supplies
// the few operations below.

#include <filesystem>
#include <string>

namespace tarrow::updater {

inline constexpr const char* kArchiveName = "Tarrow.zip";
inline constexpr int kProgramEndWaitMs = 30000;

// What the updater needs from the operating system.
class UpdaterSystem {
public:
    virtual ~UpdaterSystem() = default;
    // The folder holding the updater, which is also the program's folder.
    virtual std::filesystem::path OwnFolder() = 0;
    // The program's file name there ("tarrow-desk.exe", "tarrow-desk").
    virtual std::string ProgramName() = 0;
    // True while some process runs the program file at `program`.
    virtual bool ProgramRunning(const std::filesystem::path& program) = 0;
    virtual void SleepMs(int ms) = 0;
    // One box (or, without a display, one line on stderr) saying what failed.
    virtual void ShowFailure(const std::string& utf8Text) = 0;
    // Starts the program in the current working directory; on Linux the updater
    // becomes the program, so this returns only when that failed.
    virtual bool StartProgram(const std::filesystem::path& program) = 0;
};

// Installs `archive` over `folder`. Returns an empty text on success, otherwise
// why it failed (then every file in `folder` is as it was).
std::string InstallArchive(const std::filesystem::path& archive, const std::filesystem::path& folder,
                           const std::string& programName);

// The whole run: wait for the program to end, install, remove the archive,
// start the program again (the old one after a failure). Returns the exit code.
int RunUpdater(UpdaterSystem& system);

}  // namespace tarrow::updater
