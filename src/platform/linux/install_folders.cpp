// The working folder of an installed program.

#include "platform/linux/install_folders.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace tarrow {

std::optional<InstallFolders> ChooseInstallFolders(const std::string& cwd, const std::string& exePath,
                                                   const char* xdgConfigHome, const char* home) {
    std::error_code error;
    if (fs::is_directory(fs::path(cwd) / "snd", error)) return std::nullopt;
    const fs::path cues = fs::path(exePath).parent_path().parent_path() / "share/tarrow-desk/snd";
    if (!fs::is_directory(cues, error)) return std::nullopt;
    fs::path config;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        config = xdgConfigHome;
    } else if (home != nullptr && home[0] == '/') {
        config = fs::path(home) / ".config";
    } else {
        return InstallFolders{cwd, cues.string()};
    }
    return InstallFolders{(config / "tarrow-desk").string(), cues.string()};
}

std::string EnterInstallFolders() {
    std::error_code error;
    const fs::path cwd = fs::current_path(error);
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (cwd.empty() || exe.empty()) return {};
    const auto folders =
        ChooseInstallFolders(cwd.string(), exe.string(), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (!folders) return {};
    fs::create_directories(folders->workFolder, error);
    // Where the folder cannot be made or entered, the files stay beside the user.
    [[maybe_unused]] const int entered = ::chdir(folders->workFolder.c_str());
    return folders->cueFolder;
}

}  // namespace tarrow
