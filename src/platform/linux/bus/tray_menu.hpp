#pragma once
// The tray's com.canonical.dbusmenu menu: a root and its one entry, exported
// on the session bus. Any peer may call it, so every method answers in
// bounded time and size: repeated ids are answered once, the lists it gives
// back are capped and a request too large to answer gets an error.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/bus/bus_handles.hpp"

namespace tarrow {

// Runs a handler's body so that no exception reaches sd-bus.
template <typename Body>
int GuardedBusCall(sd_bus_error* error, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return sd_bus_error_set_const(error, SD_BUS_ERROR_FAILED, "The tray could not answer.");
    }
}

// Chains sd-bus calls: stops at the first failure and keeps its code.
class BusSteps {
public:
    BusSteps& operator<<(int result) {
        if (result_ >= 0 && result < 0) result_ = result;
        return *this;
    }
    int Result() const { return result_; }

private:
    int result_ = 0;
};

class TrayMenu {
public:
    explicit TrayMenu(sd_bus* bus) : bus_(sd_bus_ref(bus)) {}
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // Exports the menu at path; false when the bus refuses.
    bool Export(const char* path);
    // The one entry; a later call replaces it. Hosts are told the layout changed.
    void SetItem(int64_t itemId, std::u16string_view text);
    // The caller's id of the entry the user clicked since the last call.
    std::optional<int64_t> TakeChosenItem();

private:
    struct Wanted;  // the property names a request asks for

    bool Exists(int32_t id) const;
    int AppendProperties(sd_bus_message* m, int32_t id, const Wanted& wanted) const;
    int AppendLayout(sd_bus_message* m, int32_t id, int32_t depth, const Wanted& wanted) const;
    bool TakeEvent(int32_t id, std::string_view event);

    static int GetLayout(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int GetGroupProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int GetProperty(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int Event(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int EventGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int AboutToShow(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int AboutToShowGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept;
    static int GetMenuProperty(sd_bus*, const char*, const char*, const char* property,
                               sd_bus_message* m, void*, sd_bus_error* error) noexcept;
    static const sd_bus_vtable kVtable[];

    BusRef bus_;
    std::string path_;
    std::string label_;
    int64_t itemId_ = 0;
    bool hasEntry_ = false;
    uint32_t revision_ = 1;
    std::optional<int64_t> chosen_;
    // Declared last, so dropped first: no handler reaches a half-gone menu.
    BusSlot slot_;
};

}  // namespace tarrow
