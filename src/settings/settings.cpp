#include "settings/settings.hpp"

namespace tarrow {

// Placeholder until the INI reader and writer land: built-in values only.
void LoadSettings(PlatformServices&, Settings&) {}
void SaveMonitorStates(PlatformServices&, int64_t, int64_t, int64_t) {}

}  // namespace tarrow
