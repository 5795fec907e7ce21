#pragma once
// An installed program (bin/tarrow-desk with its cues in share/tarrow-desk/snd)
// started from a folder without snd/ keeps the user's files in
// $XDG_CONFIG_HOME/tarrow-desk (else ~/.config/tarrow-desk) and plays the
// installed cues. A program started beside snd/ stays where it is.

#include <optional>
#include <string>

namespace tarrow {

struct InstallFolders {
    std::string workFolder;  // the working directory to take
    std::string cueFolder;   // replaces "snd" in the cue paths
};

// The folders for a program at `exePath` started in `cwd`; nothing when it
// should stay as it is. `xdgConfigHome` and `home` may be null.
std::optional<InstallFolders> ChooseInstallFolders(const std::string& cwd, const std::string& exePath,
                                                   const char* xdgConfigHome, const char* home);

// Undoes a swap the updater left half done in the program's own folder (it was
// killed), unless an updater of that folder still runs; before any file is read.
void FinishUnfinishedUpdate();

// Applies the choice for this process: creates the work folder when missing and
// enters it. Returns the cue folder to use, empty when cues stay in snd/.
std::string EnterInstallFolders();

}  // namespace tarrow
