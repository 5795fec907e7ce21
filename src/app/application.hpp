#pragma once
// Start-up, the main loop, the dispatch table and the roads out.

#include <cstdint>
#include <string>
#include <string_view>

#include "hotkeys/hotkeys.hpp"
#include "monitors/monitors.hpp"
#include "platform/platform_services.hpp"
#include "processes/processes.hpp"
#include "settings/settings.hpp"
#include "speech/speech.hpp"
#include "update/update.hpp"

namespace tarrow {

inline constexpr int64_t kRefreshIntervalMs = 5000;

// What one program of the build is: made once in main and passed down, so the
// release, the package and the test programs share every compiled file.
struct BuildProfile {
    std::u16string version;       // compared with the server's, e.g. "1.0.7"
    std::u16string versionLabel;  // spoken in the welcome, e.g. "1.0.7, Build 222"
    bool packageBuild = false;    // updates are left to the package manager
    UpdateServer updateServer;
};
// This program's profile: defined by the source the build generates for each
// program from src/app/build_profile.cpp.in.
BuildProfile ThisBuildProfile();

// All program state, owned for the whole run.
struct Application {
    Application(PlatformRoles roles, const BuildProfile& profile)
        : platform(roles),
          profile(profile),
          speech(roles.sound),
          updates(profile.updateServer, profile.version) {}

    PlatformRoles platform;
    BuildProfile profile;
    SpeechOutput speech;
    Settings settings;
    SoundCues cues;
    ProcessState processes;
    Monitors monitors;
    UpdateWorkers updates;  // after speech: closed before the speech output goes
    int64_t refreshInterval = kRefreshIntervalMs;
    int64_t lastRefreshTime = 0;
    bool exitChosen = false;  // an action chose the exit road (ending its own entry)
};

enum class LoopControl { Continue, Exit };

// The hotkeys: keys, failure texts, legend labels and actions (dispatch.cpp).
extern const HotkeyTable kHotkeys;

// Start-up steps; false when the program ended during them (exit hotkey taken).
bool Startup(Application& app);
// One pass of the main loop.
LoopControl RunPass(Application& app);
LoopControl Dispatch(Application& app, const Event& event);
// Speaks "Exiting", removes the tray icon, closes the window, shuts down.
void ExitSequence(Application& app);
// Start-up and the loop; returns the exit code once every service is released.
int RunTarrow(PlatformRoles platform, const BuildProfile& profile);
// The same on a prepared Application (tests point its update server elsewhere).
int RunTarrow(Application& app);

}  // namespace tarrow
