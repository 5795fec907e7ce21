#pragma once
// The clipboard of a Wayland session through wl-copy: an X client's own
// selection is not the one Wayland programs paste from.

#include <string_view>

namespace tarrow {

// True when a Wayland display is named and wl-copy is on the PATH.
bool WaylandClipboardAvailable();
// Runs wl-copy with the text on its standard input; false when it could not
// run, failed, or did not finish within a few seconds.
bool SetWaylandClipboard(std::u16string_view text);

}  // namespace tarrow
