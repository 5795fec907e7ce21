// The session bus connection: opened once, flushed and closed with its owner.

#include "platform/linux/session_bus.hpp"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <ctime>

namespace tarrow {

std::unique_ptr<SessionBus> SessionBus::Open() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    return std::unique_ptr<SessionBus>(new SessionBus(bus));
}

SessionBus::~SessionBus() { sd_bus_flush_close_unref(bus_); }

int SessionBus::Fd() const { return sd_bus_get_fd(bus_); }

short SessionBus::PollEvents() const {
    const int events = sd_bus_get_events(bus_);
    return events < 0 ? 0 : static_cast<short>(events);
}

int64_t SessionBus::TimeoutMs() const {
    uint64_t until = 0;  // CLOCK_MONOTONIC microseconds; UINT64_MAX: none
    if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) return -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUs = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
    return until <= nowUs ? 0 : int64_t((until - nowUs + 999) / 1000);
}

void SessionBus::Process() noexcept {
    // A bounded number of rounds, so a flood of messages cannot hold the loop.
    for (int round = 0; round < 256; ++round) {
        if (sd_bus_process(bus_, nullptr) <= 0) break;
    }
}

void SessionBus::Flush() noexcept { sd_bus_flush(bus_); }

}  // namespace tarrow
