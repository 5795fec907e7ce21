// A stand-in for the desktop portal's global shortcuts on a private session
// bus. It records what it is asked to bind, answers as its mode says, and
// emits Activated when a test calls its Activate method:
//   dbus-send --session --dest=org.freedesktop.portal.Desktop --print-reply
//     /org/freedesktop/portal/desktop org.tarrow.Test.Activate string:ID
// Spoof(ID) sends the same Activated from a second connection of its own, a
// peer that is not the portal, once to everyone and once to the client.
// Usage: stand_in_portal RECORD-FILE [MODE]
//   all            binds BindShortcuts' list and answers with it (the default)
//   all-but=ID     the same, but refuses ID
//   cancel         the user cancels the bind
//   no-interface   no global shortcuts at all
//   create-only    as KDE Plasma 5.27: binds CreateSession's "shortcuts" option,
//                  ignores BindShortcuts' list and answers with the session's
//   list-only      binds CreateSession's list, names nothing in its answers;
//                  only ListShortcuts reads the session's shortcuts back
//   spoof          as all, but before each real Response the second peer sends a
//                  cancelling one on the same request path, broadcast and addressed
// The record holds "app ID" (the host registry), "version" (each read of the
// shortcuts version), "create ID<TAB>DESCRIPTION<TAB>TRIGGER" (CreateSession's
// list), "bind ..." (BindShortcuts' list, the same form), "list" and "closed".

#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequest = "org.freedesktop.portal.Request";

struct Portal {
    std::FILE* record = nullptr;
    std::string mode = "all";
    std::string refusedId;  // all-but=ID
    std::string sessionPath;
    std::string client;  // the unique name of whoever made the session
    std::vector<std::string> sessionShortcuts;  // what the session holds bound
    std::vector<sd_bus_slot*> sessionSlots;
    sd_bus* other = nullptr;  // the second peer
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

// Reads an a{sv} whose values are strings; "shortcuts" lists go to shortcuts.
int ReadOptions(sd_bus_message* m, std::map<std::string, std::string>& out,
                std::vector<std::map<std::string, std::string>>* shortcuts = nullptr);

// Reads a(sa{sv}): each shortcut's options, with its id under "id".
void ReadShortcutList(sd_bus_message* m, std::vector<std::map<std::string, std::string>>& out) {
    sd_bus_message_enter_container(m, 'a', "(sa{sv})");
    while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
        const char* id = nullptr;
        sd_bus_message_read(m, "s", &id);
        std::map<std::string, std::string> shortcut;
        ReadOptions(m, shortcut);
        shortcut["id"] = id;
        out.push_back(shortcut);
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
}

int ReadOptions(sd_bus_message* m, std::map<std::string, std::string>& out,
                std::vector<std::map<std::string, std::string>>* shortcuts) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        const char* value = nullptr;
        if (shortcuts && std::strcmp(key, "shortcuts") == 0 &&
            sd_bus_message_enter_container(m, 'v', "a(sa{sv})") > 0) {
            ReadShortcutList(m, *shortcuts);
            sd_bus_message_exit_container(m);
        } else if (sd_bus_message_read(m, "v", "s", &value) >= 0) {
            out[key] = value;
        } else {
            sd_bus_message_skip(m, "v");
        }
        sd_bus_message_exit_container(m);
    }
    return sd_bus_message_exit_container(m);
}

void RecordShortcuts(Portal& portal, const char* kind,
                     const std::vector<std::map<std::string, std::string>>& shortcuts) {
    for (auto shortcut : shortcuts) {
        Record(portal, std::string(kind) + " " + shortcut["id"] + "\t" + shortcut["description"] +
                           "\t" + shortcut["preferred_trigger"]);
    }
}

// Sends a Response on path: the code, the session handle if any, and the
// shortcuts when ids is given. To destination alone, or to everyone.
int SendResponse(sd_bus* bus, const std::string& path, unsigned code, const std::string& session,
                 const std::vector<std::string>* ids, const char* destination = nullptr) {
    sd_bus_message* signal = nullptr;
    sd_bus_message_new_signal(bus, &signal, path.c_str(), kRequest, "Response");
    if (destination) sd_bus_message_set_destination(signal, destination);
    sd_bus_message_append(signal, "u", code);
    sd_bus_message_open_container(signal, 'a', "{sv}");
    if (!session.empty()) sd_bus_message_append(signal, "{sv}", "session_handle", "s", session.c_str());
    if (ids) {
        sd_bus_message_open_container(signal, 'e', "sv");
        sd_bus_message_append(signal, "s", "shortcuts");
        sd_bus_message_open_container(signal, 'v', "a(sa{sv})");
        sd_bus_message_open_container(signal, 'a', "(sa{sv})");
        for (const std::string& id : *ids) {
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

// Returns once the bus has passed on everything the second peer sent: the
// bus keeps each connection's order, so its answer comes after them.
void SyncOther(Portal& portal) {
    sd_bus_call_method(portal.other, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                       "org.freedesktop.DBus", "GetId", nullptr, nullptr, "");
}

// In spoof mode the second peer answers first: cancelled, to everyone and
// to the client alone, on the client's own request path.
void SpoofResponse(Portal& portal, const std::string& request, sd_bus_message* call) {
    if (portal.mode != "spoof") return;
    SendResponse(portal.other, request, 1, "/org/freedesktop/portal/desktop/session/x/spoof", nullptr);
    SendResponse(portal.other, request, 1, "/org/freedesktop/portal/desktop/session/x/spoof",
                 nullptr, sd_bus_message_get_sender(call));
    SyncOther(portal);
}

int OnSessionClose(sd_bus_message* m, void* data, sd_bus_error*) {
    Record(*static_cast<Portal*>(data), "closed");
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kSessionVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", OnSessionClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

std::vector<std::string> Ids(const std::vector<std::map<std::string, std::string>>& shortcuts) {
    std::vector<std::string> ids;
    for (const auto& shortcut : shortcuts) ids.push_back(shortcut.at("id"));
    return ids;
}

bool BindsAtSession(const Portal& portal) {
    return portal.mode == "create-only" || portal.mode == "list-only";
}

int OnCreateSession(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    std::map<std::string, std::string> options;
    std::vector<std::map<std::string, std::string>> shortcuts;
    ReadOptions(m, options, &shortcuts);
    RecordShortcuts(portal, "create", shortcuts);
    const std::string sender = SenderElement(m);
    const std::string request =
        std::string(kPath) + "/request/" + sender + "/" + options["handle_token"];
    portal.sessionPath =
        std::string(kPath) + "/session/" + sender + "/" + options["session_handle_token"];
    portal.client = sd_bus_message_get_sender(m);
    if (BindsAtSession(portal)) portal.sessionShortcuts = Ids(shortcuts);
    sd_bus* bus = sd_bus_message_get_bus(m);
    sd_bus_slot* slot = nullptr;
    sd_bus_add_object_vtable(bus, &slot, portal.sessionPath.c_str(),
                             "org.freedesktop.portal.Session", kSessionVtable, &portal);
    portal.sessionSlots.push_back(slot);
    Record(portal, "session");
    sd_bus_reply_method_return(m, "o", request.c_str());
    SpoofResponse(portal, request, m);
    return SendResponse(bus, request, 0, portal.sessionPath, nullptr);
}

int OnBindShortcuts(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* session = nullptr;
    sd_bus_message_read(m, "o", &session);
    std::vector<std::map<std::string, std::string>> shortcuts;
    ReadShortcutList(m, shortcuts);
    RecordShortcuts(portal, "bind", shortcuts);
    if (!BindsAtSession(portal)) {
        for (const std::string& id : Ids(shortcuts)) {
            if (!(portal.mode == "all-but" && id == portal.refusedId)) {
                portal.sessionShortcuts.push_back(id);
            }
        }
    }
    const char* parent = nullptr;
    sd_bus_message_read(m, "s", &parent);
    std::map<std::string, std::string> options;
    ReadOptions(m, options);
    const std::string request =
        std::string(kPath) + "/request/" + SenderElement(m) + "/" + options["handle_token"];
    sd_bus_reply_method_return(m, "o", request.c_str());
    SpoofResponse(portal, request, m);

    sd_bus* bus = sd_bus_message_get_bus(m);
    const bool cancel = portal.mode == "cancel" || session != portal.sessionPath;
    if (cancel) return SendResponse(bus, request, 1, "", nullptr);
    const bool names = portal.mode != "list-only";
    return SendResponse(bus, request, 0, "", names ? &portal.sessionShortcuts : nullptr);
}

int OnListShortcuts(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* session = nullptr;
    sd_bus_message_read(m, "o", &session);
    std::map<std::string, std::string> options;
    ReadOptions(m, options);
    Record(portal, "list");
    const std::string request =
        std::string(kPath) + "/request/" + SenderElement(m) + "/" + options["handle_token"];
    sd_bus_reply_method_return(m, "o", request.c_str());
    const bool known = session == portal.sessionPath;
    return SendResponse(sd_bus_message_get_bus(m), request, known ? 0 : 2, "",
                        known ? &portal.sessionShortcuts : nullptr);
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

int EmitActivated(sd_bus* bus, const Portal& portal, const char* id, const char* destination) {
    sd_bus_message* signal = nullptr;
    sd_bus_message_new_signal(bus, &signal, kPath, "org.freedesktop.portal.GlobalShortcuts",
                              "Activated");
    if (destination) sd_bus_message_set_destination(signal, destination);
    sd_bus_message_append(signal, "osta{sv}", portal.sessionPath.c_str(), id, uint64_t{1}, 0);
    const int r = sd_bus_send(bus, signal, nullptr);
    sd_bus_message_unref(signal);
    return r;
}

int OnActivate(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* id = nullptr;
    sd_bus_message_read(m, "s", &id);
    EmitActivated(sd_bus_message_get_bus(m), portal, id, nullptr);
    return sd_bus_reply_method_return(m, "");
}

int OnSpoof(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& portal = *static_cast<Portal*>(data);
    const char* id = nullptr;
    sd_bus_message_read(m, "s", &id);
    EmitActivated(portal.other, portal, id, nullptr);
    EmitActivated(portal.other, portal, id, portal.client.c_str());
    SyncOther(portal);  // delivered before the reply lets the test go on
    return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kShortcutsVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("version", "u", OnVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", OnCreateSession, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("BindShortcuts", "oa(sa{sv})sa{sv}", "o", OnBindShortcuts,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ListShortcuts", "oa{sv}", "o", OnListShortcuts, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Activated", "osta{sv}", 0),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kTestVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Activate", "s", "", OnActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Spoof", "s", "", OnSpoof, SD_BUS_VTABLE_UNPRIVILEGED),
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
    if (sd_bus_open_user(&bus) < 0 || sd_bus_open_user(&portal.other) < 0) return 1;
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
