#pragma once
// The program's version: spoken in the welcome and compared with the server's.

#include <string_view>

namespace tarrow {

// Test builds may report another version (TARROW_TEST_VERSION in CMake).
#ifndef TARROW_VERSION
#define TARROW_VERSION "1.0.7"
#endif
inline constexpr std::u16string_view kRunningVersion = u"" TARROW_VERSION;
inline constexpr std::u16string_view kVersionLabel = u"" TARROW_VERSION ", Build 222";

}  // namespace tarrow
