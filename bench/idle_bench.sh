#!/usr/bin/env bash
# Idle cost of the main loop: runs the real program with every monitor off and
# leaves it alone, then prints its CPU time and wake-ups (voluntary context
# switches) per second, beside a build whose loop waits 1 ms on every pass.
#
#   bash bench/idle_bench.sh [seconds] [sleeping-binary] [polling-binary]
#
# Without binaries, both builds are made in build-bench/ (the polling one with
# -DTARROW_FIXED_1MS_WAIT=ON). While idle the only due event is the process-list
# refresh every 5 s, so the target is below 0.05% of one core and about
# 0.2 wake-ups per second on the main thread.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
seconds=${1:-60}
sleeping=${2:-}
polling=${3:-}
settle=3

if [ -z "$sleeping" ] || [ -z "$polling" ]; then
  echo "building both loops in build-bench/ ..." >&2
  bash scripts/build build-bench/sleeping -DTARROW_BUILD_TESTS=OFF >/dev/null
  bash scripts/build build-bench/polling -DTARROW_BUILD_TESTS=OFF -DTARROW_FIXED_1MS_WAIT=ON >/dev/null
  sleeping=$src/build-bench/sleeping/tarrow-desk
  polling=$src/build-bench/polling/tarrow-desk
fi

work=$(mktemp -d /tmp/tarrow-idle-XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private X server, so the program runs as it would on a desktop.
mode="without a display"
if command -v Xvfb >/dev/null; then
  for n in $(seq 140 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 640x480x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    mode="X11 under Xvfb $DISPLAY"
    break
  done
fi

# Every monitor off (the file as the program creates it).
printf '\xef\xbb\xbf\r\n[general]\r\nmodifier = control+alt+shift\r\n[monitors]\r\npc_cpu_monitor = 0\r\npc_memory_monitor = 0\r\npc_battery_monitor = 0\r\n' \
  >"$work/prefs.ini"

ticks=$(getconf CLK_TCK)

cpu_ticks() {  # utime + stime of the whole process
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}
switches() {  # voluntary context switches: main thread, all threads
  local main all=0 n
  main=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$1/status")
  for t in /proc/"$1"/task/*/status; do
    n=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t" 2>/dev/null || echo 0)
    all=$((all + ${n:-0}))
  done
  echo "$main $all"
}

measure() {  # prints: cpu-seconds cpu-percent main-wakeups/s all-wakeups/s
  local binary=$1
  (cd "$work" && exec "$binary" </dev/null >/dev/null 2>&1) &
  app_pid=$!
  sleep "$settle"
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "the program ended during start-up" >&2
    exit 1
  fi
  local c0 s0 c1 s1 t0 t1
  c0=$(cpu_ticks "$app_pid"); read -r m0 a0 < <(switches "$app_pid"); t0=$(date +%s.%N)
  sleep "$seconds"
  c1=$(cpu_ticks "$app_pid"); read -r m1 a1 < <(switches "$app_pid"); t1=$(date +%s.%N)
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  awk -v c=$((c1 - c0)) -v hz="$ticks" -v t0="$t0" -v t1="$t1" -v m=$((m1 - m0)) -v a=$((a1 - a0)) \
    'BEGIN { e = t1 - t0; s = c / hz; printf "%10.3f %10.4f %12.2f %12.2f\n", s, 100 * s / e, m / e, a / e }'
}

echo "idle for $seconds s, every monitor off, $mode"
printf '%-24s %10s %10s %12s %12s\n' "loop" "CPU s" "% of core" "wakes/s main" "wakes/s all"
printf '%-24s %s\n' "sleep until next due" "$(measure "$sleeping")"
printf '%-24s %s\n' "fixed 1 ms wait" "$(measure "$polling")"
echo "due events while idle: the refresh every 5 s, 0.20 per second"
