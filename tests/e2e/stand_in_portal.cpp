// A stand-in for the desktop portal's global shortcuts on a private session
// bus. It records what it is asked to bind, answers as its options say, and
// emits Activated when a test calls its Activate method:
//   dbus-send --session --dest=org.freedesktop.portal.Desktop --print-reply
//     /org/freedesktop/portal/desktop org.tarrow.Test.Activate string:ID
// Usage: stand_in_portal RECORD-FILE [all | all-but=ID | cancel | no-interface]
// The record holds "app ID" (the host registry), "version" (each read of the
// shortcuts version), "bind ID<TAB>DESCRIPTION<TAB>TRIGGER" lines and "closed".

#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";

struct Portal {
    std::FILE* record = nullptr;
    std::string mode = "all";
    std::string refusedId;  // all-but=ID
    std::string sessionPath;
    std::vector<sd_bus_slot*> sessionSlots;
};

void Record(Portal& portal, const std::string& line) {
    std::fprintf(portal.record, "%s\n", line.c_str());
    std::fflush(portal.record);
}

std::string SenderElement(sd_bus_message* m) {
    std::string out;
    for (const char* c = sd_bus_message_get_sender(m) + 1; *c; ++c) out += *c == '.' ? '_' : *c;
    return out;
}

// Reads an a{sv} whose values are strings (others skipped).
int ReadStringOptions(sd_bus_message* m, std::map<std::string, std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        const char* value = nullptr;
        if (sd_bus_message_read(m, "v", "s", &value) >= 0) {
            out[key] = value;
        } else {
            sd_bus_message_skip(m, "v");
        }
        sd_bus_message_exit_container(m);
    }
    return sd_bus_message_exit_container(m);
}

int OnSessionClose(sd_bus_message* m, void* data, sd_bus_error*) {
    Record(*static_cast<Portal*>(data), "closed");
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kSessionVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", OnSessionClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

int OnCreateSession(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    std::map<std::string, std::string> options;
    ReadStringOptions(m, options);
    const std::string sender = SenderElement(m);
    const std::string request =
        std::string(kPath) + "/request/" + sender + "/" + options["handle_token"];
    portal.sessionPath =
        std::string(kPath) + "/session/" + sender + "/" + options["session_handle_token"];
    sd_bus* bus = sd_bus_message_get_bus(m);
    sd_bus_slot* slot = nullptr;
    sd_bus_add_object_vtable(bus, &slot, portal.sessionPath.c_str(),
                             "org.freedesktop.portal.Session", kSessionVtable, &portal);
    portal.sessionSlots.push_back(slot);
    Record(portal, "session");
    sd_bus_reply_method_return(m, "o", request.c_str());
    return sd_bus_emit_signal(bus, request.c_str(), "org.freedesktop.portal.Request", "Response",
                              "ua{sv}", 0u, 1, "session_handle", "s", portal.sessionPath.c_str());
}

int OnBindShortcuts(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* session = nullptr;
    sd_bus_message_read(m, "o", &session);
    std::vector<std::string> bound;
    sd_bus_message_enter_container(m, 'a', "(sa{sv})");
    while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
        const char* id = nullptr;
        sd_bus_message_read(m, "s", &id);
        std::map<std::string, std::string> shortcut;
        ReadStringOptions(m, shortcut);
        sd_bus_message_exit_container(m);
        Record(portal, std::string("bind ") + id + "\t" + shortcut["description"] + "\t" +
                           shortcut["preferred_trigger"]);
        const bool refused = (portal.mode == "all-but" && id == portal.refusedId);
        if (!refused) bound.push_back(id);
    }
    sd_bus_message_exit_container(m);
    const char* parent = nullptr;
    sd_bus_message_read(m, "s", &parent);
    std::map<std::string, std::string> options;
    ReadStringOptions(m, options);
    const std::string request =
        std::string(kPath) + "/request/" + SenderElement(m) + "/" + options["handle_token"];
    sd_bus_reply_method_return(m, "o", request.c_str());

    sd_bus* bus = sd_bus_message_get_bus(m);
    sd_bus_message* signal = nullptr;
    sd_bus_message_new_signal(bus, &signal, request.c_str(), "org.freedesktop.portal.Request",
                              "Response");
    const bool cancel = portal.mode == "cancel" || session != portal.sessionPath;
    sd_bus_message_append(signal, "u", cancel ? 1u : 0u);
    sd_bus_message_open_container(signal, 'a', "{sv}");
    if (!cancel) {
        sd_bus_message_open_container(signal, 'e', "sv");
        sd_bus_message_append(signal, "s", "shortcuts");
        sd_bus_message_open_container(signal, 'v', "a(sa{sv})");
        sd_bus_message_open_container(signal, 'a', "(sa{sv})");
        for (const std::string& id : bound) {
            sd_bus_message_append(signal, "(sa{sv})", id.c_str(), 1, "trigger_description", "s",
                                  "a key");
        }
        sd_bus_message_close_container(signal);
        sd_bus_message_close_container(signal);
        sd_bus_message_close_container(signal);
    }
    sd_bus_message_close_container(signal);
    const int r = sd_bus_send(bus, signal, nullptr);
    sd_bus_message_unref(signal);
    return r;
}

int OnVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
              void* data, sd_bus_error*) {
    Record(*static_cast<Portal*>(data), "version");
    return sd_bus_message_append(reply, "u", 2u);
}

int OnRegister(sd_bus_message* m, void* data, sd_bus_error*) {
    const char* app = nullptr;
    sd_bus_message_read(m, "s", &app);
    Record(*static_cast<Portal*>(data), std::string("app ") + (app ? app : ""));
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kRegistryVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Register", "sa{sv}", "", OnRegister, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

int OnActivate(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* id = nullptr;
    sd_bus_message_read(m, "s", &id);
    sd_bus* bus = sd_bus_message_get_bus(m);
    sd_bus_emit_signal(bus, kPath, "org.freedesktop.portal.GlobalShortcuts", "Activated",
                       "osta{sv}", portal.sessionPath.c_str(), id, uint64_t{1}, 0);
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kShortcutsVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("version", "u", OnVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", OnCreateSession, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("BindShortcuts", "oa(sa{sv})sa{sv}", "o", OnBindShortcuts,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Activated", "osta{sv}", 0),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kTestVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Activate", "s", "", OnActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    Portal portal;
    portal.record = std::fopen(argv[1], "a");
    if (portal.record == nullptr) return 2;
    if (argc > 2) portal.mode = argv[2];
    if (portal.mode.rfind("all-but=", 0) == 0) {
        portal.refusedId = portal.mode.substr(8);
        portal.mode = "all-but";
    }
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return 1;
    if (portal.mode != "no-interface") {
        sd_bus_add_object_vtable(bus, nullptr, kPath, "org.freedesktop.portal.GlobalShortcuts",
                                 kShortcutsVtable, &portal);
    }
    sd_bus_add_object_vtable(bus, nullptr, kPath, "org.freedesktop.host.portal.Registry",
                             kRegistryVtable, &portal);
    sd_bus_add_object_vtable(bus, nullptr, kPath, "org.tarrow.Test", kTestVtable, &portal);
    if (sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) < 0) return 1;
    Record(portal, "ready");
    while (true) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) return 0;  // the bus went away
        if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) return 0;
    }
}
