#!/usr/bin/env bash
# The real program on the real KDE Plasma 5.27 chain: a private session bus
# (no service activation), kwin_wayland --virtual, xdg-desktop-portal with its
# KDE backend and a fresh configuration, so no stored keys interfere. The
# thirty shortcuts must reach KGlobalAccel, and each key combination, pressed
# for real through kwin's fake-input protocol, must give its hotkey's answer;
# the exit combination ends the program with 0 after "Exiting". Then the same
# with another modifier from prefs.ini. Skips (77) without the KDE packages.
# Usage: kde_plasma.sh PATH-TO-tarrow-desk SOURCE-DIR   (TARROW_FAKE_KEYS: the presser)
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

kwin=$(command -v kwin_wayland || true)
portal=/usr/libexec/xdg-desktop-portal
portal_kde=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
fake_keys=${TARROW_FAKE_KEYS:-}
for needed in "$kwin" "$portal" "$portal_kde" "$fake_keys"; do
    if [ ! -x "$needed" ]; then
        echo "SKIP: the KDE chain is not installed (kwin-wayland, xdg-desktop-portal, xdg-desktop-portal-kde, plasma-wayland-protocols)"
        exit 77
    fi
done
require dbus-daemon dbus-send

entry='^.+: [0-9]+%; [0-9]+\.[0-9]{2} (B|KB|MB|GB)\. [0-9]+ of [0-9]+$'
# The hotkeys' keys on the US layout, by id.
keys=(q grave bracketleft bracketright BackSpace Delete equal semicolon apostrophe minus k
    backslash slash 1 2 f F1 F2 F3 c F4 F5 p 3 F6 F7 4 F8 u space)

# A session bus of our own that starts nothing by itself.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
CONF
# The packaged kwin carries a file capability some machines refuse: a copy has none.
cp "$kwin" "$work/kwin_wayland"

has_name() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# desktop NAME: a fresh bus, kwin, and the portal with its KDE backend, all
# with their configuration in $work/NAME.
desktop() {
    local dir="$work/$1"
    mkdir -p "$dir/config" "$dir/data" "$dir/cache" "$dir/home"
    mkdir -m 700 "$dir/runtime"
    dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile --print-address=3 \
        3>"$dir/bus" >"$dir/dbus.log" 2>&1 &
    pids+=($!)
    wait_for 10 grep -qs . "$dir/bus" || fail "$1: no private bus"
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER
    export DBUS_SESSION_BUS_ADDRESS HOME="$dir/home" XDG_CONFIG_HOME="$dir/config"
    export XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache" XDG_RUNTIME_DIR="$dir/runtime"
    export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland NO_AT_BRIDGE=1
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$dir/bus")
    # A client without a desktop file may use fake input only so.
    KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$work/kwin_wayland" --virtual --socket wayland-tarrow \
        --no-lockscreen --no-kactivities >"$dir/kwin.log" 2>&1 &
    pids+=($!)
    wait_for 30 has_name org.kde.kglobalaccel || fail "$1: kwin did not start"
    WAYLAND_DISPLAY=wayland-tarrow QT_QPA_PLATFORM=offscreen "$portal_kde" >"$dir/portal-kde.log" 2>&1 &
    pids+=($!)
    wait_for 20 has_name org.freedesktop.impl.portal.desktop.kde || fail "$1: no KDE portal backend"
    WAYLAND_DISPLAY=wayland-tarrow "$portal" -r >"$dir/portal.log" 2>&1 &
    pids+=($!)
    wait_for 20 has_name org.freedesktop.portal.Desktop || fail "$1: no xdg-desktop-portal"
    export WAYLAND_DISPLAY=wayland-tarrow
}

# The ids KGlobalAccel holds for the program's component, one a line.
bound_ids() {
    local component
    for component in $(dbus-send --session --print-reply --dest=org.kde.kglobalaccel /kglobalaccel \
        org.kde.KGlobalAccel.allComponents | sed -n 's/.*object path "\(.*\)"/\1/p'); do
        dbus-send --session --print-reply --dest=org.kde.kglobalaccel "$component" \
            org.kde.kglobalaccel.Component.shortcutNames | sed -n 's/.*string "\(.*\)"/\1/p' >"$work/ids"
        if grep -qx 29 "$work/ids"; then
            cat "$work/ids"
            return
        fi
    done
}

# What the program said and showed, without the speech and braille sides' own
# status lines on standard error (no speech server runs in this test).
said() { cat "$work/$1/app/out" "$work/$1/app/err" 2>/dev/null | grep -v -E '^(Speech|Braille): '; }
said_lines() { said "$1" | wc -l; }
# answered NAME N: more than N lines said.
answered() { [ "$(said_lines "$1")" -gt "$2" ]; }

# What each hotkey says first (its action's shape, not the figures).
declare -A first_words=(
    [1]='^Processor: ' [6]="$entry" [8]="$entry" [9]="$entry" [10]='^No processes\.txt found\.$'
    [12]='^(Memory|CPU|Name)$' [13]='^CPU: [0-9]+%$' [14]=' of .+, [0-9]+%\.$'
    [15]='(is now the focused process|^No focused process)\.$' [16]='^.+, [0-9]+$|^No focused process\.$'
    [17]='^[0-9]+$|^No focused process\.$' [18]=' (B|KB|MB|GB)$|^No focused process\.$'
    [19]='^Copied ' [22]='^/|^No focused process\.$' [23]='seconds?$'
    [20]='^Focused Process CPU Monitor (on|off)$' [21]='^Focused Process memory Monitor (on|off)$'
    [24]='^PC CPU Monitor (on|off)$' [25]='^PC memory Monitor (on|off)$'
)

# press NAME MODIFIER ID: the key combination for real; the program must
# answer, and its first line must read as that hotkey's.
press() {
    local who=$1 before first
    before=$(said_lines "$who")
    "$fake_keys" "$2+${keys[$3]}" || fail "$1: could not press $2+${keys[$3]}"
    wait_for 10 answered "$who" "$before" ||
        fail "$1: $2+${keys[$3]} (hotkey $3) had no answer"
    sleep 0.3  # the rest of its answer, before the next press
    first=$(said "$who" | sed -n "$((before + 1))p")
    [ -z "${first_words[$3]:-}" ] || [[ "$first" =~ ${first_words[$3]} ]] ||
        fail "$1: hotkey $3 said '$first'"
}

# run NAME MODIFIER [prefs modifier]: the program on a fresh desktop; every
# combination pressed, the exit one last.
run() {
    local name=$1 modifier=$2 dir="$work/$1"
    desktop "$name"
    mkdir -p "$dir/app"
    [ -z "${3:-}" ] || printf '[general]\nmodifier=%s\n' "$3" >"$dir/app/prefs.ini"
    # The first process by name, for the hotkeys that end one.
    cp "$(command -v sleep)" "$dir/!tarrowtarget"
    "$dir/!tarrowtarget" 300 &
    target=$!
    pids+=("$target")
    # The process focused once the target is gone (the first by name is the
    # first started of those beginning with "!"): our own, so that it cannot end
    # between the focus press and the focused-process monitors' presses.
    cp "$(command -v sleep)" "$dir/!tarrowtarget-focus"
    "$dir/!tarrowtarget-focus" 300 &
    focus=$!
    pids+=("$focus")
    start "$dir/app" 150 </dev/null
    app=$started
    wait_for 30 has_lines "$dir/app/out" "$welcome" 1 || fail "$name: no welcome text"
    ! grep -q 'Unable To register' "$dir/app/err" || fail "$name: a hotkey went unbound"
    all_bound() { [ "$(bound_ids | wc -l)" = "$hotkey_count" ]; }
    wait_for 10 all_bound ||
        fail "$name: KGlobalAccel holds $(bound_ids | wc -l) of the $hotkey_count shortcuts"

    press "$name" "$modifier" 7  # first: the target
    grep -qE "^!tarrowtarget: " "$dir/app/out" || fail "$name: first did not reach the target"
    press "$name" "$modifier" 3
    tail -n1 "$dir/app/out" | grep -qE "$entry" || fail "$name: next spoke no entry"
    press "$name" "$modifier" 2
    tail -n1 "$dir/app/out" | grep -q "^!tarrowtarget: " || fail "$name: previous did not go back"
    # Kill without confirmation answers by ending the process, saying nothing.
    "$fake_keys" "$modifier+${keys[5]}" || fail "$name: could not press $modifier+Delete"
    wait_for 10 ended "$target" || fail "$name: kill did not end the target"
    # The update check answers only once a server does: pressed, and the rest
    # must still answer after it.
    "$fake_keys" "$modifier+${keys[28]}" || fail "$name: could not press $modifier+u"
    for id in 1 6 8 9 10 12 12 12 13 14 7 15 16 17 18 19 22 23 26 29 20 20 21 21 24 24 25 25 27 27; do
        # Plasma's own keys win over ours (the KGlobalAccel keeps them).
        if [[ " ${taken:-} " == *" $id "* ]]; then continue; fi
        press "$name" "$modifier" "$id"
    done
    # The two that ask: their box opens on kwin (zenity, a child of the
    # program) and Escape there answers no.
    local program box
    program=$(pgrep -P "$app" | head -n1)
    for id in 4 11; do
        "$fake_keys" "$modifier+${keys[$id]}" || fail "$name: could not press hotkey $id"
        box_open() { box=$(pgrep -P "$program" -x zenity | head -n1) && [ -n "$box" ]; }
        wait_for 10 box_open || fail "$name: hotkey $id opened no box"
        sleep 1  # the box takes the keyboard once shown
        "$fake_keys" Escape || fail "$name: could not press Escape"
        wait_for 10 ended "$box" || fail "$name: the box of hotkey $id stayed"
    done
    "$fake_keys" "$modifier+${keys[0]}"
    finish "$app" 15
    [ "$code" = 0 ] || fail "$name: exit code $code, wanted 0"
    [ "$(tail -n1 "$dir/app/out")" = "Exiting" ] || fail "$name: the exit press did not say Exiting"
    kill "$focus" 2>/dev/null || true
}

run default ctrl+alt+shift
# Meta+Alt+K is Plasma's own "Switch to Next Keyboard Layout".
taken="10" run custom alt+meta alt+win
echo "kde_plasma: all checks passed"
