#pragma once
// The updater: installs the release archive "Tarrow.zip" from the working
// directory over the program's own folder, then starts the program again.
// The portable steps live in install.cpp and run.cpp; each system supplies
// the few operations below.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// An entry's name as the system will see it: its parts, and the key that is
// equal for two names that would be one file on either system.
struct EntryPath {
    std::vector<std::string> parts;  // UTF-8, never empty, ".", ".." or a device
    std::u16string key;              // lower-cased parts joined by '/'
    bool folder = false;
};

// The canonical path of the raw entry name `raw` (a trailing slash, or
// `folderByMode`, marks a folder); nothing when no release could hold it.
std::optional<EntryPath> CanonicalPath(std::string_view raw, bool folderByMode);

// `raw` for a person to read on one line: printable ASCII as it is, every other
// byte as \xNN, cut to `maxChars` (ending in "...").
std::string EscapeName(std::string_view raw, size_t maxChars);

// The longest failure text a box shows.
inline constexpr size_t kMaxFailureChars = 200;

// Moves each staged file into `folder` (the old one kept in `backup`), after
// writing down the plan of the swap; on a failure puts back what moved. False
// when the swap was undone.
bool SwapIn(const std::filesystem::path& folder, const std::filesystem::path& staging,
            const std::filesystem::path& backup, const std::vector<std::filesystem::path>& files,
            std::filesystem::path& failedFile);

// True while `folder` holds the plan of a swap that was never finished.
bool HasUnfinishedSwap(const std::filesystem::path& folder);

// A swap left half done (the updater was killed) is undone from its plan, so the
// folder holds the old release again. Does nothing without a plan. False when
// some file could not be put back yet (the plan stays for the next start).
bool UndoUnfinishedSwap(const std::filesystem::path& folder);

// Installs `archive` over `folder`. Returns an empty text on success, otherwise
// why it failed (then every file in `folder` is as it was).
std::string InstallArchive(const std::filesystem::path& archive, const std::filesystem::path& folder,
                           const std::string& programName);

// The whole run: wait for the program to end, install, remove the archive,
// start the program again (the old one after a failure). Returns the exit code.
int RunUpdater(UpdaterSystem& system);

}  // namespace tarrow::updater
