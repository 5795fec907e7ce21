#!/usr/bin/env bash
# The monitors in the real program under a private Xvfb: a PC memory monitor
# switched on in prefs.ini speaks about a second after the welcome; F6 switches
# the PC CPU monitor on and off, saying so and rewriting prefs.ini.
# Usage: monitors.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

start_xvfb

# PC memory every second; the PC CPU monitor, once on, speaks every half second
# whatever its figure (a negative threshold), so its lines show when it runs.
mkdir -p "$work/app"
printf '\xef\xbb\xbf\r\n[general]\r\nmodifier = control+alt+shift\r\n[monitors]\r\n; kept\r\npc_cpu_monitor = 0\r\npc_memory_monitor = 1\r\npc_battery_monitor = 0\r\npc_memory_time = 1000\r\npc_cpu_time = 500\r\npc_cpu_diff = -1\r\n' \
    >"$work/app/prefs.ini"
start "$work/app" 120
app=$started

wait_for 15 has_matching "$work/app/out" "^$welcome\$" 1 || fail "no welcome text"
welcomed=$(now)
ram='^[0-9]+\.[0-9]{2} (B|KB|MB|GB) RAM$'
wait_for 5 has_matching "$work/app/out" "$ram" 1 || fail "no RAM line"
spoke=$(now)
awk -v a="$welcomed" -v b="$spoke" 'BEGIN { d = b - a; exit !(d > 0.3 && d < 2.5) }' ||
    fail "the RAM line came $(awk -v a="$welcomed" -v b="$spoke" 'BEGIN { print b - a }') s after the welcome"
[ "$(lines_matching "$work/app/out" "$ram")" = 1 ] || fail "more than one RAM line at the first tick"

cpu='^-?[0-9]+ CPU$'
[ "$(lines_matching "$work/app/out" "$cpu")" = 0 ] || fail "the PC CPU monitor spoke while off"

xdotool key ctrl+alt+shift+F6
wait_for 5 has_matching "$work/app/out" "^PC CPU Monitor on\$" 1 || fail "F6 did not say PC CPU Monitor on"
grep -q $'^pc_cpu_monitor = 1\r$' "$work/app/prefs.ini" || fail "prefs.ini not rewritten with pc_cpu_monitor 1"
grep -q $'^pc_memory_monitor = 1\r$' "$work/app/prefs.ini" || fail "prefs.ini lost pc_memory_monitor"
grep -q $'^pc_memory_time = 1000\r$' "$work/app/prefs.ini" || fail "prefs.ini lost pc_memory_time"
grep -q $'^; kept\r$' "$work/app/prefs.ini" || fail "prefs.ini lost its comment"
wait_for 5 has_matching "$work/app/out" "$cpu" 2 || fail "the PC CPU monitor did not speak once on"

xdotool key ctrl+alt+shift+F6
wait_for 5 has_matching "$work/app/out" "^PC CPU Monitor off\$" 1 || fail "F6 did not say PC CPU Monitor off"
grep -q $'^pc_cpu_monitor = 0\r$' "$work/app/prefs.ini" || fail "prefs.ini not rewritten with pc_cpu_monitor 0"
sleep 0.2
ticks=$(lines_matching "$work/app/out" "$cpu")
sleep 1.2
[ "$(lines_matching "$work/app/out" "$cpu")" = "$ticks" ] || fail "the PC CPU monitor spoke after it was switched off"

xdotool key ctrl+alt+shift+q
wait_for 15 ended "$app" || fail "the exit hotkey did not end the program"
[ "$(tail -n1 "$work/app/out")" = "Exiting" ] || fail "last line is not Exiting"

echo "monitors: all checks passed"
