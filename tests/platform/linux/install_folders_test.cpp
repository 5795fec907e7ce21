// Where an installed program keeps the user's files and finds its cues.

#include "platform/linux/install_folders.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace tarrow {
namespace {

class InstallFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tarrow-install-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "usr/bin");
        fs::create_directories(root_ / "usr/share/tarrow-desk/snd");
        fs::create_directories(root_ / "elsewhere");
        fs::create_directories(root_ / "portable/snd");
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string At(const char* relative) const { return (root_ / relative).string(); }
    fs::path root_;
};

TEST_F(InstallFoldersTest, ChoosesByWhereItStartsAndWhatIsInstalled) {
    const std::string installed = At("usr/bin/tarrow-desk"), cues = At("usr/share/tarrow-desk/snd");
    struct Case {
        const char* what;
        std::string cwd, exe;
        const char* xdg;
        const char* home;
        std::optional<InstallFolders> wanted;
    };
    const Case cases[] = {
        {"xdg folder", At("elsewhere"), installed, "/cfg", "/home/u", InstallFolders{"/cfg/tarrow-desk", cues}},
        {"home .config", At("elsewhere"), installed, nullptr, "/home/u",
         InstallFolders{"/home/u/.config/tarrow-desk", cues}},
        {"relative xdg ignored", At("elsewhere"), installed, "cfg", "/home/u",
         InstallFolders{"/home/u/.config/tarrow-desk", cues}},
        {"no home: stays", At("elsewhere"), installed, nullptr, nullptr, InstallFolders{At("elsewhere"), cues}},
        {"beside snd/: as now", At("portable"), installed, "/cfg", "/home/u", std::nullopt},
        {"not installed: as now", At("elsewhere"), At("portable/tarrow-desk"), "/cfg", "/home/u", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = ChooseInstallFolders(c.cwd, c.exe, c.xdg, c.home);
        ASSERT_EQ(got.has_value(), c.wanted.has_value()) << c.what;
        if (!got) continue;
        EXPECT_EQ(got->workFolder, c.wanted->workFolder) << c.what;
        EXPECT_EQ(got->cueFolder, c.wanted->cueFolder) << c.what;
    }
}

}  // namespace
}  // namespace tarrow
