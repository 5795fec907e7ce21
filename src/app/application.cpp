#include "app/application.hpp"

#include <algorithm>

#include "hotkeys/hotkeys.hpp"
#include "update/update.hpp"

namespace tarrow {

namespace {

void LoadCues(Application& app) {
    SoundCues& cues = app.cues;
    if (!app.platform.sound.StartAudio()) return;
    cues.up = app.platform.sound.LoadCue(u"snd/up.wav");
    cues.down = app.platform.sound.LoadCue(u"snd/down.wav");
    cues.cpu = app.platform.sound.LoadCue(u"snd/CPU.wav");
    cues.memory = app.platform.sound.LoadCue(u"snd/memory.wav");
    cues.battery = app.platform.sound.LoadCue(u"snd/battery.wav");
}

// Sleeps until the refresh or a monitor is next due (any event still wakes the
// wait at once). A pass that a 1-ms wait would add before then finds nothing
// due, so what is heard, and when, stays the same; 1 ms stays the shortest wait.
int64_t LoopWaitMs(Application& app) {
#ifdef TARROW_FIXED_1MS_WAIT
    return 1;
#else
    const int64_t refreshDue = app.lastRefreshTime + app.refreshInterval;
    const int64_t due = std::min(refreshDue, NextMonitorDue(app.monitors));
    const int64_t now = app.platform.facts.NowMs();
    return due <= now ? 1 : due - now;
#endif
}

}  // namespace

bool Startup(Application& app) {
    const PlatformRoles& platform = app.platform;
    platform.window.InitServices();
    app.processes.cpuSamples.clear();
    app.refreshInterval = kRefreshIntervalMs;
    app.lastRefreshTime = platform.facts.NowMs();
    LoadCues(app);
    app.processes.list = ProcessList{};
    InitMonitors(app.monitors, platform.facts.NowMs());
    app.speech.MarkNotLoaded();
    LoadSettings(platform.files, app.settings);
    ApplySettings(app.monitors, app.settings);
    platform.sound.SetBrailleHold(app.settings.braille_hold_ms);
    platform.window.CreateHiddenWindow(u"Tarrow Desk");
    platform.window.AddTrayIcon(u"Tarrow");
    platform.window.CreateTrayMenu(0, u"Exit");
    if (!RegisterAllHotkeys(platform.keyboard, platform.dialogs, app.settings.modifier,
                            kHotkeys)) {
        platform.window.ShutdownServices();
        return false;
    }
    app.speech.Speak(u"Welcome to Tarrow version " + app.profile.versionLabel + u"!", true);
    RefreshProcessList(platform, app.processes);
    if (!app.profile.packageBuild) StartUpdateCheck(platform, app.speech, app.updates, true);
    return true;
}

LoopControl RunPass(Application& app) {
    const PlatformRoles& platform = app.platform;
    MonitorPass(platform, app.speech, app.processes, app.monitors, app.cues);
    const int64_t now = platform.facts.NowMs();
    if (now >= app.lastRefreshTime + app.refreshInterval) {
        app.lastRefreshTime = now;
        RefreshProcessList(platform, app.processes);
    }
    return Dispatch(app, platform.window.WaitEvent(LoopWaitMs(app)));
}

void ExitSequence(Application& app) {
    StopUpdateWorkers(app.updates);  // "Exiting" is the last word, and workers keep off what goes
    app.speech.Speak(u"Exiting", true);
    app.platform.window.RemoveTrayIcon();
    app.platform.window.CloseHiddenWindow();
    RemovePartialDownloads(app.platform.files, app.updates);
    app.platform.window.ShutdownServices();
}

int RunTarrow(PlatformRoles platform, const BuildProfile& profile) {
    Application app(platform, profile);
    return RunTarrow(app);
}

int RunTarrow(Application& app) {
    if (!Startup(app)) return 0;
    while (RunPass(app) == LoopControl::Continue) {
    }
    return 0;
}

}  // namespace tarrow
