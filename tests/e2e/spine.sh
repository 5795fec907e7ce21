#!/usr/bin/env bash
# The spine of the real program under a private Xvfb: welcome, repeat, copy,
# a second copy refused its exit hotkey, the exit hotkey, a close request.
# Usage: spine.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

require xclip zenity cc

start_xvfb

cc -o "$work/x_helper" "$src/tests/e2e/x_helper.c" -lX11 || fail "cannot build x_helper"

# --- without a display or a terminal the program says why and ends with 1
code=0
(cd "$work" && env -u DISPLAY timeout 10 "$bin" </dev/null >"$work/nodisplay.out" 2>"$work/nodisplay.err") || code=$?
[ "$code" = 1 ] || fail "no display, no terminal: exit code $code, wanted 1"
grep -q "X display" "$work/nodisplay.err" || fail "no display, no terminal: no reason on stderr"
[ ! -s "$work/nodisplay.out" ] || fail "no display, no terminal: something spoken"

# --- first copy: welcome, repeat, copy
start "$work/first" 120
first=$started
wait_for 15 has_lines "$work/first/out" "$welcome" 1 || fail "no welcome text"

xdotool key ctrl+alt+shift+space
wait_for 5 has_lines "$work/first/out" "$welcome" 2 || fail "repeat hotkey did not speak the welcome again"

xdotool key ctrl+alt+shift+c
wait_for 5 has_lines "$work/first/out" "Copied $welcome" 1 || fail "copy hotkey did not say Copied"
clip=$(timeout 5 xclip -o -selection clipboard) || fail "xclip could not read the clipboard"
[ "$clip" = "$welcome" ] || fail "clipboard holds '$clip'"

# The hotkeys work whatever the state of Num Lock and Caps Lock.
xdotool key Num_Lock
xdotool key ctrl+alt+shift+space
xdotool key Num_Lock
wait_for 5 has_lines "$work/first/out" "$welcome" 3 || fail "repeat with Num Lock on did nothing"
xdotool key Caps_Lock
xdotool key ctrl+alt+shift+space
xdotool key Caps_Lock
wait_for 5 has_lines "$work/first/out" "$welcome" 4 || fail "repeat with Caps Lock on did nothing"

# --- a second copy cannot take the exit hotkey: its box, then exit code 0
start "$work/second" 120
second=$started
wait_for 20 find_box Error || fail "the second copy showed no Error box"
kill -0 "$second" 2>/dev/null || fail "the second copy did not wait for its box"
xdotool windowfocus --sync "$box" key Return
finish "$second" 15
[ "$code" = 0 ] || fail "second copy ended with $code, wanted 0"
[ "$(lines_equal "$work/second/out" "$welcome")" = 0 ] || fail "the second copy spoke its welcome"

# The first copy did not see the keys of that box.
[ "$(lines_equal "$work/first/out" "$welcome")" = 4 ] || fail "first copy reacted to the box's keys"

# --- the exit hotkey
xdotool key ctrl+alt+shift+q
finish "$first" 15
[ "$code" = 0 ] || fail "exit hotkey: exit code $code, wanted 0"
[ "$(tail -n1 "$work/first/out")" = "Exiting" ] || fail "exit hotkey: last line is not Exiting"

# --- one hotkey taken by another client: one box names it and holds the
# start-up; the exit hotkey pressed meanwhile is dropped, also after it closes
"$work/x_helper" grab k >"$work/grab.out" &
grabber=$!
pids+=("$grabber")
wait_for 5 grep -qs grabbed "$work/grab.out" || fail "x_helper could not grab Control+Alt+Shift+K"
start "$work/fifth" 120
fifth=$started
wait_for 20 find_box Error || fail "a taken hotkey showed no Error box"
xdotool key ctrl+alt+shift+q
sleep 0.3
xdotool windowfocus --sync "$box" key Return
wait_for 15 has_lines "$work/fifth/out" "$welcome" 1 || fail "start-up did not go on after the box"
sleep 0.5
kill -0 "$fifth" 2>/dev/null || fail "the exit hotkey pressed under the box was acted upon"
! grep -q "Exiting" "$work/fifth/out" || fail "the exit hotkey pressed under the box spoke"
! find_box Error || fail "more than one box for one taken hotkey"
xdotool key ctrl+alt+shift+q
finish "$fifth" 15
[ "$code" = 0 ] || fail "fifth copy: exit code $code, wanted 0"
kill "$grabber"
wait "$grabber" 2>/dev/null || true

# --- a close request (WM_DELETE_WINDOW) ends a fresh copy silently
start "$work/third" 120
third=$started
wait_for 15 has_lines "$work/third/out" "$welcome" 1 || fail "third copy: no welcome text"
wait_for 5 "$work/x_helper" close "Tarrow Desk" || fail "no window named Tarrow Desk"
finish "$third" 15
[ "$code" = 0 ] || fail "close request: exit code $code, wanted 0"
! grep -q "Exiting" "$work/third/out" || fail "close request spoke Exiting"

# --- so does a window destroyed outright (xdotool windowclose)
start "$work/fourth" 120
fourth=$started
wait_for 15 has_lines "$work/fourth/out" "$welcome" 1 || fail "fourth copy: no welcome text"
xdotool search --name '^Tarrow Desk$' windowclose >/dev/null 2>&1 || true
finish "$fourth" 15
[ "$code" = 0 ] || fail "destroyed window: exit code $code, wanted 0"
! grep -q "Exiting" "$work/fourth/out" || fail "destroyed window spoke Exiting"

# --- standard output read by `head -n 1`: once the reader is gone the next
# texts are dropped, and the hotkeys go on to the exit hotkey (code 0)
mkdir -p "$work/piped"
mkfifo "$work/piped/pipe"
head -n 1 <"$work/piped/pipe" >"$work/piped/first" &
reader=$!
(cd "$work/piped" && exec timeout -k 2 60 "$bin" >pipe 2>err) &
piped=$!
pids+=("$piped")
wait "$reader" || fail "piped: head failed"
[ "$(cat "$work/piped/first")" = "$welcome" ] || fail "piped: the first line is not the welcome"
xdotool key ctrl+alt+shift+F6
wait_for 5 grep -qs $'^pc_cpu_monitor = 1\r$' "$work/piped/prefs.ini" || fail "piped: F6 not answered"
xdotool key ctrl+alt+shift+F7
wait_for 5 grep -qs $'^pc_memory_monitor = 1\r$' "$work/piped/prefs.ini" || fail "piped: F7 not answered"
kill -0 "$piped" 2>/dev/null || fail "piped: the program ended while speaking into the closed pipe"
xdotool key ctrl+alt+shift+q
finish "$piped" 15
[ "$code" = 0 ] || fail "piped: exit code $code, wanted 0"

echo "spine: all checks passed"
