// The tray's dbusmenu. Everything runs on the main thread: sd-bus calls the
// handlers below from the event wait's processing of the bus, so each one
// must be quick whatever a peer sends, and its answer small.

#include "platform/linux/bus/tray_menu.hpp"

#include <array>
#include <cerrno>
#include <set>
#include <span>
#include <vector>

#include "platform/text.hpp"

namespace tarrow {
namespace {

constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kLimitsExceeded = "org.freedesktop.DBus.Error.LimitsExceeded";
// Menu ids on the bus: the root and its one entry. The caller's own id for the
// entry is kept apart and returned by TakeChosenItem.
constexpr int32_t kRootId = 0;
constexpr int32_t kEntryId = 1;
// The most ids an answer lists, and the most names or events a request may hold.
constexpr size_t kMaxListedIds = 256;
constexpr size_t kMaxRequestEntries = 1024;

// Every property the menu has, by its bit in Wanted's mask.
constexpr std::array<std::string_view, 5> kPropertyNames = {"children-display", "type", "label",
                                                            "enabled", "visible"};

// An array of ids, read in place.
int ReadIds(sd_bus_message* m, std::span<const int32_t>& ids) {
    const void* data = nullptr;
    size_t size = 0;
    const int r = sd_bus_message_read_array(m, 'i', &data, &size);
    if (r < 0) return r;
    ids = {static_cast<const int32_t*>(data), size / sizeof(int32_t)};
    return 0;
}

// The ids no item has, each once, at most kMaxListedIds of them.
template <typename Known>
std::vector<int32_t> UnknownIds(std::span<const int32_t> ids, Known known) {
    std::vector<int32_t> unknown;
    std::set<int32_t> seen;
    for (const int32_t id : ids) {
        if (unknown.size() >= kMaxListedIds) break;
        if (!known(id) && seen.insert(id).second) unknown.push_back(id);
    }
    return unknown;
}

int AppendIds(sd_bus_message* m, const std::vector<int32_t>& ids) {
    return sd_bus_message_append_array(m, 'i', ids.data(), ids.size() * sizeof(int32_t));
}

int TooLarge(sd_bus_error* error) {
    return sd_bus_error_set_const(error, kLimitsExceeded, "The request holds too many entries.");
}

// A dbusmenu label shows one underscore for two; a single one marks the access key.
std::string LiteralLabel(std::u16string_view text) {
    std::string label;
    for (const char c : Utf16ToUtf8(text)) {
        label.push_back(c);
        if (c == '_') label.push_back('_');
    }
    return label;
}

// Builds a reply with fill(reply) and sends it.
template <typename Fill>
int Reply(sd_bus_message* call, Fill&& fill) {
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_message_new_method_return(call, &raw);
    if (r < 0) return r;
    const BusMessage reply(raw);
    BusSteps steps;
    steps << fill(reply.get()) << sd_bus_send(nullptr, reply.get(), nullptr);
    return steps.Result();
}

}  // namespace

// The names a request asks for: all of them when its list is empty.
struct TrayMenu::Wanted {
    bool all = true;
    unsigned mask = 0;
    bool Has(size_t index) const { return all || (mask & (1u << index)); }
};

namespace {

// Reads an "as" of property names; -E2BIG when it holds too many.
template <typename WantedNames>
int ReadWanted(sd_bus_message* m, WantedNames& wanted) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    if (r < 0) return r;
    const char* name = nullptr;
    size_t count = 0;
    while ((r = sd_bus_message_read_basic(m, 's', &name)) > 0) {
        if (++count > kMaxRequestEntries) return -E2BIG;
        wanted.all = false;
        for (size_t i = 0; i < kPropertyNames.size(); ++i) {
            if (kPropertyNames[i] == name) wanted.mask |= 1u << i;
        }
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

}  // namespace

bool TrayMenu::Export(const char* path) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_object_vtable(bus_.get(), &slot, path, kMenuInterface, kVtable, this) < 0)
        return false;
    slot_.reset(slot);
    path_ = path;
    return true;
}

void TrayMenu::SetItem(int64_t itemId, std::u16string_view text) {
    itemId_ = itemId;
    label_ = LiteralLabel(text);
    hasEntry_ = true;
    ++revision_;
    sd_bus_emit_signal(bus_.get(), path_.c_str(), kMenuInterface, "LayoutUpdated", "ui", revision_,
                       kRootId);
}

std::optional<int64_t> TrayMenu::TakeChosenItem() {
    std::optional<int64_t> chosen;
    chosen.swap(chosen_);
    return chosen;
}

bool TrayMenu::Exists(int32_t id) const { return id == kRootId || (id == kEntryId && hasEntry_); }

int TrayMenu::AppendProperties(sd_bus_message* m, int32_t id, const Wanted& wanted) const {
    BusSteps steps;
    steps << sd_bus_message_open_container(m, 'a', "{sv}");
    const auto text = [&](size_t index, const char* value) {
        if (!wanted.Has(index)) return;
        steps << sd_bus_message_append(m, "{sv}", kPropertyNames[index].data(), "s", value);
    };
    const auto flag = [&](size_t index, bool value) {
        if (!wanted.Has(index)) return;
        steps << sd_bus_message_append(m, "{sv}", kPropertyNames[index].data(), "b", int(value));
    };
    if (id == kRootId) {
        text(0, "submenu");
    } else {
        text(1, "standard");
        text(2, label_.c_str());
        flag(3, true);
        flag(4, true);
    }
    steps << sd_bus_message_close_container(m);
    return steps.Result();
}

// (ia{sv}av): the item, and its children down to depth levels (-1: all). The
// menu is two levels deep, so the answer is bounded whatever the depth.
int TrayMenu::AppendLayout(sd_bus_message* m, int32_t id, int32_t depth, const Wanted& wanted) const {
    BusSteps steps;
    steps << sd_bus_message_open_container(m, 'r', "ia{sv}av") << sd_bus_message_append(m, "i", id)
          << AppendProperties(m, id, wanted) << sd_bus_message_open_container(m, 'a', "v");
    if (id == kRootId && hasEntry_ && depth != 0) {
        steps << sd_bus_message_open_container(m, 'v', "(ia{sv}av)")
              << AppendLayout(m, kEntryId, depth > 0 ? depth - 1 : depth, wanted)
              << sd_bus_message_close_container(m);
    }
    steps << sd_bus_message_close_container(m) << sd_bus_message_close_container(m);
    return steps.Result();
}

// One event: "clicked" on the entry is remembered for TakeChosenItem.
// False when the id names no item.
bool TrayMenu::TakeEvent(int32_t id, std::string_view event) {
    if (!Exists(id)) return false;
    if (id == kEntryId && event == "clicked") chosen_ = itemId_;
    return true;
}

int TrayMenu::GetLayout(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    const auto* self = static_cast<const TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        int32_t parent = 0, depth = 0;
        Wanted wanted;
        int r = sd_bus_message_read(m, "ii", &parent, &depth);
        if (r >= 0) r = ReadWanted(m, wanted);
        if (r == -E2BIG) return TooLarge(error);
        if (r < 0) return r;
        if (!self->Exists(parent)) return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item.");
        return Reply(m, [&](sd_bus_message* reply) {
            BusSteps fill;
            fill << sd_bus_message_append(reply, "u", self->revision_)
                 << self->AppendLayout(reply, parent, depth, wanted);
            return fill.Result();
        });
    });
}

int TrayMenu::GetGroupProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    const auto* self = static_cast<const TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        std::span<const int32_t> ids;
        Wanted wanted;
        int r = ReadIds(m, ids);
        if (r >= 0) r = ReadWanted(m, wanted);
        if (r == -E2BIG) return TooLarge(error);
        if (r < 0) return r;
        // Each item once, however often it is named: two at most.
        bool root = ids.empty(), entry = ids.empty();
        for (const int32_t id : ids) {
            root = root || id == kRootId;
            entry = entry || id == kEntryId;
            if (root && entry) break;
        }
        entry = entry && self->hasEntry_;
        return Reply(m, [&](sd_bus_message* reply) {
            BusSteps fill;
            fill << sd_bus_message_open_container(reply, 'a', "(ia{sv})");
            for (const int32_t id : {kRootId, kEntryId}) {
                if (!(id == kRootId ? root : entry)) continue;
                fill << sd_bus_message_open_container(reply, 'r', "ia{sv}")
                     << sd_bus_message_append(reply, "i", id) << self->AppendProperties(reply, id, wanted)
                     << sd_bus_message_close_container(reply);
            }
            fill << sd_bus_message_close_container(reply);
            return fill.Result();
        });
    });
}

int TrayMenu::GetProperty(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    const auto* self = static_cast<const TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        int32_t id = 0;
        const char* name = nullptr;
        const int r = sd_bus_message_read(m, "is", &id, &name);
        if (r < 0) return r;
        const std::string_view property = name;
        if (id == kRootId && property == "children-display")
            return sd_bus_reply_method_return(m, "v", "s", "submenu");
        if (id == kEntryId && self->hasEntry_) {
            if (property == "type") return sd_bus_reply_method_return(m, "v", "s", "standard");
            if (property == "label") return sd_bus_reply_method_return(m, "v", "s", self->label_.c_str());
            if (property == "enabled" || property == "visible")
                return sd_bus_reply_method_return(m, "v", "b", 1);
        }
        return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item property.");
    });
}

int TrayMenu::Event(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    auto* self = static_cast<TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        int32_t id = 0;
        const char* event = nullptr;
        BusSteps steps;
        steps << sd_bus_message_read(m, "is", &id, &event) << sd_bus_message_skip(m, "vu");
        if (steps.Result() < 0) return steps.Result();
        if (!self->TakeEvent(id, event)) return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item.");
        return sd_bus_reply_method_return(m, "");
    });
}

int TrayMenu::EventGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    auto* self = static_cast<TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        // Read whole before any is acted upon: a request refused as too large does nothing.
        std::vector<std::pair<int32_t, bool>> events;  // id, clicked
        int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
        while (r >= 0 && (r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
            if (events.size() >= kMaxRequestEntries) return TooLarge(error);
            int32_t id = 0;
            const char* event = nullptr;
            BusSteps steps;
            steps << sd_bus_message_read(m, "is", &id, &event) << sd_bus_message_skip(m, "vu")
                  << sd_bus_message_exit_container(m);
            if ((r = steps.Result()) < 0) break;
            events.emplace_back(id, std::string_view(event) == "clicked");
        }
        if (r < 0) return r;
        std::vector<int32_t> ids;
        for (const auto& [id, clicked] : events) {
            self->TakeEvent(id, clicked ? "clicked" : "");
            ids.push_back(id);
        }
        const std::vector<int32_t> unknown =
            UnknownIds(ids, [self](int32_t id) { return self->Exists(id); });
        return Reply(m, [&](sd_bus_message* reply) { return AppendIds(reply, unknown); });
    });
}

int TrayMenu::AboutToShow(sd_bus_message* m, void*, sd_bus_error* error) noexcept {
    // The menu never changes on opening.
    return GuardedBusCall(error, [&] { return sd_bus_reply_method_return(m, "b", 0); });
}

int TrayMenu::AboutToShowGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
    const auto* self = static_cast<const TrayMenu*>(userdata);
    return GuardedBusCall(error, [&]() -> int {
        std::span<const int32_t> ids;
        const int r = ReadIds(m, ids);
        if (r < 0) return r;
        const std::vector<int32_t> unknown =
            UnknownIds(ids, [self](int32_t id) { return self->Exists(id); });
        return Reply(m, [&](sd_bus_message* reply) {
            BusSteps fill;
            fill << AppendIds(reply, {}) << AppendIds(reply, unknown);
            return fill.Result();
        });
    });
}

int TrayMenu::GetMenuProperty(sd_bus*, const char*, const char*, const char* property,
                              sd_bus_message* m, void*, sd_bus_error* error) noexcept {
    return GuardedBusCall(error, [&]() -> int {
        const std::string_view name = property;
        if (name == "Version") return sd_bus_message_append(m, "u", 3u);
        if (name == "TextDirection") return sd_bus_message_append(m, "s", "ltr");
        if (name == "Status") return sd_bus_message_append(m, "s", "normal");
        return sd_bus_message_append(m, "as", 0);  // IconThemePath
    });
}

const sd_bus_vtable TrayMenu::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", GetMenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", GetMenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", GetMenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", GetMenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", GetLayout, 0),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", GetGroupProperties, 0),
    SD_BUS_METHOD("GetProperty", "is", "v", GetProperty, 0),
    SD_BUS_METHOD("Event", "isvu", "", Event, 0),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", EventGroup, 0),
    SD_BUS_METHOD("AboutToShow", "i", "b", AboutToShow, 0),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", AboutToShowGroup, 0),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END};

}  // namespace tarrow
