#include "app/application.hpp"
#include "update/update.hpp"

namespace tarrow {

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
