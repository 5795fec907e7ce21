// The StatusNotifierItem and its com.canonical.dbusmenu menu on the session
// bus. Everything runs on the main thread: sd-bus calls the handlers below
// from the event wait's processing of the bus.

#include "platform/linux/status_notifier_tray.hpp"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/bus_handles.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
// Menu ids on the bus: the root and its one entry. The caller's own id for the
// entry is kept apart and returned by TakeChosenItem.
constexpr int32_t kRootId = 0;
constexpr int32_t kEntryId = 1;


// Runs a handler's body so that no exception reaches sd-bus.
template <typename Body>
int Guarded(sd_bus_error* error, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return sd_bus_error_set_const(error, SD_BUS_ERROR_FAILED, "The tray could not answer.");
    }
}

// Chains sd-bus calls: stops at the first failure and keeps its code.
class Steps {
public:
    Steps& operator<<(int result) {
        if (result_ >= 0 && result < 0) result_ = result;
        return *this;
    }
    int Result() const { return result_; }

private:
    int result_ = 0;
};

// A square of opaque black pixels, ARGB32 in network byte order.
int AppendBlackImage(sd_bus_message* m, int side) {
    const std::vector<uint8_t> pixels = [side] {
        std::vector<uint8_t> argb(size_t(side) * size_t(side) * 4, 0);
        for (size_t i = 0; i < argb.size(); i += 4) argb[i] = 0xFF;
        return argb;
    }();
    Steps steps;
    steps << sd_bus_message_open_container(m, 'r', "iiay") << sd_bus_message_append(m, "ii", side, side)
          << sd_bus_message_append_array(m, 'y', pixels.data(), pixels.size())
          << sd_bus_message_close_container(m);
    return steps.Result();
}

int ReadStrings(sd_bus_message* m, std::vector<std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    if (r < 0) return r;
    const char* text = nullptr;
    while ((r = sd_bus_message_read_basic(m, 's', &text)) > 0) out.emplace_back(text);
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

int ReadIds(sd_bus_message* m, std::vector<int32_t>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "i");
    if (r < 0) return r;
    int32_t id = 0;
    while ((r = sd_bus_message_read_basic(m, 'i', &id)) > 0) out.push_back(id);
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

int AppendIds(sd_bus_message* m, const std::vector<int32_t>& ids) {
    return sd_bus_message_append_array(m, 'i', ids.data(), ids.size() * sizeof(int32_t));
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

struct MenuProperty {
    const char* name;
    std::string text;  // a string property, unless isFlag
    bool isFlag = false;
    bool flag = false;
};

class Tray final : public StatusNotifierTray {
public:
    Tray(sd_bus* bus, std::u16string_view tooltip)
        : bus_(sd_bus_ref(bus)), tooltip_(Utf16ToUtf8(tooltip)) {}

    ~Tray() override {
        // The watcher sees the name go and drops the item; the caller flushes the bus.
        if (!name_.empty()) sd_bus_release_name_async(bus_.get(), nullptr, name_.c_str(), nullptr, nullptr);
    }

    // Exports both objects, takes a name of our own and asks the watcher to show
    // the item. The watcher's answer comes later, so a slow host never holds start-up.
    bool Register() {
        sd_bus_slot* slot = nullptr;
        if (sd_bus_add_object_vtable(bus_.get(), &slot, kItemPath, kItemInterface, kItemVtable, this) < 0)
            return false;
        itemSlot_.reset(slot);
        if (sd_bus_add_object_vtable(bus_.get(), &slot, kMenuPath, kMenuInterface, kMenuVtable, this) < 0)
            return false;
        menuSlot_.reset(slot);
        if (!RequestName()) return false;
        if (sd_bus_call_method_async(bus_.get(), &slot, kWatcherName, kWatcherPath, kWatcherName,
                                     "RegisterStatusNotifierItem", OnRegistered, nullptr, "s",
                                     name_.c_str()) < 0)
            return false;
        registerSlot_.reset(slot);
        return true;
    }

    void SetTooltip(std::u16string_view tooltip) override {
        std::string text = Utf16ToUtf8(tooltip);
        if (text == tooltip_) return;
        tooltip_ = std::move(text);
        sd_bus_emit_signal(bus_.get(), kItemPath, kItemInterface, "NewToolTip", "");
    }

    void SetMenuItem(int64_t itemId, std::u16string_view text) override {
        itemId_ = itemId;
        label_ = LiteralLabel(text);
        hasEntry_ = true;
        ++revision_;
        sd_bus_emit_signal(bus_.get(), kMenuPath, kMenuInterface, "LayoutUpdated", "ui", revision_,
                           kRootId);
    }

    std::optional<int64_t> TakeChosenItem() override {
        std::optional<int64_t> chosen;
        chosen.swap(chosen_);
        return chosen;
    }

private:
    bool RequestName() {
        for (int n = 1; n <= 16; ++n) {
            std::string name = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" +
                               std::to_string(n);
            const int r = sd_bus_request_name(bus_.get(), name.c_str(), 0);
            if (r >= 0) {
                name_ = std::move(name);
                return true;
            }
            if (r != -EEXIST && r != -EALREADY) return false;
        }
        return false;
    }

    bool Exists(int32_t id) const { return id == kRootId || (id == kEntryId && hasEntry_); }

    std::vector<MenuProperty> PropertiesOf(int32_t id) const {
        if (id == kRootId) return {{"children-display", "submenu"}};
        return {{"type", "standard"}, {"label", label_}, {"enabled", "", true, true},
                {"visible", "", true, true}};
    }

    int AppendProperties(sd_bus_message* m, int32_t id, const std::vector<std::string>& wanted) const {
        Steps steps;
        steps << sd_bus_message_open_container(m, 'a', "{sv}");
        for (const MenuProperty& property : PropertiesOf(id)) {
            if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), property.name) == wanted.end())
                continue;
            steps << sd_bus_message_open_container(m, 'e', "sv");
            steps << sd_bus_message_append(m, "s", property.name);
            if (property.isFlag)
                steps << sd_bus_message_append(m, "v", "b", int(property.flag));
            else
                steps << sd_bus_message_append(m, "v", "s", property.text.c_str());
            steps << sd_bus_message_close_container(m);
        }
        steps << sd_bus_message_close_container(m);
        return steps.Result();
    }

    // (ia{sv}av): the item, and its children down to depth levels (-1: all).
    int AppendLayout(sd_bus_message* m, int32_t id, int32_t depth,
                     const std::vector<std::string>& wanted) const {
        Steps steps;
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

    // Builds a reply with fill(reply) and sends it.
    template <typename Fill>
    static int Reply(sd_bus_message* call, Fill&& fill) {
        sd_bus_message* raw = nullptr;
        const int r = sd_bus_message_new_method_return(call, &raw);
        if (r < 0) return r;
        const BusMessage reply(raw);
        Steps steps;
        steps << fill(reply.get()) << sd_bus_send(nullptr, reply.get(), nullptr);
        return steps.Result();
    }

    static int OnRegistered(sd_bus_message* reply, void*, sd_bus_error*) noexcept {
        // A host that refuses the item leaves it unseen; everything else goes on.
        if (const sd_bus_error* error = sd_bus_message_get_error(reply))
            std::fprintf(stderr, "Tarrow Desk: the tray host did not take the icon (%s).\n",
                         error->message ? error->message : error->name);
        return 0;
    }

    static int GetItemProperty(sd_bus*, const char*, const char*, const char* property,
                               sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        auto* self = static_cast<Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            const std::string name = property;
            if (name == "Category") return sd_bus_message_append(m, "s", "ApplicationStatus");
            if (name == "Id") return sd_bus_message_append(m, "s", "tarrow-desk");
            if (name == "Title") return sd_bus_message_append(m, "s", "Tarrow Desk");
            if (name == "Status") return sd_bus_message_append(m, "s", "Active");
            if (name == "WindowId") return sd_bus_message_append(m, "i", 0);
            if (name == "ItemIsMenu") return sd_bus_message_append(m, "b", 1);
            if (name == "Menu") return sd_bus_message_append(m, "o", kMenuPath);
            if (name == "IconPixmap") {
                Steps steps;
                steps << sd_bus_message_open_container(m, 'a', "(iiay)") << AppendBlackImage(m, 16)
                      << AppendBlackImage(m, 32) << sd_bus_message_close_container(m);
                return steps.Result();
            }
            if (name == "ToolTip") {
                return sd_bus_message_append(m, "(sa(iiay)ss)", "", 0, self->tooltip_.c_str(), "");
            }
            if (name.ends_with("Pixmap")) return sd_bus_message_append(m, "a(iiay)", 0);
            return sd_bus_message_append(m, "s", "");  // the other icon names, the theme path
        });
    }

    static int GetMenuProperty(sd_bus*, const char*, const char*, const char* property,
                               sd_bus_message* m, void*, sd_bus_error* error) noexcept {
        return Guarded(error, [&]() -> int {
            const std::string name = property;
            if (name == "Version") return sd_bus_message_append(m, "u", 3u);
            if (name == "TextDirection") return sd_bus_message_append(m, "s", "ltr");
            if (name == "Status") return sd_bus_message_append(m, "s", "normal");
            return sd_bus_message_append(m, "as", 0);  // IconThemePath
        });
    }

    // Left clicks, scrolling and the item's own context menu do nothing here;
    // hosts open the dbusmenu instead (ItemIsMenu).
    static int IgnoreCall(sd_bus_message* m, void*, sd_bus_error* error) noexcept {
        return Guarded(error, [&] { return sd_bus_reply_method_return(m, ""); });
    }

    static int GetLayout(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        const auto* self = static_cast<const Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            int32_t parent = 0, depth = 0;
            std::vector<std::string> wanted;
            Steps steps;
            steps << sd_bus_message_read(m, "ii", &parent, &depth) << ReadStrings(m, wanted);
            if (steps.Result() < 0) return steps.Result();
            if (!self->Exists(parent)) return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item.");
            return Reply(m, [&](sd_bus_message* reply) {
                Steps fill;
                fill << sd_bus_message_append(reply, "u", self->revision_)
                     << self->AppendLayout(reply, parent, depth, wanted);
                return fill.Result();
            });
        });
    }

    static int GetGroupProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        const auto* self = static_cast<const Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            std::vector<int32_t> ids;
            std::vector<std::string> wanted;
            Steps steps;
            steps << ReadIds(m, ids) << ReadStrings(m, wanted);
            if (steps.Result() < 0) return steps.Result();
            if (ids.empty()) ids = {kRootId, kEntryId};
            return Reply(m, [&](sd_bus_message* reply) {
                Steps fill;
                fill << sd_bus_message_open_container(reply, 'a', "(ia{sv})");
                for (const int32_t id : ids) {
                    if (!self->Exists(id)) continue;
                    fill << sd_bus_message_open_container(reply, 'r', "ia{sv}")
                         << sd_bus_message_append(reply, "i", id) << self->AppendProperties(reply, id, wanted)
                         << sd_bus_message_close_container(reply);
                }
                fill << sd_bus_message_close_container(reply);
                return fill.Result();
            });
        });
    }

    static int GetProperty(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        const auto* self = static_cast<const Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            int32_t id = 0;
            const char* name = nullptr;
            const int r = sd_bus_message_read(m, "is", &id, &name);
            if (r < 0) return r;
            if (self->Exists(id)) {
                for (const MenuProperty& property : self->PropertiesOf(id)) {
                    if (std::string_view(property.name) != name) continue;
                    return property.isFlag ? sd_bus_reply_method_return(m, "v", "b", int(property.flag))
                                           : sd_bus_reply_method_return(m, "v", "s", property.text.c_str());
                }
            }
            return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item property.");
        });
    }

    // One event: "clicked" on the entry is remembered for TakeChosenItem.
    // False when the id names no item.
    bool TakeEvent(int32_t id, std::string_view event) {
        if (!Exists(id)) return false;
        if (id == kEntryId && event == "clicked") chosen_ = itemId_;
        return true;
    }

    static int Event(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        auto* self = static_cast<Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            int32_t id = 0;
            const char* event = nullptr;
            Steps steps;
            steps << sd_bus_message_read(m, "is", &id, &event) << sd_bus_message_skip(m, "vu");
            if (steps.Result() < 0) return steps.Result();
            if (!self->TakeEvent(id, event)) return sd_bus_error_set_const(error, kInvalidArgs, "No such menu item.");
            return sd_bus_reply_method_return(m, "");
        });
    }

    static int EventGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        auto* self = static_cast<Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            std::vector<int32_t> unknown;
            int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
            while (r >= 0 && (r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
                int32_t id = 0;
                const char* event = nullptr;
                Steps steps;
                steps << sd_bus_message_read(m, "is", &id, &event) << sd_bus_message_skip(m, "vu")
                      << sd_bus_message_exit_container(m);
                if ((r = steps.Result()) < 0) break;
                if (!self->TakeEvent(id, event)) unknown.push_back(id);
            }
            if (r < 0) return r;
            return Reply(m, [&](sd_bus_message* reply) { return AppendIds(reply, unknown); });
        });
    }

    static int AboutToShow(sd_bus_message* m, void*, sd_bus_error* error) noexcept {
        // The menu never changes on opening.
        return Guarded(error, [&] { return sd_bus_reply_method_return(m, "b", 0); });
    }

    static int AboutToShowGroup(sd_bus_message* m, void* userdata, sd_bus_error* error) noexcept {
        const auto* self = static_cast<const Tray*>(userdata);
        return Guarded(error, [&]() -> int {
            std::vector<int32_t> ids, unknown;
            const int r = ReadIds(m, ids);
            if (r < 0) return r;
            for (const int32_t id : ids) {
                if (!self->Exists(id)) unknown.push_back(id);
            }
            return Reply(m, [&](sd_bus_message* reply) {
                Steps fill;
                fill << AppendIds(reply, {}) << AppendIds(reply, unknown);
                return fill.Result();
            });
        });
    }

    static constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;
    static constexpr sd_bus_vtable kItemVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Category", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("Id", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("Title", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("Status", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("WindowId", "i", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("IconThemePath", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("IconName", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("IconPixmap", "a(iiay)", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("OverlayIconName", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("AttentionIconName", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("AttentionMovieName", "s", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", GetItemProperty, 0, 0),
        SD_BUS_PROPERTY("ItemIsMenu", "b", GetItemProperty, 0, kConst),
        SD_BUS_PROPERTY("Menu", "o", GetItemProperty, 0, kConst),
        SD_BUS_METHOD("ContextMenu", "ii", "", IgnoreCall, 0),
        SD_BUS_METHOD("Activate", "ii", "", IgnoreCall, 0),
        SD_BUS_METHOD("SecondaryActivate", "ii", "", IgnoreCall, 0),
        SD_BUS_METHOD("Scroll", "is", "", IgnoreCall, 0),
        SD_BUS_SIGNAL("NewTitle", "", 0),
        SD_BUS_SIGNAL("NewIcon", "", 0),
        SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
        SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
        SD_BUS_SIGNAL("NewToolTip", "", 0),
        SD_BUS_SIGNAL("NewStatus", "s", 0),
        SD_BUS_VTABLE_END};
    static constexpr sd_bus_vtable kMenuVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Version", "u", GetMenuProperty, 0, kConst),
        SD_BUS_PROPERTY("TextDirection", "s", GetMenuProperty, 0, kConst),
        SD_BUS_PROPERTY("Status", "s", GetMenuProperty, 0, kConst),
        SD_BUS_PROPERTY("IconThemePath", "as", GetMenuProperty, 0, kConst),
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

    BusRef bus_;
    std::string tooltip_;
    std::string label_;
    int64_t itemId_ = 0;
    bool hasEntry_ = false;
    uint32_t revision_ = 1;
    std::optional<int64_t> chosen_;
    std::string name_;  // the well-known name, once ours
    // Declared last, so dropped first: no handler or reply reaches a half-gone tray.
    BusSlot itemSlot_, menuSlot_, registerSlot_;
};

bool WatcherPresent(sd_bus* bus) {
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "NameHasOwner", nullptr, &raw, "s",
                                     kWatcherName);
    const BusMessage reply(raw);
    int present = 0;
    return r >= 0 && sd_bus_message_read(reply.get(), "b", &present) >= 0 && present;
}

}  // namespace

std::unique_ptr<StatusNotifierTray> RegisterStatusNotifierTray(sd_bus* bus,
                                                               std::u16string_view tooltip) {
    if (bus == nullptr || !WatcherPresent(bus)) return nullptr;
    auto tray = std::make_unique<Tray>(bus, tooltip);
    if (!tray->Register()) return nullptr;
    return tray;
}

}  // namespace tarrow
