#!/usr/bin/env bash
# The real program on a Wayland session whose hotkeys come from the desktop
# portal: a stand-in portal on a private session bus records what it binds
# and presses shortcuts by emitting Activated. Boxes go to standard error
# without a display, to zenity on Xvfb with one.
# Usage: portal.sh PATH-TO-tarrow-desk SOURCE-DIR (TARROW_STAND_IN_PORTAL names the stand-in)
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

require dbus-daemon dbus-send zenity
portal_bin=${TARROW_STAND_IN_PORTAL:-}
[ -x "$portal_bin" ] || fail "TARROW_STAND_IN_PORTAL does not name the stand-in portal"
entry='^.+: [0-9]+%; [0-9]+\.[0-9]{2} (B|KB|MB|GB)\. [0-9]+ of [0-9]+$'
exit_box="Tarrow Desk: Error: Unable To register the exit hotkey. The app will now exit."

start_xvfb
export WAYLAND_DISPLAY=wayland-tarrow-test XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# run NAME PORTAL-MODE [DISPLAY]: a private bus, the stand-in portal, and the
# program in $work/NAME; sets $app. No display: boxes on standard error.
run() {
    local dir="$work/$1"
    mkdir -p "$dir"
    start_session_bus "$dir/bus"
    "$portal_bin" "$dir/portal.log" "$2" &
    pids+=($!)
    wait_for 10 grep -qs ready "$dir/portal.log" || fail "$1: the stand-in portal did not start"
    DISPLAY=${3:-} start "$dir" 60 </dev/null
    app=$started
}
# press ID: the portal emits Activated; spoof ID: a peer that is not the portal
# sends the same, to everyone and to the program alone.
press() {
    dbus-send --session --dest=org.freedesktop.portal.Desktop --type=method_call --print-reply \
        /org/freedesktop/portal/desktop "org.tarrow.Test.${2:-Activate}" "string:$1" >/dev/null ||
        fail "could not press shortcut $1"
}
spoof() { press "$1" Spoof; }
said() { has_lines "$work/$1/out" "$2" 1; }
bound() { lines_matching "$work/$1/portal.log" '^bind '; }
# copied NAME: the stand-in wl-copy got the welcome text.
copied() {
    local got
    got=$(cat "$work/$1/clipboard" 2>/dev/null) || true
    [ "$got" = "$welcome" ] || fail "$1: wl-copy got '$got'"
}
exits_with() {
    finish "$app" 15
    [ "$code" = "$2" ] || fail "$1: exit code $code, wanted $2"
}

# --- every shortcut: ids, descriptions (the labels) and triggers, then
# a press of "next" speaks an entry and "exit" ends the program and the session
run default all
wait_for 15 said default "$welcome" || fail "default: no welcome text"
[ "$(bound default)" = "$hotkey_count" ] ||
    fail "default: $(bound default) shortcuts bound, wanted $hotkey_count"
# The desktop entry's name is given to the portal before anything else is asked.
[ "$(sed -n 2p "$work/default/portal.log")" = "app tarrow-desk" ] ||
    fail "default: the program did not register as tarrow-desk first"
while IFS= read -r row; do
    grep -qxF "bind $row" "$work/default/portal.log" || fail "default: no shortcut '$row'"
done <<'ROWS'
0	exit	CTRL+ALT+SHIFT+q
3	next	CTRL+ALT+braceright
4	kill (confirm)	CTRL+ALT+SHIFT+BackSpace
13	CPU use	CTRL+ALT+exclam
16	focused name	CTRL+ALT+SHIFT+F1
19	copy	CTRL+ALT+SHIFT+c
ROWS
# CreateSession's options carry the same thirty, for portals that bind there.
diff <(sed -n 's/^bind //p' "$work/default/portal.log") \
    <(sed -n 's/^create //p' "$work/default/portal.log") >/dev/null ||
    fail "default: CreateSession's shortcuts differ from BindShortcuts'"
# Ids not written as we send them, and presses from a peer that is not the
# portal (exit among them), do nothing: the next line spoken is next's entry.
before=$(line_count "$work/default/out")
for id in 029 +1 " 1" 1x; do press "$id"; done
for id in 29 0; do spoof "$id"; done
press 3
wait_for 10 grep -qE "$entry" "$work/default/out" || fail "default: next spoke no entry"
[ "$(line_count "$work/default/out")" = $((before + 1)) ] || fail "default: more than next's entry was spoken"
press 0
exits_with default 0
[ "$(tail -n1 "$work/default/out")" = "Exiting" ] || fail "default: exit did not say Exiting"
grep -qx closed "$work/default/portal.log" || fail "default: the portal session was not closed"

# --- portals that bind at CreateSession (answering only there and in ListShortcuts),
# and a second peer that cancels each request on the program's own paths before
# the portal answers: all thirty bound, with one bind asked for
for mode in create-only list-only spoof; do
    run "$mode" "$mode"
    wait_for 15 said "$mode" "$welcome" || fail "$mode: no welcome text"
    ! grep -q 'Unable To register' "$work/$mode/err" || fail "$mode: a shortcut went unbound"
    [ "$(lines_matching "$work/$mode/portal.log" '^bind 0	')" = 1 ] || fail "$mode: not one bind"
    press 3
    wait_for 10 grep -qE "$entry" "$work/$mode/out" || fail "$mode: next spoke no entry"
    press 0
    exits_with "$mode" 0
done
grep -qx list "$work/list-only/portal.log" || fail "list-only: the session was not read back"
! grep -qx list "$work/create-only/portal.log" || fail "create-only: read back though all were named"

# --- a modifier of prefs.ini; copy goes through wl-copy on a Wayland session
mkdir -p "$work/custom" "$work/bin"
printf '[general]\nmodifier=alt+win\n' >"$work/custom/prefs.ini"
# A stand-in wl-copy (the real one needs a compositor): the text lands in the program's folder.
printf '#!/bin/sh\ncat >clipboard\n' >"$work/bin/wl-copy"
chmod +x "$work/bin/wl-copy"
PATH="$work/bin:$PATH" run custom all
wait_for 15 said custom "$welcome" || fail "custom: no welcome text"
grep -qxF "bind 0	exit	ALT+LOGO+q" "$work/custom/portal.log" ||
    fail "custom: exit not bound to ALT+LOGO+q"
press 19
wait_for 10 said custom "Copied $welcome" || fail "custom: copy did not say Copied"
copied custom
press 0
exits_with custom 0

# --- one shortcut left unbound: its box, and the program goes on
run one_refused all-but=3
wait_for 15 said one_refused "$welcome" || fail "one refused: no welcome text"
grep -qxF "Tarrow Desk: Error: Unable To register the next process hotkey." \
    "$work/one_refused/err" || fail "one refused: no box for the next process hotkey"
[ "$(lines_matching "$work/one_refused/err" 'Unable To register')" = 1 ] ||
    fail "one refused: more than one box"
press 3
press 0
exits_with one_refused 0
! grep -qE "$entry" "$work/one_refused/out" || fail "one refused: the unbound shortcut acted"

# --- the exit shortcut refused, or the dialog cancelled: the exit box, then the end
for mode in all-but=0 cancel; do
    name=${mode%%=*}
    run "$name" "$mode"
    exits_with "$name" 0
    grep -qF "$exit_box" "$work/$name/err" || fail "$mode: no exit hotkey box"
    [ "$(lines_equal "$work/$name/out" "$welcome")" = 0 ] || fail "$mode: the welcome was spoken"
done

# --- no shortcuts on the portal: X11 grabs, and the one line that says why
# they fail on Wayland; the clipboard is still Wayland's
PATH="$work/bin:$PATH" run x11 no-interface "$DISPLAY"
wait_for 15 said x11 "$welcome" || fail "x11: no welcome text"
[ "$(lines_matching "$work/x11/err" 'only work while an X11 window has focus')" = 1 ] ||
    fail "x11: not one line about X11 hotkeys on Wayland"
xdotool key ctrl+alt+shift+c
wait_for 10 said x11 "Copied $welcome" || fail "x11: copy did not say Copied"
copied x11
xdotool key ctrl+alt+shift+q
exits_with x11 0

# --- on a display: the welcome, a walk, the find prompt through zenity, exit
target="tarrowfind$$"
cp "$(command -v sleep)" "$work/$target"
"$work/$target" 120 &
pids+=($!)
run desktop all "$DISPLAY"
wait_for 15 said desktop "$welcome" || fail "desktop: no welcome text"
walk() {
    local before
    before=$(line_count "$work/desktop/out")
    press "$1"
    wait_for 10 grown "$work/desktop/out" "$before" || fail "desktop: shortcut $1 said nothing"
    said_last=$(tail -n1 "$work/desktop/out")
}
walk 3
[[ "$said_last" =~ \ 2\ of\ [0-9]+$ ]] || fail "desktop: next said '$said_last'"
walk 2
[[ "$said_last" =~ \ 1\ of\ [0-9]+$ ]] || fail "desktop: previous said '$said_last'"
before=$(line_count "$work/desktop/out")
press 11
answer_find_prompt "$target"
wait_for 10 grown "$work/desktop/out" "$before" || fail "desktop: find said nothing"
said_last=$(tail -n1 "$work/desktop/out")
[[ "$said_last" =~ ^$target:\ [0-9]+%\; ]] || fail "desktop: find said '$said_last'"
press 0
exits_with desktop 0

echo "portal: all checks passed"
