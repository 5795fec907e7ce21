#include "processes/processes.hpp"

namespace tarrow {

// Placeholders until ending processes lands.
void EndProcessAtCursor(PlatformServices&, ProcessState&, bool) {}
void KillWithConfirmation(PlatformServices&, SpeechOutput&, ProcessState&) {}
void KillWithoutConfirmation(PlatformServices&, SpeechOutput&, ProcessState&) {}
void KillFavourites(PlatformServices&, SpeechOutput&, ProcessState&) {}

}  // namespace tarrow
