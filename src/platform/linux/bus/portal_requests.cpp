// Requests to the portal, and their answers.

#include "platform/linux/bus/portal_requests.hpp"

#include <systemd/sd-bus.h>

#include <chrono>

#include "platform/linux/bus/bus_handles.hpp"
#include "platform/linux/bus/session_bus.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr uint64_t kCallTimeoutUs = 10'000'000;

// A Response we wait for, and the one peer whose Response counts.
struct ResponseWatch {
    const std::string& portal;
    PortalAnswer answer;
};

int OnResponse(sd_bus_message* message, void* userdata, sd_bus_error*) noexcept {
    auto& watch = *static_cast<ResponseWatch*>(userdata);
    PortalAnswer& answer = watch.answer;
    // Any peer can send a signal to us; only the portal answers its requests.
    if (answer.arrived || !FromPeer(message, watch.portal)) return 0;
    try {
        if (ReadResponse(message, answer) < 0) answer = PortalAnswer{};
    } catch (...) {
        answer = PortalAnswer{};
    }
    answer.arrived = true;  // a malformed answer counts as ended
    return 0;
}

BusSlot WatchResponse(sd_bus* bus, const std::string& path, ResponseWatch& watch) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus, &slot, watch.portal.c_str(), path.c_str(),
                            "org.freedesktop.portal.Request", "Response", OnResponse,
                            &watch) < 0) {
        return nullptr;
    }
    return BusSlot(slot);
}

// A program outside a sandbox is known to the portal by the name of its
// desktop entry only once it says so, before any other portal call. Portals
// older than this registry refuse the call; that changes nothing.
void RegisterDesktopEntryName(sd_bus* bus) {
    BusError error;
    sd_bus_call_method(bus, kPortalName, kPortalPath, "org.freedesktop.host.portal.Registry",
                       "Register", &error.error, nullptr, "sa{sv}", "tarrow-desk", 0);
}

}  // namespace

bool FromPeer(sd_bus_message* message, const std::string& peer) {
    const char* sender = sd_bus_message_get_sender(message);
    return sender != nullptr && peer == sender;
}

// Reads the shortcuts' version from whoever owns the portal's name, and keeps
// that owner's unique name: from here on every call goes to it and only its
// signals count, whoever else takes the name later.
bool PortalRequests::Open() {
    sd_bus* bus = bus_.Get();
    RegisterDesktopEntryName(bus);
    BusError error;
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                           &error.error, &raw, "ss", kShortcutsInterface, "version") < 0) {
        return false;
    }
    const BusMessage reply(raw);
    uint32_t version = 0;
    if (sd_bus_message_read(reply.get(), "v", "u", &version) < 0 ||
        (version != 1 && version != 2)) {
        return false;
    }
    const char* sender = sd_bus_message_get_sender(reply.get());
    const char* unique = nullptr;
    if (sender == nullptr || sender[0] != ':' || sd_bus_get_unique_name(bus, &unique) < 0) {
        return false;
    }
    portal_ = sender;
    for (const char c : std::string_view(unique).substr(1)) senderPart_ += c == '.' ? '_' : c;
    return true;
}

// The match goes in before the call, so an answer that comes at once is not lost.
PortalAnswer PortalRequests::Ask(const char* method, int64_t limitMs, const Append& append) {
    ResponseWatch watch{portal_, {}};
    const PortalAnswer& answer = watch.answer;
    const std::string token = "tarrow" + std::to_string(++nextToken_);
    const std::string expected =
        std::string(kPortalPath) + "/request/" + senderPart_ + "/" + token;
    BusSlot slot = WatchResponse(bus_.Get(), expected, watch);
    if (!slot) return {};

    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.Get(), &raw, portal_.c_str(), kPortalPath,
                                       kShortcutsInterface, method) < 0) {
        return {};
    }
    const BusMessage call(raw);
    if (append(call.get(), token) < 0) return {};
    BusError error;
    sd_bus_message* rawReply = nullptr;
    if (sd_bus_call(bus_.Get(), call.get(), kCallTimeoutUs, &error.error, &rawReply) < 0) {
        return {};
    }
    const BusMessage reply(rawReply);
    const char* handle = nullptr;
    if (sd_bus_message_read(reply.get(), "o", &handle) < 0) return {};
    // An older portal may choose its own request path.
    if (expected != handle && !answer.arrived) slot = WatchResponse(bus_.Get(), handle, watch);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    bus_.Process();  // the answer may have come in with the reply
    while (!answer.arrived) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        wake_.Poll(nullptr, 0, left.count());
        if (wake_.TakeExitRequest()) {
            wake_.PostExitRequest();  // for the main loop, which ends the program
            exitRequested_ = true;
            return {};
        }
    }
    return answer;
}

}  // namespace tarrow
