#!/usr/bin/env bash
# The tray of the real program under a private Xvfb and a private session bus,
# against the stand-in watcher: registration, the summary tooltip, the one menu
# item, a peer flooding the menu, "Exit" through the menu, the item gone at exit; and with no watcher on
# the bus, no item and the program as ever.
# Usage: tray.sh PATH-TO-tarrow-desk SOURCE-DIR   (TARROW_SNI_WATCHER: the stand-in)
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

watcher=${TARROW_SNI_WATCHER:-}
[ -x "$watcher" ] || fail "no stand-in watcher (TARROW_SNI_WATCHER)"
require dbus-daemon dbus-send

# stops PID NAME: the exit hotkey or the menu ended the copy with 0 after "Exiting".
stopped() {
    finish "$1" 15
    [ "$code" = 0 ] || fail "$2: exit code $code, wanted 0"
    [ "$(tail -n1 "$work/$2/out")" = "Exiting" ] || fail "$2: last line is not Exiting"
}
bus_names() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListNames
}

start_xvfb
start_session_bus "$work/bus"

# --- no watcher: no item on the bus, and the program runs and ends as ever
start "$work/plain" 120
plain=$started
wait_for 15 grep -qxF "$welcome" "$work/plain/out" || fail "no watcher: no welcome text"
names=$(bus_names) || fail "cannot list the bus's names"
grep -q '"org.freedesktop.DBus"' <<<"$names" || fail "the bus's names unread"
! grep -q StatusNotifierItem <<<"$names" || fail "no watcher, yet an item took a name"
xdotool key ctrl+alt+shift+q
stopped "$plain" plain

# --- the watcher: the item registers, shows the summary and the one item
"$watcher" serve >"$work/watcher.log" 2>&1 &
pids+=($!)
wait_for 10 grep -qx ready "$work/watcher.log" || fail "the stand-in watcher did not start"
start "$work/tray" 120
tray=$started
wait_for 15 grep -q '^registered ' "$work/watcher.log" || fail "the item did not register"
item=$(sed -n 's/^registered //p' "$work/watcher.log")
[[ "$item" =~ ^org\.kde\.StatusNotifierItem-[0-9]+-[0-9]+$ ]] || fail "registered as '$item'"

summary_shown() {
    "$watcher" show "$item" >"$work/show.log" 2>&1 &&
        grep -Eqx 'ToolTip=Tarrow: [0-9]+ processes, [0-9]+% CPU' "$work/show.log"
}
wait_for 15 summary_shown || fail "the tooltip shows no summary"
wait_for 5 grep -qx NewToolTip "$work/watcher.log" || fail "the new tooltip was not signalled"
for line in Category=ApplicationStatus Id=tarrow-desk "Title=Tarrow Desk" Status=Active \
    ItemIsMenu=true "IconPixmap=16x16 32x32 black" MenuItem=Exit; do
    grep -qxF "$line" "$work/show.log" || fail "the item lacks $line"
done
[ "$(lines_matching "$work/show.log" '^MenuItem=')" = 1 ] || fail "the menu holds more than one item"

# --- a peer floods the menu: small quick answers, and the program stays on the
# bus with its item and its hotkeys
"$watcher" flood "$item" >"$work/flood.log" 2>&1 || fail "the menu did not weather the flood: $(cat "$work/flood.log")"
! grep -q "vanished $item" "$work/watcher.log" || fail "the item left the bus in the flood"
"$watcher" show "$item" >"$work/show.log" 2>&1 || fail "the item is gone after the flood"
grep -qxF MenuItem=Exit "$work/show.log" || fail "the menu lost its entry in the flood"
xdotool key ctrl+alt+shift+bracketright
wait_for 10 grep -qE '^.+: [0-9]+%; ' "$work/tray/out" || fail "no hotkey answered after the flood"

# --- "Exit" through the menu: "Exiting", code 0, and the item leaves the watcher
"$watcher" click "$item" Exit || fail "the menu took no click on Exit"
stopped "$tray" tray
wait_for 5 grep -qxF "vanished $item" "$work/watcher.log" || fail "the item did not leave the watcher"

# --- a bus daemon that does not answer (stopped by the test, by its PID): the
# welcome within 2 s, the hotkeys as ever and the exit within 3 s; a copy
# started meanwhile shows its item once the daemon goes on
start_session_bus "$work/stalled-bus"
stalled_bus=$bus_pid
"$watcher" serve >"$work/stalled-watcher.log" 2>&1 &
pids+=($!)
wait_for 10 grep -qx ready "$work/stalled-watcher.log" || fail "the second stand-in watcher did not start"
kill -STOP "$stalled_bus"
resume_bus() { kill -CONT "$stalled_bus" 2>/dev/null || true; }
at_exit resume_bus

begun=$(now)
start "$work/stalled" 120
stalled=$started
wait_for 5 grep -qxF "$welcome" "$work/stalled/out" || fail "stalled bus: no welcome"
within "$begun" "$(now)" 2 || fail "stalled bus: the welcome came after more than 2 s"
xdotool key ctrl+alt+shift+space
repeated() { [ "$(lines_equal "$work/stalled/out" "$welcome")" = 2 ]; }
wait_for 3 repeated || fail "stalled bus: the repeat hotkey did nothing"
xdotool key ctrl+alt+shift+F6
wait_for 3 grep -qxF "PC CPU Monitor on" "$work/stalled/out" || fail "stalled bus: F6 did nothing"
pressed=$(now)
xdotool key ctrl+alt+shift+q
finish "$stalled" 10
[ "$code" = 0 ] || fail "stalled bus: exit code $code, wanted 0"
within "$pressed" "$(now)" 3 || fail "stalled bus: the exit took more than 3 s"
[ "$(tail -n1 "$work/stalled/out")" = "Exiting" ] || fail "stalled bus: last line is not Exiting"

start "$work/later" 120
later=$started
wait_for 5 grep -qxF "$welcome" "$work/later/out" || fail "stalled bus, second copy: no welcome"
sleep 0.5
! grep -q '^registered ' "$work/stalled-watcher.log" || fail "an item registered on a stopped bus"
resume_bus
wait_for 10 grep -q '^registered ' "$work/stalled-watcher.log" || fail "no item once the bus went on"
xdotool key ctrl+alt+shift+q
stopped "$later" later

echo "tray: all checks passed"
