// The session bus connection: opened once, flushed and closed with its owner.

#include "platform/linux/bus/session_bus.hpp"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <ctime>

namespace tarrow {

namespace {

constexpr uint64_t kAnswerLimitUs = 2'000'000;

uint64_t NowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

}  // namespace

std::unique_ptr<SessionBus> SessionBus::Open() {
    sd_bus* bus = nullptr;
    // Only starts the connection: the greeting is answered in the event wait.
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    // A call that names no limit of its own waits this long at most, so a
    // stopped or swapping bus daemon cannot hold the program.
    sd_bus_set_method_call_timeout(bus, kAnswerLimitUs);
    return std::unique_ptr<SessionBus>(new SessionBus(bus));
}

bool SessionBus::Ready() const { return sd_bus_is_ready(bus_) > 0; }

bool SessionBus::WaitReady() noexcept {
    const uint64_t deadline = NowUs() + kAnswerLimitUs;
    while (!Ready()) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) return false;
        if (r > 0) continue;
        const uint64_t now = NowUs();
        if (now >= deadline) return false;
        if (sd_bus_wait(bus_, deadline - now) < 0) return false;
    }
    return true;
}

SessionBus::~SessionBus() {
    Flush();
    sd_bus_close_unref(bus_);
}

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

void SessionBus::Flush() noexcept {
    // A bus that never answered has nothing of ours worth sending; one that
    // stalls gets the same limit as every call, once.
    if (stalled_ || !Ready()) return;
    const uint64_t deadline = NowUs() + kAnswerLimitUs;
    uint64_t queued = 0;
    while (sd_bus_get_n_queued_write(bus_, &queued) >= 0 && queued > 0) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) return;
        if (r > 0) continue;
        const uint64_t now = NowUs();
        if (now >= deadline || sd_bus_wait(bus_, deadline - now) < 0) {
            stalled_ = true;
            return;
        }
    }
}

}  // namespace tarrow
