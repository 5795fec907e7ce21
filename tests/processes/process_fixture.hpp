#pragma once
// A fake machine with a process list on it, shared by the process tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_platform.hpp"
#include "processes/processes.hpp"

namespace tarrow::testing {

// One processor fully busy for `ms` milliseconds, in 100-ns units.
constexpr uint64_t BusyMs(uint64_t ms) { return ms * 10000; }

class ProcessFixture : public ::testing::Test {
protected:
    FakePlatform fake;
    SpeechOutput speech{fake};
    ProcessState state;

    void Refresh() { RefreshProcessList(fake, state); }

    std::vector<std::u16string> Names() const {
        std::vector<std::u16string> names;
        for (const auto& e : state.list.entries) names.push_back(e.name);
        return names;
    }

    double CpuOf(int64_t pid) const {
        for (const auto& e : state.list.entries)
            if (e.pid == pid) return e.cpu;
        ADD_FAILURE() << "pid " << pid << " not listed";
        return -1;
    }

    std::u16string LastSpoken() const {
        return fake.spoken.empty() ? std::u16string() : fake.spoken.back().text;
    }
};

}  // namespace tarrow::testing
