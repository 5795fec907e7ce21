#!/usr/bin/env bash
# The real program talking to a stand-in speech-dispatcher (tests/e2e/fake_ssip.py)
# under a private Xvfb: interrupting texts cancel first, a repeat queues behind,
# the connection is closed on the way out, and a server that never answers
# holds neither the hotkeys nor the exit. A server that hangs up, or goes away
# for 3 s, is found again by the next text, at most once a second, with one
# line on standard error when speech goes and one when it comes back. Without
# a sound card nothing about sound reaches standard error.
# Usage: speech_dispatcher.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

require python3

# speaking NAME SOCKET: a copy in its own working directory (with the cues),
# speaking to the server at SOCKET; sets $started.
speaking() {
    mkdir -p "$work/$1"
    cp -r "$src/snd" "$work/$1/"
    SPEECHD_ADDRESS="unix_socket:$2" start "$work/$1" 120
}

start_xvfb

# --- a server that answers
python3 "$src/tests/e2e/fake_ssip.py" "$work/ssip.sock" "$work/ssip.log" &
pids+=($!)
wait_for 10 test -S "$work/ssip.sock" || fail "the stand-in server did not start"

speaking talker "$work/ssip.sock"
talker=$started
wait_for 15 has_lines "$work/talker/out" "$welcome" 1 || fail "no welcome text"
wait_for 10 has_lines "$work/ssip.log" "SAY $welcome" 1 || fail "the welcome did not reach the server"
grep -q '^CMD SET SELF PRIORITY MESSAGE' "$work/ssip.log" || fail "texts are not sent with priority message"

xdotool key ctrl+alt+shift+space
wait_for 10 has_lines "$work/ssip.log" "SAY $welcome" 2 || fail "the repeat did not reach the server"

xdotool key ctrl+alt+shift+q
finish "$talker" 15
[ "$code" = 0 ] || fail "exit hotkey: exit code $code, wanted 0"
[ "$(tail -n1 "$work/talker/out")" = "Exiting" ] || fail "last line on standard output is not Exiting"
wait_for 5 grep -qx "CLOSED" "$work/ssip.log" || fail "the connection was not closed"

# Interrupting texts (welcome, Exiting) cancel first; the repeat does not.
order=$(grep -E "^(CMD CANCEL|SAY $welcome\$|SAY Exiting\$)" "$work/ssip.log" | sed 's/^CMD CANCEL.*/cancel/')
wanted=$(printf '%s\n' cancel "SAY $welcome" "SAY $welcome" cancel "SAY Exiting")
[ "$order" = "$wanted" ] || fail "order of cancels and texts: $(echo "$order" | tr '\n' '|')"

# No sound card here: the audio engine stays quiet about it.
! grep -q "ALSA" "$work/talker/err" || fail "sound complaints on standard error"

# --- a server that accepts and never answers
python3 "$src/tests/e2e/fake_ssip.py" "$work/mute.sock" "$work/mute.log" --mute &
pids+=($!)
wait_for 10 test -S "$work/mute.sock" || fail "the mute server did not start"

speaking hung "$work/mute.sock"
hung=$started
wait_for 15 has_lines "$work/hung/out" "$welcome" 1 || fail "hung server: no welcome text"
wait_for 10 grep -q '^CONNECTED' "$work/mute.log" || fail "hung server: no connection attempt"
xdotool key ctrl+alt+shift+space
wait_for 5 has_lines "$work/hung/out" "$welcome" 2 || fail "hung server held the repeat hotkey"
pressed=$SECONDS
xdotool key ctrl+alt+shift+q
finish "$hung" 15
[ "$code" = 0 ] || fail "hung server: exit code $code, wanted 0"
[ $((SECONDS - pressed)) -le 3 ] || fail "hung server held the way out for $((SECONDS - pressed)) s"
[ "$(tail -n1 "$work/hung/out")" = "Exiting" ] || fail "hung server: last line is not Exiting"

lost="Speech: speech-dispatcher cannot be reached; texts go to standard output only until it answers again"
back="Speech: connected to speech-dispatcher again"

# --- a server that hangs up after every text: each repeat finds the
# connection dead and is spoken on a new one, opened at most once a second.
python3 "$src/tests/e2e/fake_ssip.py" "$work/hangup.sock" "$work/hangup.log" --hangup &
pids+=($!)
wait_for 10 test -S "$work/hangup.sock" || fail "the hang-up server did not start"
speaking hangup "$work/hangup.sock"
hangup=$started
wait_for 10 has_lines "$work/hangup.log" "SAY $welcome" 1 || fail "hang-up server: no welcome"
xdotool key --delay 100 ctrl+alt+shift+space ctrl+alt+shift+space ctrl+alt+shift+space
wait_for 2 has_lines "$work/hangup/out" "$welcome" 4 || fail "hang-up server held the hotkeys"
wait_for 10 has_lines "$work/hangup.log" "SAY $welcome" 4 || fail "hang-up server: repeats were lost"
python3 - "$work/hangup.log" <<'PY' || fail "hang-up server: connection attempts closer than a second"
import sys
times = [float(l.split()[1]) for l in open(sys.argv[1]) if l.startswith("CONNECTED")]
assert len(times) == 4, times
assert all(b - a >= 0.95 for a, b in zip(times, times[1:])), times
PY
{ [ "$(lines_equal "$work/hangup/err" "$lost")" = 3 ] && [ "$(lines_equal "$work/hangup/err" "$back")" = 3 ]; } ||
    fail "hang-up server: wanted three lines each for lost and back"
xdotool key ctrl+alt+shift+q
finish "$hangup" 15
[ "$code" = 0 ] || fail "hang-up server: exit code $code, wanted 0"

# --- a server that goes away for 3 s after the welcome: the hotkeys go on
# answering on standard output; the first text after its return is spoken
# (one of those meanwhile may be too, when its attempt meets the return).
python3 "$src/tests/e2e/fake_ssip.py" "$work/refuse.sock" "$work/refuse.log" --refuse 3 &
pids+=($!)
wait_for 10 test -S "$work/refuse.sock" || fail "the refusing server did not start"
speaking refuse "$work/refuse.sock"
refuse=$started
wait_for 10 grep -qx REFUSING "$work/refuse.log" || fail "refusing server: no welcome"
for n in 2 3; do
    xdotool key ctrl+alt+shift+space
    wait_for 1 has_lines "$work/refuse/out" "$welcome" "$n" || fail "refusing server held the hotkeys"
    sleep 0.5
done
wait_for 10 grep -qx LISTENING "$work/refuse.log" || fail "refusing server did not come back"
xdotool key ctrl+alt+shift+c
wait_for 5 has_lines "$work/refuse.log" "SAY Copied $welcome" 1 || fail "refusing server: no speech after its return"
{ [ "$(lines_equal "$work/refuse/err" "$lost")" = 1 ] && [ "$(lines_equal "$work/refuse/err" "$back")" = 1 ]; } ||
    fail "refusing server: wanted one line each for lost and back"
xdotool key ctrl+alt+shift+q
finish "$refuse" 15
[ "$code" = 0 ] || fail "refusing server: exit code $code, wanted 0"

echo "speech_dispatcher: all checks passed"
