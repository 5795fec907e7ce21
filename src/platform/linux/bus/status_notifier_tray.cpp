// The StatusNotifierItem on the session bus; its menu is tray_menu.cpp's.
// Everything runs on the main thread: sd-bus calls the handlers below from
// the event wait's processing of the bus.

#include "platform/linux/bus/status_notifier_tray.hpp"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/bus/bus_handles.hpp"
#include "platform/linux/bus/tray_menu.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";

// A square of opaque black pixels, ARGB32 in network byte order.
int AppendBlackImage(sd_bus_message* m, int side) {
    const std::vector<uint8_t> pixels = [side] {
        std::vector<uint8_t> argb(size_t(side) * size_t(side) * 4, 0);
        for (size_t i = 0; i < argb.size(); i += 4) argb[i] = 0xFF;
        return argb;
    }();
    BusSteps steps;
    steps << sd_bus_message_open_container(m, 'r', "iiay") << sd_bus_message_append(m, "ii", side, side)
          << sd_bus_message_append_array(m, 'y', pixels.data(), pixels.size())
          << sd_bus_message_close_container(m);
    return steps.Result();
}

class Tray final : public StatusNotifierTray {
public:
    Tray(sd_bus* bus, std::u16string_view tooltip)
        : bus_(sd_bus_ref(bus)), tooltip_(Utf16ToUtf8(tooltip)), menu_(bus) {}

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
        if (!menu_.Export(kMenuPath)) return false;
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

    void SetMenuItem(int64_t itemId, std::u16string_view text) override { menu_.SetItem(itemId, text); }
    std::optional<int64_t> TakeChosenItem() override { return menu_.TakeChosenItem(); }

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
        return GuardedBusCall(error, [&]() -> int {
            const std::string name = property;
            if (name == "Category") return sd_bus_message_append(m, "s", "ApplicationStatus");
            if (name == "Id") return sd_bus_message_append(m, "s", "tarrow-desk");
            if (name == "Title") return sd_bus_message_append(m, "s", "Tarrow Desk");
            if (name == "Status") return sd_bus_message_append(m, "s", "Active");
            if (name == "WindowId") return sd_bus_message_append(m, "i", 0);
            if (name == "ItemIsMenu") return sd_bus_message_append(m, "b", 1);
            if (name == "Menu") return sd_bus_message_append(m, "o", kMenuPath);
            if (name == "IconPixmap") {
                BusSteps steps;
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

    // Left clicks, scrolling and the item's own context menu do nothing here;
    // hosts open the dbusmenu instead (ItemIsMenu).
    static int IgnoreCall(sd_bus_message* m, void*, sd_bus_error* error) noexcept {
        return GuardedBusCall(error, [&] { return sd_bus_reply_method_return(m, ""); });
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

    BusRef bus_;
    std::string tooltip_;
    std::string name_;  // the well-known name, once ours
    TrayMenu menu_;
    // Declared last, so dropped first: no handler or reply reaches a half-gone tray.
    BusSlot itemSlot_, registerSlot_;
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
