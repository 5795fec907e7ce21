#include "update/update.hpp"

namespace tarrow {

// Placeholder until the update check lands.
void StartUpdateCheck(PlatformServices& platform, SpeechOutput&, bool) {
    platform.StartWorker([] {});
}

}  // namespace tarrow
