#include "app/application.hpp"
#include "platform/virtual_keys.hpp"
#include "update/update.hpp"

namespace tarrow {

// One row per hotkey, indexed by id; see HotkeyAction.
constinit const HotkeyTable kHotkeys = {{
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
     [](Application& a) {
         ToggleFocusedCpuMonitor(a.platform, a.speech, a.processes, a.monitors);
     }},
    {21, kVkF5, kVkF5,
     u"Unable To register the toggle focused process memory monitor hotkey.",
     u"focused memory monitor",
     [](Application& a) {
         ToggleFocusedMemoryMonitor(a.platform, a.speech, a.processes, a.monitors);
     }},
    {22, 'P', 'P', u"Unable To register the speak process full path hotkey.", u"path",
     [](Application& a) { SpeakFullPath(a.platform.processes, a.speech, a.processes); }},
    {23, '3', '3', u"Unable To register the speak machine uptime hotkey.", u"uptime",
     [](Application& a) { SpeakUptime(a.platform.facts, a.speech); }},
    {24, kVkF6, kVkF6, u"Unable To register the toggle pc CPU monitor hotkey.",
     u"CPU monitor", [](Application& a) { TogglePcCpuMonitor(a.platform.files, a.speech, a.monitors); }},
    {25, kVkF7, kVkF7, u"Unable To register the toggle pc memory monitor hotkey.",
     u"memory monitor",
     [](Application& a) { TogglePcMemoryMonitor(a.platform.files, a.speech, a.monitors); }},
    {26, '4', '4', u"Unable To register the speak battery status hotkey.", u"battery",
     [](Application& a) { SpeakBatteryStatus(a.platform.facts, a.speech); }},
    {27, kVkF8, kVkF8, u"Unable To register the toggle battery monitor hotkey.",
     u"battery monitor",
     [](Application& a) { ToggleBatteryMonitor(a.platform.facts, a.platform.files, a.speech, a.monitors); }},
    {28, 'U', 'U', u"Unable To register the Check for updates hotkey.", u"updates",
     [](Application& a) {
         if (a.profile.packageBuild) a.speech.Speak(u"Updates come from your package manager.", true);
         else StartUpdateCheck(a.platform, a.speech, a.updates, false);
     }},
    {29, kVkSpace, kVkSpace, u"Unable To register the Repeat last spoken text hotkey.", u"repeat",
     [](Application& a) { RepeatLastSpoken(a.speech); }},
}};

LoopControl Dispatch(Application& app, const Event& event) {
    switch (event.kind) {
        case EventKind::Hotkey:
            if (event.id == kExitHotkeyId) {
                ExitSequence(app);
                return LoopControl::Exit;
            }
            if (event.id > 0 && event.id < kHotkeyCount) {
                if (const auto action = kHotkeys[static_cast<size_t>(event.id)].action) action(app);
            }
            if (app.exitChosen) {  // the user ended the program's own entry
                ExitSequence(app);
                return LoopControl::Exit;
            }
            return LoopControl::Continue;
        case EventKind::Menu:
            if (event.id == 0) {
                ExitSequence(app);
                return LoopControl::Exit;
            }
            return LoopControl::Continue;
        case EventKind::ExitRequest:
            // An update worker has put the whole archive in place: no other check
            // may act from here on, then the updater starts (whether or not it
            // does, the program ends).
            StopUpdateWorkers(app.updates);
            app.platform.workers.StartUpdater();
            ExitSequence(app);
            return LoopControl::Exit;
        case EventKind::Close:
            StopUpdateWorkers(app.updates);
            RemovePartialDownloads(app.platform.files, app.updates);
            app.platform.window.ShutdownServices();
            return LoopControl::Exit;
        case EventKind::None:
        case EventKind::Other:
            break;
    }
    return LoopControl::Continue;
}

}  // namespace tarrow
