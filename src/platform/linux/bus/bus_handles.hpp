#pragma once
// Owners for sd-bus's reference-counted objects and its error record.

#include <systemd/sd-bus.h>

#include <memory>

namespace tarrow {

struct BusUnref {
    void operator()(sd_bus* bus) const noexcept { sd_bus_unref(bus); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const noexcept { sd_bus_slot_unref(slot); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const noexcept { sd_bus_message_unref(message); }
};
using BusRef = std::unique_ptr<sd_bus, BusUnref>;
using BusSlot = std::unique_ptr<sd_bus_slot, SlotUnref>;
using BusMessage = std::unique_ptr<sd_bus_message, MessageUnref>;

struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
};

}  // namespace tarrow
