#pragma once
// Text written to a terminal: made safe, or encoded for an escape sequence.

#include <string>
#include <string_view>

namespace tarrow {

// Text safe to write to a terminal: control characters (C0, DEL and C1) become
// spaces, so nothing in it can start an escape sequence.
std::string TerminalSafe(std::string_view utf8);

std::string Base64(std::string_view bytes);

}  // namespace tarrow
