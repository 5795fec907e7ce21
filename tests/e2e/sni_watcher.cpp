// A stand-in StatusNotifierWatcher and host for the tray's end-to-end test.
//   sni_watcher serve              owns org.kde.StatusNotifierWatcher; prints "ready", then
//                                  "registered NAME", "NewToolTip" and "vanished NAME" lines as
//                                  items come, change their tips and go
//   sni_watcher show NAME          reads the item as a host does: one KEY=VALUE line each
//   sni_watcher click NAME LABEL   sends "clicked" to the menu entry with that label
//   sni_watcher flood NAME         calls the menu as a faulty or hostile peer would (600,000
//                                  ids and names, 60,000 events); each answer must be small
//                                  and come soon, then a plain call must answer within 100 ms
// Exit code 0 on success; a failed call prints why on standard error.

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

int Fail(const char* what, int r) {
    std::fprintf(stderr, "sni_watcher: %s: %s\n", what, std::strerror(-r));
    return 1;
}

// --- serve

std::set<std::string> items;

int RegisterItem(sd_bus_message* m, void*, sd_bus_error*) noexcept {
    const char* service = nullptr;
    if (int r = sd_bus_message_read(m, "s", &service); r < 0) return r;
    std::string name = service;
    if (name.starts_with("/")) name = std::string(sd_bus_message_get_sender(m)) + name;
    items.insert(name);
    std::printf("registered %s\n", name.c_str());
    std::fflush(stdout);
    sd_bus_emit_signal(sd_bus_message_get_bus(m), "/StatusNotifierWatcher",
                       "org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered", "s", name.c_str());
    return sd_bus_reply_method_return(m, "");
}

int NameOwnerChanged(sd_bus_message* m, void*, sd_bus_error*) noexcept {
    const char *name = nullptr, *from = nullptr, *to = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &from, &to) < 0 || *to != '\0') return 0;
    if (items.erase(name) > 0) {
        std::printf("vanished %s\n", name);
        std::fflush(stdout);
    }
    return 0;
}

int NewToolTip(sd_bus_message*, void*, sd_bus_error*) noexcept {
    std::printf("NewToolTip\n");
    std::fflush(stdout);
    return 0;
}

int GetWatcherProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* m,
                       void*, sd_bus_error*) noexcept {
    const std::string name = property;
    if (name == "IsStatusNotifierHostRegistered") return sd_bus_message_append(m, "b", 1);
    if (name == "ProtocolVersion") return sd_bus_message_append(m, "i", 0);
    std::vector<const char*> names;
    for (const std::string& item : items) names.push_back(item.c_str());
    names.push_back(nullptr);
    return sd_bus_message_append_strv(m, const_cast<char**>(names.data()));
}

const sd_bus_vtable kWatcherVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", RegisterItem, 0),
    SD_BUS_PROPERTY("RegisteredStatusNotifierItems", "as", GetWatcherProperty, 0, 0),
    SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", GetWatcherProperty, 0, 0),
    SD_BUS_PROPERTY("ProtocolVersion", "i", GetWatcherProperty, 0, 0),
    SD_BUS_SIGNAL("StatusNotifierItemRegistered", "s", 0),
    SD_BUS_SIGNAL("StatusNotifierItemUnregistered", "s", 0),
    SD_BUS_SIGNAL("StatusNotifierHostRegistered", "", 0),
    SD_BUS_VTABLE_END};

int Serve(sd_bus* bus) {
    int r = sd_bus_match_signal(bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameOwnerChanged", NameOwnerChanged, nullptr);
    if (r < 0) return Fail("watching names", r);
    r = sd_bus_match_signal(bus, nullptr, nullptr, kItemPath, kItemInterface, "NewToolTip", NewToolTip, nullptr);
    if (r < 0) return Fail("watching tooltips", r);
    r = sd_bus_add_object_vtable(bus, nullptr, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                                 kWatcherVtable, nullptr);
    if (r < 0) return Fail("exporting the watcher", r);
    if ((r = sd_bus_request_name(bus, "org.kde.StatusNotifierWatcher", 0)) < 0)
        return Fail("taking the watcher's name", r);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        if ((r = sd_bus_process(bus, nullptr)) < 0) return Fail("processing", r);
        if (r == 0 && (r = sd_bus_wait(bus, UINT64_MAX)) < 0) return Fail("waiting", r);
    }
}

// --- the host's side

struct MenuEntry {
    int32_t id;
    std::string label;
};

// The root's children in GetLayout's answer: (u(ia{sv}av)).
int ReadEntries(sd_bus_message* reply, std::vector<MenuEntry>& entries) {
    uint32_t revision = 0;
    int32_t id = 0;
    int r = sd_bus_message_read(reply, "u", &revision);
    if (r >= 0) r = sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
    if (r >= 0) r = sd_bus_message_read(reply, "i", &id);
    if (r >= 0) r = sd_bus_message_skip(reply, "a{sv}");
    if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "v");
    while (r >= 0 && (r = sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)")) > 0) {
        MenuEntry entry{};
        r = sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
        if (r >= 0) r = sd_bus_message_read(reply, "i", &entry.id);
        if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "{sv}");
        while (r >= 0 && (r = sd_bus_message_enter_container(reply, 'e', "sv")) > 0) {
            const char* key = nullptr;
            r = sd_bus_message_read(reply, "s", &key);
            if (r >= 0 && std::strcmp(key, "label") == 0) {
                const char* label = nullptr;
                r = sd_bus_message_read(reply, "v", "s", &label);
                if (r >= 0) entry.label = label;
            } else if (r >= 0) {
                r = sd_bus_message_skip(reply, "v");
            }
            if (r >= 0) r = sd_bus_message_exit_container(reply);
        }
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        if (r >= 0) r = sd_bus_message_skip(reply, "av");
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        entries.push_back(entry);
    }
    return r;
}

int MenuEntries(sd_bus* bus, const char* item, std::string& menuPath, std::vector<MenuEntry>& entries) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const char* path = nullptr;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_get_property(bus, item, kItemPath, kItemInterface, "Menu", &error, &reply, "o");
    if (r >= 0) r = sd_bus_message_read(reply, "o", &path);
    if (r >= 0) {
        menuPath = path;
        reply = sd_bus_message_unref(reply);
        r = sd_bus_call_method(bus, item, menuPath.c_str(), "com.canonical.dbusmenu", "GetLayout", &error,
                               &reply, "iias", 0, -1, 0);
    }
    if (r >= 0) r = ReadEntries(reply, entries);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r;
}

// IconPixmap as "16x16 32x32", with " black" when every pixel is opaque black.
int DescribeIcons(sd_bus_message* reply, std::string& text) {
    bool black = true;
    int r = sd_bus_message_enter_container(reply, 'a', "(iiay)");
    while (r >= 0 && (r = sd_bus_message_enter_container(reply, 'r', "iiay")) > 0) {
        int32_t width = 0, height = 0;
        const void* pixels = nullptr;
        size_t size = 0;
        r = sd_bus_message_read(reply, "ii", &width, &height);
        if (r >= 0) r = sd_bus_message_read_array(reply, 'y', &pixels, &size);
        if (r >= 0) r = sd_bus_message_exit_container(reply);
        const auto* bytes = static_cast<const unsigned char*>(pixels);
        black = black && size == size_t(width) * size_t(height) * 4;
        for (size_t i = 0; black && i < size; ++i) black = bytes[i] == (i % 4 == 0 ? 0xFF : 0);
        text += std::to_string(width) + "x" + std::to_string(height) + " ";
    }
    text += black ? "black" : "not black";
    return r;
}

int Show(sd_bus* bus, const char* item) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    for (const char* name : {"Category", "Id", "Title", "Status", "IconName"}) {
        char* value = nullptr;
        const int r = sd_bus_get_property_string(bus, item, kItemPath, kItemInterface, name, &error, &value);
        if (r < 0) return Fail(name, r);
        std::printf("%s=%s\n", name, value);
        std::free(value);
    }
    int isMenu = 0;
    int r = sd_bus_get_property_trivial(bus, item, kItemPath, kItemInterface, "ItemIsMenu", &error, 'b', &isMenu);
    if (r < 0) return Fail("ItemIsMenu", r);
    std::printf("ItemIsMenu=%s\n", isMenu ? "true" : "false");

    sd_bus_message* reply = nullptr;
    std::string icons;
    r = sd_bus_get_property(bus, item, kItemPath, kItemInterface, "IconPixmap", &error, &reply, "a(iiay)");
    if (r >= 0) r = DescribeIcons(reply, icons);
    reply = sd_bus_message_unref(reply);
    if (r < 0) return Fail("IconPixmap", r);
    std::printf("IconPixmap=%s\n", icons.c_str());

    const char* title = nullptr;
    r = sd_bus_get_property(bus, item, kItemPath, kItemInterface, "ToolTip", &error, &reply, "(sa(iiay)ss)");
    if (r >= 0) r = sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss");
    if (r >= 0) r = sd_bus_message_skip(reply, "sa(iiay)");
    if (r >= 0) r = sd_bus_message_read(reply, "s", &title);
    if (r < 0) return Fail("ToolTip", r);
    std::printf("ToolTip=%s\n", title);
    sd_bus_message_unref(reply);

    std::string menuPath;
    std::vector<MenuEntry> entries;
    if ((r = MenuEntries(bus, item, menuPath, entries)) < 0) return Fail("GetLayout", r);
    for (const MenuEntry& entry : entries) std::printf("MenuItem=%s\n", entry.label.c_str());
    return 0;
}

int Click(sd_bus* bus, const char* item, const char* label) {
    std::string menuPath;
    std::vector<MenuEntry> entries;
    int r = MenuEntries(bus, item, menuPath, entries);
    if (r < 0) return Fail("GetLayout", r);
    for (const MenuEntry& entry : entries) {
        if (entry.label != label) continue;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        r = sd_bus_call_method(bus, item, menuPath.c_str(), "com.canonical.dbusmenu", "Event", &error, nullptr,
                               "isvu", entry.id, "clicked", "i", 0, 0u);
        sd_bus_error_free(&error);
        return r < 0 ? Fail("Event", r) : 0;
    }
    std::fprintf(stderr, "sni_watcher: no menu entry labelled %s\n", label);
    return 1;
}


// --- a flood of the menu

constexpr size_t kFlood = 600'000;

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One call of the flood: what it sends, and what must come back within two
// seconds (most of it the bus carrying megabytes): an answer whose array of listed elements (AboutToShowGroup: its
// second) holds at most most entries, or with refused, a LimitsExceeded error.
struct FloodCase {
    const char* method;
    std::function<int(sd_bus_message*)> append;
    const char* listed;
    size_t most;
    bool refused;
};

// Counts the entries of the array next in the reply.
int CountArray(sd_bus_message* reply, const char* contents, size_t& count) {
    count = 0;
    int r = sd_bus_message_enter_container(reply, 'a', contents);
    while (r >= 0 && sd_bus_message_at_end(reply, false) == 0) {
        if ((r = sd_bus_message_skip(reply, contents)) < 0) break;
        ++count;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(reply);
}

int FloodCall(sd_bus* bus, const char* item, const FloodCase& test) {
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &call, item, "/MenuBar", "com.canonical.dbusmenu",
                                           test.method);
    if (r >= 0) r = test.append(call);
    if (r < 0) return Fail(test.method, r);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const Clock::time_point start = Clock::now();
    r = sd_bus_call(bus, call, 10'000'000, &error, &reply);
    const long long took = MillisecondsSince(start);
    sd_bus_message_unref(call);
    const std::string errorName = r < 0 && error.name ? error.name : "";
    sd_bus_error_free(&error);
    size_t count = 0;
    if (r >= 0 && std::string_view(test.method) == "AboutToShowGroup") r = CountArray(reply, "i", count);
    if (r >= 0 && test.listed != nullptr) r = CountArray(reply, test.listed, count);
    sd_bus_message_unref(reply);
    std::printf("%s: %lld ms, %s, %zu listed\n", test.method, took,
                errorName.empty() ? "answered" : errorName.c_str(), count);
    const bool refused = errorName == "org.freedesktop.DBus.Error.LimitsExceeded";
    if (took > 2000 || refused != test.refused || (!refused && r < 0) || count > test.most) {
        std::fprintf(stderr, "sni_watcher: %s did not answer as it should\n", test.method);
        return 1;
    }
    return 0;
}

int Flood(sd_bus* bus, const char* item) {
    std::vector<int32_t> same(kFlood, 1), unknown(kFlood, 5), distinct(kFlood);
    for (size_t i = 0; i < kFlood; ++i) distinct[i] = int32_t(i);
    const auto ids = [](sd_bus_message* call, const std::vector<int32_t>& list) {
        return sd_bus_message_append_array(call, 'i', list.data(), list.size() * sizeof(int32_t));
    };
    const auto names = [](sd_bus_message* call, size_t count) {
        int r = sd_bus_message_open_container(call, 'a', "s");
        for (size_t i = 0; r >= 0 && i < count; ++i) r = sd_bus_message_append_basic(call, 's', "label");
        return r < 0 ? r : sd_bus_message_close_container(call);
    };
    const auto properties = [&](const std::vector<int32_t>& list, size_t nameCount) {
        return [&, nameCount](sd_bus_message* call) {
            const int r = ids(call, list);
            return r < 0 ? r : names(call, nameCount);
        };
    };
    const std::vector<FloodCase> cases = {
        {"GetGroupProperties", properties(same, 0), "(ia{sv})", 1, false},
        {"GetGroupProperties", properties(distinct, 0), "(ia{sv})", 2, false},
        {"GetGroupProperties", properties(same, kFlood), "(ia{sv})", 0, true},
        {"AboutToShowGroup", [&](sd_bus_message* c) { return ids(c, same); }, "i", 0, false},
        {"AboutToShowGroup", [&](sd_bus_message* c) { return ids(c, unknown); }, "i", 1, false},
        {"AboutToShowGroup", [&](sd_bus_message* c) { return ids(c, distinct); }, "i", 300, false},
        {"GetLayout",
         [&](sd_bus_message* c) {
             const int r = sd_bus_message_append(c, "ii", 0, -1);
             return r < 0 ? r : names(c, 0);
         },
         nullptr, 0, false},
        {"EventGroup",
         [&](sd_bus_message* c) {
             int r = sd_bus_message_open_container(c, 'a', "(isvu)");
             for (size_t i = 0; r >= 0 && i < kFlood / 10; ++i)
                 r = sd_bus_message_append(c, "(isvu)", int32_t(i + 2), "hovered", "i", 0, 0u);
             return r < 0 ? r : sd_bus_message_close_container(c);
         },
         "i", 0, true},
    };
    for (const FloodCase& test : cases) {
        if (FloodCall(bus, item, test) != 0) return 1;
    }
    // Still on the bus, and quick.
    const Clock::time_point start = Clock::now();
    std::string menuPath;
    std::vector<MenuEntry> entries;
    if (int r = MenuEntries(bus, item, menuPath, entries); r < 0) return Fail("GetLayout after the flood", r);
    const long long took = MillisecondsSince(start);
    std::printf("after the flood: %lld ms\n", took);
    if (took > 100) {
        std::fprintf(stderr, "sni_watcher: the menu answered in %lld ms after the flood\n", took);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    sd_bus* bus = nullptr;
    if (int r = sd_bus_open_user(&bus); r < 0) return Fail("opening the session bus", r);
    int code = 2;
    if (mode == "serve" && argc == 2) code = Serve(bus);
    if (mode == "show" && argc == 3) code = Show(bus, argv[2]);
    if (mode == "click" && argc == 4) code = Click(bus, argv[2], argv[3]);
    if (mode == "flood" && argc == 3) code = Flood(bus, argv[2]);
    if (code == 2) std::fprintf(stderr, "usage: sni_watcher serve | show NAME | click NAME LABEL | flood NAME\n");
    sd_bus_flush_close_unref(bus);
    return code;
}
