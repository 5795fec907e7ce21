#include <array>

#include "app/application.hpp"
#include "update/update.hpp"

namespace tarrow {

namespace {

using Action = void (*)(Application&);

// Hotkey id -> action. Id 0 (exit) is handled by Dispatch itself.
const std::array<Action, 30> kActions = {
    nullptr,
    [](Application& a) { SpeakCpuInfo(a.platform, a.speech); },
    [](Application& a) { PreviousProcess(a.platform, a.speech, a.processes); },
    [](Application& a) { NextProcess(a.platform, a.speech, a.processes); },
    [](Application& a) {
        a.exitChosen = KillWithConfirmation(a.platform, a.speech, a.processes) ==
                       EndOutcome::ExitProgram;
    },
    [](Application& a) {
        a.exitChosen = KillWithoutConfirmation(a.platform, a.speech, a.processes) ==
                       EndOutcome::ExitProgram;
    },
    [](Application& a) { FocusMostMemory(a.platform, a.speech, a.processes); },
    [](Application& a) { FirstProcess(a.platform, a.speech, a.processes); },
    [](Application& a) { LastProcess(a.platform, a.speech, a.processes); },
    [](Application& a) { FocusMostCpu(a.platform, a.speech, a.processes); },
    [](Application& a) { KillFavourites(a.platform, a.speech, a.processes); },
    [](Application& a) { FindProcess(a.platform, a.speech, a.processes); },
    [](Application& a) { ToggleSort(a.platform, a.speech, a.processes); },
    [](Application& a) { SpeakCpuUsage(a.speech, a.processes.list); },
    [](Application& a) { SpeakTotalMemory(a.platform, a.speech); },
    [](Application& a) { FocusProcess(a.platform, a.speech, a.processes); },
    [](Application& a) { SpeakFocusedName(a.platform, a.speech, a.processes); },
    [](Application& a) { SpeakFocusedCpu(a.platform, a.speech, a.processes); },
    [](Application& a) { SpeakFocusedMemory(a.platform, a.speech, a.processes); },
    [](Application& a) { CopyLastSpoken(a.platform, a.speech); },
    [](Application& a) {
        ToggleFocusedCpuMonitor(a.platform, a.speech, a.processes, a.monitors);
    },
    [](Application& a) {
        ToggleFocusedMemoryMonitor(a.platform, a.speech, a.processes, a.monitors);
    },
    [](Application& a) { SpeakFullPath(a.platform, a.speech, a.processes); },
    [](Application& a) { SpeakUptime(a.platform, a.speech); },
    [](Application& a) { TogglePcCpuMonitor(a.platform, a.speech, a.monitors); },
    [](Application& a) { TogglePcMemoryMonitor(a.platform, a.speech, a.monitors); },
    [](Application& a) { SpeakBatteryStatus(a.platform, a.speech); },
    [](Application& a) { ToggleBatteryMonitor(a.platform, a.speech, a.monitors); },
    [](Application& a) {
        if (kPackageBuild) a.speech.Speak(u"Updates come from your package manager.", true);
        else StartUpdateCheck(a.platform, a.speech, a.updates, false);
    },
    [](Application& a) { RepeatLastSpoken(a.speech); },
};

}  // namespace

LoopControl Dispatch(Application& app, const Event& event) {
    switch (event.kind) {
        case EventKind::Hotkey:
            if (event.id == 0) {
                ExitSequence(app);
                return LoopControl::Exit;
            }
            if (event.id > 0 && event.id < static_cast<int64_t>(kActions.size())) {
                kActions[static_cast<size_t>(event.id)](app);
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
            app.platform.StartUpdater();
            ExitSequence(app);
            return LoopControl::Exit;
        case EventKind::Close:
            StopUpdateWorkers(app.updates);
            RemovePartialDownloads(app.platform, app.updates);
            app.platform.ShutdownServices();
            return LoopControl::Exit;
        case EventKind::None:
        case EventKind::Other:
            break;
    }
    return LoopControl::Continue;
}

}  // namespace tarrow
