#pragma once
// Start-up, the main loop, the dispatch table and the roads out.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "hotkeys/hotkeys.hpp"
#include "monitors/monitors.hpp"
#include "platform/platform_services.hpp"
#include "platform/virtual_keys.hpp"
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

// The action of a monitor's toggle hotkey.
template <MonitorName name>
void ToggleOf(Application& a) {
    ToggleMonitor(name, a.platform, a.platform.files, a.speech, a.processes, a.monitors);
}

// The hotkeys, one row each, indexed by id; see HotkeyAction. A new hotkey is a
// row here with its action.
inline constexpr auto kHotkeys = std::to_array<HotkeyAction>({
    {0, 'Q', 'Q', u"Unable To register the exit hotkey.", u"exit", nullptr},
    {1, kVkOem3, kVkOem8, u"Unable To register the Speak CPU Info hotkey.", u"CPU info",
     [](Application& a) { SpeakCpuInfo(a.platform.facts, a.speech); }},
    {2, kVkOem4, kVkOem4, u"Unable To register the previous process hotkey.", u"previous",
     [](Application& a) { PreviousProcess(a.speech, a.processes); }},
    {3, kVkOem6, kVkOem6, u"Unable To register the next process hotkey.", u"next",
     [](Application& a) { NextProcess(a.speech, a.processes); }},
    {4, kVkBack, kVkBack, u"Unable To register the kill process with confirmation hotkey.",
     u"kill (confirm)",
     [](Application& a) {
         a.exitChosen = KillWithConfirmation(a.platform, a.platform.dialogs, a.speech, a.processes) ==
                        EndOutcome::ExitProgram;
     }},
    {5, kVkDelete, kVkDelete, u"Unable To register the kill process no confirmation hotkey.",
     u"kill",
     [](Application& a) {
         a.exitChosen = KillWithoutConfirmation(a.platform, a.speech, a.processes) ==
                        EndOutcome::ExitProgram;
     }},
    {6, kVkOemPlus, kVkOemPlus,
     u"Unable To register the focus the process with the most amount of memory hotkey.",
     u"most memory", [](Application& a) { FocusMostMemory(a.speech, a.processes); }},
    {7, kVkOem1, kVkOem1, u"Unable To register the first process hotkey.", u"first",
     [](Application& a) { FirstProcess(a.speech, a.processes); }},
    {8, kVkOem7, kVkOem3, u"Unable To register the last process hotkey.", u"last",
     [](Application& a) { LastProcess(a.speech, a.processes); }},
    {9, kVkOemMinus, kVkOemMinus, u"Unable To register the focus process with most CPU hotkey.",
     u"most CPU", [](Application& a) { FocusMostCpu(a.speech, a.processes); }},
    {10, 'K', 'K', u"Unable To register the kill favorites hotkey.", u"kill favourites",
     [](Application& a) { KillFavourites(a.platform, a.platform.files, a.speech, a.processes); }},
    {11, kVkOem5, kVkOem5, u"Unable To register the find process hotkey.", u"find",
     [](Application& a) { FindProcess(a.platform.dialogs, a.speech, a.processes); }},
    {12, kVkOem2, kVkOem2, u"Unable To register the toggle sort hotkey.", u"sort",
     [](Application& a) { ToggleSort(a.platform, a.speech, a.processes); }},
    {13, '1', '1', u"Unable To register the speak cpu usage hotkey.", u"CPU use",
     [](Application& a) { SpeakCpuUsage(a.speech, a.processes.list); }},
    {14, '2', '2', u"Unable To register the speak total memory hotkey.", u"memory",
     [](Application& a) { SpeakTotalMemory(a.platform.facts, a.speech); }},
    {15, 'F', 'F', u"Unable To register the focus process hotkey.", u"focus",
     [](Application& a) { FocusProcess(a.speech, a.processes); }},
    {16, kVkF1, kVkF1, u"Unable To register the speak focused process name hotkey.",
     u"focused name",
     [](Application& a) { SpeakFocusedName(a.platform, a.speech, a.processes); }},
    {17, kVkF2, kVkF2, u"Unable To register the speak focused process CPU hotkey.",
     u"focused CPU", [](Application& a) { SpeakFocusedCpu(a.platform, a.speech, a.processes); }},
    {18, kVkF3, kVkF3, u"Unable To register the speak focused process memory hotkey.",
     u"focused memory",
     [](Application& a) { SpeakFocusedMemory(a.platform, a.speech, a.processes); }},
    {19, 'C', 'C', u"Unable To register the copy last text to clipboard hotkey.", u"copy",
     [](Application& a) { CopyLastSpoken(a.platform.clipboard, a.speech); }},
    {20, kVkF4, kVkF4,
     u"Unable To register the toggle focused process CPU monitor hotkey.", u"focused CPU monitor",
     ToggleOf<MonitorName::FocusedCpu>},
    {21, kVkF5, kVkF5,
     u"Unable To register the toggle focused process memory monitor hotkey.",
     u"focused memory monitor",
     ToggleOf<MonitorName::FocusedMemory>},
    {22, 'P', 'P', u"Unable To register the speak process full path hotkey.", u"path",
     [](Application& a) { SpeakFullPath(a.platform.processes, a.speech, a.processes); }},
    {23, '3', '3', u"Unable To register the speak machine uptime hotkey.", u"uptime",
     [](Application& a) { SpeakUptime(a.platform.facts, a.speech); }},
    {24, kVkF6, kVkF6, u"Unable To register the toggle pc CPU monitor hotkey.",
     u"CPU monitor", ToggleOf<MonitorName::PcCpu>},
    {25, kVkF7, kVkF7, u"Unable To register the toggle pc memory monitor hotkey.",
     u"memory monitor",
     ToggleOf<MonitorName::PcMemory>},
    {26, '4', '4', u"Unable To register the speak battery status hotkey.", u"battery",
     [](Application& a) { SpeakBatteryStatus(a.platform.facts, a.speech); }},
    {27, kVkF8, kVkF8, u"Unable To register the toggle battery monitor hotkey.",
     u"battery monitor",
     ToggleOf<MonitorName::PcBattery>},
    {28, 'U', 'U', u"Unable To register the Check for updates hotkey.", u"updates",
     [](Application& a) {
         if (a.profile.packageBuild) a.speech.Speak(u"Updates come from your package manager.", true);
         else StartUpdateCheck(a.platform, a.speech, a.updates, false);
     }},
    {29, kVkSpace, kVkSpace, u"Unable To register the Repeat last spoken text hotkey.", u"repeat",
     [](Application& a) { RepeatLastSpoken(a.speech); }},
});
static_assert(EveryRowHasItsOwnId(kHotkeys), "row i of the hotkey table has id i");
inline constexpr int kHotkeyCount = static_cast<int>(kHotkeys.size());

}  // namespace tarrow
