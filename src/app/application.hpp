#pragma once
// Start-up, the main loop, the dispatch table and the roads out.

#include <cstdint>
#include <string_view>

#include "hotkeys/hotkeys.hpp"
#include "monitors/monitors.hpp"
#include "platform/platform_services.hpp"
#include "processes/processes.hpp"
#include "settings/settings.hpp"
#include "speech/speech.hpp"
#include "update/update.hpp"
#include "update/version.hpp"

namespace tarrow {

inline constexpr int64_t kRefreshIntervalMs = 5000;
// Builds for a distribution package leave updates to the package manager.
#ifdef TARROW_PACKAGE_BUILD
inline constexpr bool kPackageBuild = true;
#else
inline constexpr bool kPackageBuild = false;
#endif

// All program state, owned for the whole run.
struct Application {
    explicit Application(PlatformRoles roles) : platform(roles), speech(roles.sound) {}

    PlatformRoles platform;
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
int RunTarrow(PlatformRoles platform);
// The same on a prepared Application (tests point its update server elsewhere).
int RunTarrow(Application& app);

}  // namespace tarrow
