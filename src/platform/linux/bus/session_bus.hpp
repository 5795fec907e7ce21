#pragma once
// The D-Bus session bus (sd-bus), for the shortcuts portal and the tray. It
// has no loop of its own: its descriptor joins the event wait, and messages
// are handled on the main thread when the wait sees them.

#include <cstdint>
#include <memory>

typedef struct sd_bus sd_bus;  // <systemd/sd-bus.h>

namespace tarrow {

class SessionBus {
public:
    // Null when no session bus can be reached. The connection is only started:
    // it is ready once the bus daemon has answered, in the event wait. Calls
    // without a limit of their own wait 2 s at most.
    static std::unique_ptr<SessionBus> Open();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    sd_bus* Get() const { return bus_; }
    // The bus daemon has answered our greeting.
    bool Ready() const;
    // Waits up to 2 s for that answer.
    bool WaitReady() noexcept;
    // For poll(): the descriptor, the events to wait for, and how long at most
    // (-1: no deadline of the bus's own).
    int Fd() const;
    short PollEvents() const;
    int64_t TimeoutMs() const;
    // Handles every message that has arrived; the callbacks run here.
    void Process() noexcept;
    // Sends what is queued (before the program ends, say), for 2 s at most;
    // nothing when the bus never answered or stalled before.
    void Flush() noexcept;

private:
    explicit SessionBus(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
    bool stalled_ = false;
};

}  // namespace tarrow
