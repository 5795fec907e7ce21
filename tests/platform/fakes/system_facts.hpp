#pragma once
// The clocks read from the shared clock, and the machine's facts as scripted.

#include <optional>
#include <string>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

template <class Base = FakeRole<SystemFacts>>
class FakeSystemFacts : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    uint32_t tickBase = 1000000;  // TickCount() = tickBase + now
    std::optional<uint64_t> affinityMask = 0xF;
    uint64_t uptimeMs = 0;
    MemoryStatus memory{8ull << 30, 4ull << 30};
    PowerStatus power{};
    std::optional<std::string> brand = "Fake CPU";
    LocalTime localTime{2024, 3, 8, 14, 5, 9};

    int64_t NowMs() override { return clock_.now; }
    uint32_t TickCount() override { return static_cast<uint32_t>(tickBase + clock_.now); }
    uint64_t SystemUptimeMs() override { return uptimeMs; }
    MemoryStatus GetMemoryStatus() override { return memory; }
    PowerStatus GetPowerStatus() override { return power; }
    std::optional<std::string> ProcessorBrand() override { return brand; }
    std::optional<uint64_t> SystemAffinityMask() override { return affinityMask; }
    LocalTime GetLocalTime() override { return localTime; }

protected:
    using Base::clock_;
};

}  // namespace tarrow::testing
