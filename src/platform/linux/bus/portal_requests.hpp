#pragma once
// Calls to the desktop portal's global shortcuts that answer later through a
// Request object. The portal is the peer that owned its name when we first
// asked: every call goes to it, and only its Response counts.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/bus/portal_messages.hpp"

namespace tarrow {

class SessionBus;
class WakePipe;

inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
inline constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";

// True when the message comes from that peer's own connection (a unique name).
bool FromPeer(sd_bus_message* message, const std::string& peer);

class PortalRequests {
public:
    PortalRequests(WakePipe& wake, SessionBus& bus) : wake_(wake), bus_(bus) {}

    // Finds the portal: its shortcuts' version must be 1 or 2. False when no
    // portal on the bus offers them.
    bool Open();
    // The portal's unique name, for matching its signals.
    const std::string& Portal() const { return portal_; }

    // Calls method with the arguments append adds (given the handle token to
    // put in its options) and waits at most limitMs for the Response. A wait
    // that an exit request ends leaves the request posted and ExitRequested() true.
    using Append = std::function<int(sd_bus_message* call, const std::string& token)>;
    PortalAnswer Ask(const char* method, int64_t limitMs, const Append& append);
    bool ExitRequested() const { return exitRequested_; }

private:
    WakePipe& wake_;
    SessionBus& bus_;
    std::string portal_;
    std::string senderPart_;  // our unique name as a path element
    unsigned nextToken_ = 0;
    bool exitRequested_ = false;
};

}  // namespace tarrow
