#!/usr/bin/env bash
# Inputs past their limits in the real program under a private Xvfb:
# processes.txt and prefs.ini of 10 MB (streamed) and 1 GB (sparse) answer the
# favourites key and a monitor toggle within 250 ms, memory stays under 64 MiB,
# each limit is named once on standard error and prefs.ini is never rewritten;
# and favourites on a full file system end their processes and say that the
# log could not be written.
# Usage: limits.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

took() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f ms", (b - a) * 1000 }'; }
# answer APP TEXT: waits up to 5 s for the line, looking every 10 ms without
# starting a process, so that the time taken is the program's.
answer() {
    local line end=$((SECONDS + 5))
    while [ "$SECONDS" -lt "$end" ]; do
        while IFS= read -r line; do [ "$line" = "$2" ] && return 0; done <"$1/out"
        sleep 0.01
    done
    return 1
}
# A helper under a name of our own, for the favourites to end.
cp "$(command -v sleep)" "$work/trwfavsleep"
helper() {
    "$work/trwfavsleep" 300 &
    helper_pid=$!
    pids+=("$helper_pid")
}
summary1="1 processes killed. See processes.log for more info."

start_xvfb

# run_big SIZE: processes.txt and prefs.ini of that size (M or G), one copy.
run_big() {
    local size=$1 app="$work/big/$1"
    mkdir -p "$app"
    printf 'trwfavsleep\n' >"$app/processes.txt"
    printf '[monitors]\r\npc_cpu_monitor = 0\r\n' >"$app/prefs.ini"
    if [ "$size" = 10M ]; then
        head -c 10000000 < <(yes zzzzzzzzzz) >>"$app/processes.txt"
        head -c 10000000 < <(yes '; padding') >>"$app/prefs.ini"
    else
        truncate -s "$size" "$app/processes.txt" "$app/prefs.ini"
    fi
    local before
    before=$(stat -c '%i %s %Y %Z' "$app/prefs.ini")
    helper
    start "$app" 60
    local run=$started
    wait_for 15 has_lines "$app/out" "$welcome" 1 || fail "$size: no welcome"
    grep -qxF "Tarrow Desk: prefs.ini is larger than 1 MiB: only its first 1 MiB is read, and it is never rewritten." "$app/err" ||
        fail "$size: no line on stderr for prefs.ini at start-up"
    # The first refresh lists the helper.
    sleep 0.3

    # From the moment the key has gone to the display.
    local pressed answered program
    program=$(cat "/proc/$run/task/$run/children")
    program=${program%% *}
    xdotool key ctrl+alt+shift+k
    pressed=$(now)
    answer "$app" "$summary1" || fail "$size: no favourites summary"
    answered=$(now)
    within "$pressed" "$answered" 0.25 || fail "$size: the favourites key took $(took "$pressed" "$answered")"
    echo "$size: the favourites key answered in $(took "$pressed" "$answered")"
    ended "$helper_pid" || fail "$size: the favourite was not ended"
    grep -qxF "Tarrow Desk: processes.txt is larger than 1 MiB: only its first 1 MiB is read." "$app/err" ||
        fail "$size: no line on stderr for processes.txt"

    xdotool key ctrl+alt+shift+F6
    pressed=$(now)
    answer "$app" "PC CPU Monitor on" || fail "$size: F6 did not switch the monitor on"
    answered=$(now)
    within "$pressed" "$answered" 0.25 || fail "$size: the toggle took $(took "$pressed" "$answered")"
    grep -qxF "Tarrow Desk: prefs.ini is larger than 1 MiB, so it is not rewritten: the monitor switch holds for this run only." "$app/err" ||
        fail "$size: no line on stderr for the switch not saved"
    [ "$(stat -c '%i %s %Y %Z' "$app/prefs.ini")" = "$before" ] || fail "$size: prefs.ini was changed"

    local peak
    echo "$size: the toggle answered in $(took "$pressed" "$answered")"
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$program/status")
    [ "$peak" -lt 65536 ] || fail "$size: peak memory $peak KiB"
    echo "$size: peak memory $peak KiB"
    xdotool key ctrl+alt+shift+q
    finish "$run" 15
    [ "$code" = 0 ] || fail "$size: exit code $code, wanted 0"
    local limit_lines
    limit_lines=$(lines_matching "$app/err" 'larger than 1 MiB|more than 4096 lines')
    if [ "$size" = 10M ]; then
        grep -qxF "Tarrow Desk: processes.txt has more than 4096 lines: only the first 4096 are read." "$app/err" ||
            fail "$size: no line on stderr for the line limit"
        [ "$limit_lines" = 4 ] || fail "$size: $limit_lines lines about limits on stderr, wanted 4"
    else
        [ "$limit_lines" = 3 ] || fail "$size: $limit_lines lines about limits on stderr, wanted 3"
    fi
    rm -f "$app/processes.txt" "$app/prefs.ini"
}
run_big 10M
run_big 1G

# --- favourites on a full file system: a tmpfs of our own in a private mount
# namespace (root only), filled before the program starts
if ! unshare -m --propagation private true 2>/dev/null; then
    echo "limits: no private mount namespace here; the full file system part is skipped"
    echo "limits: all other checks passed"
    exit 0
fi
mkdir -p "$work/full" "$work/fullrun"
helper
# shellcheck disable=SC2016  # the inner shell expands its own arguments
unshare -m --propagation private bash -c '
    mount -t tmpfs -o size=256k,mode=0755 none "$1" || exit 90
    cd "$1" || exit 90
    printf "trwfavsleep\n" >processes.txt
    printf "[general]\r\n" >prefs.ini
    head -c 1M /dev/zero >filler 2>/dev/null
    timeout -k 2 60 "$2" >"$3/out" 2>"$3/err"
    code=$?
    ls -A | sort >"$3/listing"
    stat -c %s PROCESSES.LOG >"$3/logsize" 2>/dev/null || echo none >"$3/logsize"
    exit "$code"' _ "$work/full" "$bin" "$work/fullrun" &
full=$!
pids+=("$full")
app="$work/fullrun"
wait_for 15 has_lines "$app/out" "$welcome" 1 || fail "full disk: no welcome"
sleep 0.3
xdotool key ctrl+alt+shift+k
wait_for 5 has_lines "$app/out" "1 processes killed. The log could not be written." 1 || fail "full disk: no honest summary"
! has_lines "$app/out" "$summary1" 1 || fail "full disk: the summary named the log"
ended "$helper_pid" || fail "full disk: the favourite was not ended"
grep -qxF "Tarrow Desk: PROCESSES.LOG: a line could not be written (No space left on device)." "$app/err" ||
    fail "full disk: no reason on stderr"
xdotool key ctrl+alt+shift+q
finish "$full" 15
[ "$code" = 0 ] || fail "full disk: exit code $code, wanted 0"
[ "$(cat "$app/logsize")" = 0 ] || fail "full disk: PROCESSES.LOG holds $(cat "$app/logsize") bytes"
[ "$(tr '\n' ' ' <"$app/listing")" = "PROCESSES.LOG filler prefs.ini processes.txt " ] ||
    fail "full disk: files left: $(tr '\n' ' ' <"$app/listing")"
echo "limits: all checks passed"
