#pragma once
// Windows keyboard layout names for the XKB layouts X reports.

#include <string>
#include <string_view>

namespace tarrow {

// The Windows layout name for an XKB layout such as "us", "gb" or "de(nodeadkeys)";
// unknown layouts give "00000409".
std::u16string WindowsLayoutName(std::string_view xkbLayout);

// The layout of the given group from the _XKB_RULES_NAMES root property
// (rules, model, layouts, variants, options; NUL-separated); empty when absent.
std::string LayoutFromRulesNames(std::string_view property, int group);

// The layout of the given group from an XKB symbols name such as
// "pc+us+pl:2+inet(evdev)"; empty when none is recognised.
std::string LayoutFromSymbolsName(std::string_view symbols, int group);

}  // namespace tarrow
