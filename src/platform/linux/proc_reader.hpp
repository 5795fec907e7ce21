#pragma once
// Reads /proc and /sys (or fixture trees standing in for them).

#include <string>

namespace tarrow {

struct ProcReader {
    std::string procRoot;
    std::string sysRoot;
};

}  // namespace tarrow
