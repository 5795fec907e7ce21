#pragma once
// The update check: version query, download and hand-over to the updater.

#include "platform/platform_services.hpp"
#include "speech/speech.hpp"

namespace tarrow {

// Starts one update check on a new worker thread.
void StartUpdateCheck(PlatformServices& platform, SpeechOutput& speech, bool quiet);

}  // namespace tarrow
