#!/usr/bin/env bash
# The real program talking to a real speech-dispatcher with espeak-ng, both
# started privately here (their own sockets, settings and folders; sound into a
# private PulseAudio's null sink, recorded with parec and measured with sox).
# What the server did is read from its own log: the welcome is synthesized and
# heard; a queued text follows the one before; an interrupting text cuts the one
# before; the server killed mid-sentence and started again: the next hotkey's
# text, and the ones after it, are heard.
# Usage: speech_dispatcher_real.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

require python3 speech-dispatcher pulseaudio parec sox
[ -x /usr/lib/speech-dispatcher-modules/sd_espeak-ng ] || fail "speech-dispatcher-espeak-ng is missing (run scripts/setup)"

start_xvfb
mkdir -p "$work/run" "$work/sd/modules"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" PULSE_SERVER="unix:$work/pulse.sock"

# --- a private PulseAudio with a null sink, recorded from its monitor
cat >"$work/pulse.pa" <<EOF
load-module module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1
load-module module-null-sink sink_name=tarrow_test
set-default-sink tarrow_test
EOF
# (No display for it: it would start a session bus through X11.)
env -u DISPLAY pulseaudio -n -F "$work/pulse.pa" --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
    --use-pid-file=no --log-target=stderr </dev/null >"$work/pulse.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$work/pulse.sock" || fail "PulseAudio did not start"
parec -d tarrow_test.monitor --format=s16le --rate=16000 --channels=1 >"$work/heard.raw" 2>"$work/parec.log" &
recorder=$!
pids+=("$recorder")

cp /etc/speech-dispatcher/modules/espeak-ng.conf "$work/sd/modules/"
cat >"$work/sd/speechd.conf" <<EOF
LogLevel 5
AudioOutputMethod "pulse"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule espeak-ng
DefaultLanguage "en"
EOF

# start_server N: the server with its log in sd-log-N; sets $server. Should
# this script be killed outright, the server still ends on its own 30 s after
# its last client.
start_server() {
    mkdir -p "$work/sd/logs/$1"
    rm -f "$work/speechd.sock"
    speech-dispatcher -s -t 30 -c unix_socket -S "$work/speechd.sock" -C "$work/sd" \
        -L "$work/sd/logs/$1" -l 5 -P "$work/sd/logs/$1/pid" </dev/null >"$work/sd/logs/$1/out.log" 2>&1 &
    server=$!
    pids+=("$server")
    wait_for 15 test -S "$work/speechd.sock" || fail "speech-dispatcher did not start"
}
# stop_server: SIGKILL to the server, then its synthesizer, each by its id.
stop_server() {
    local modules
    modules=$(pgrep -P "$server" || true)
    kill -9 "$server"
    wait "$server" 2>/dev/null || true
    for pid in $modules; do kill "$pid" 2>/dev/null || true; done
}

# events N: what server N did, one line each: QUEUE <text>, BEGIN, END, STOP.
events() {
    python3 - "$work/sd/logs/$1/speech-dispatcher.log" <<'PY'
import re, sys
try:
    text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
except FileNotFoundError:
    sys.exit(0)
for m in re.finditer(r"Queueing message \|(.*?)\| with priority|while speaking: \|(70[123]) ", text):
    print("QUEUE " + m.group(1) if m.group(1) is not None else
          {"701": "BEGIN", "702": "END", "703": "STOP"}[m.group(2)])
PY
}
# did N PATTERN: the events of server N, joined by |, match the pattern;
# did_text N TEXT...: they hold one of the texts.
did() { events "$1" | tr '\n' '|' | grep -qE "$2"; }
did_text() { local n=$1 t args=(); shift; for t in "$@"; do args+=(-e "$t"); done; events "$n" | tr '\n' '|' | grep -qF "${args[@]}"; }
said() { tail -n1 "$work/app/out"; }

start_server 1
SPEECHD_ADDRESS="unix_socket:$work/speechd.sock" start "$work/app" 120
app=$started
w="QUEUE $welcome"

# --- the welcome is synthesized and heard
wait_for 20 did 1 "^$w\|BEGIN\|END\|$" || fail "the welcome was not spoken: $(events 1 | tr '\n' '|')"
sleep 0.5
kill "$recorder"
wait "$recorder" 2>/dev/null || true
peak=$(sox -t raw -r 16000 -e signed -b 16 -c 1 "$work/heard.raw" -n stat 2>&1 | awk '/^Maximum amplitude/ {print $3}')
python3 -c "import sys; sys.exit(not float(sys.argv[1]) > 0.1)" "${peak:-0}" ||
    fail "the welcome was not heard (peak amplitude ${peak:-none})"

# --- two repeats: the second waits for the first
xdotool key --delay 150 ctrl+alt+shift+space ctrl+alt+shift+space
wait_for 20 did 1 "^$w\|BEGIN\|END\|$w\|($w\|BEGIN|BEGIN\|$w)\|END\|BEGIN\|END\|$" ||
    fail "queued texts: $(events 1 | tr '\n' '|')"

# --- a repeat cut by an interrupting text (the last process)
xdotool key ctrl+alt+shift+space
wait_for 10 did 1 "END\|$w\|BEGIN\|$" || fail "the repeat did not begin: $(events 1 | tr '\n' '|')"
xdotool key ctrl+alt+shift+apostrophe
wait_for 10 grep -qE ' of [0-9]+$' "$work/app/out" || fail "the last hotkey said nothing"
entry=$(said)
wait_for 10 did_text 1 "|BEGIN|STOP|QUEUE $entry|BEGIN|END|" "|BEGIN|QUEUE $entry|STOP|BEGIN|END|" ||
    fail "the interrupting text did not cut the one before: $(events 1 | tr '\n' '|')"

# --- the server killed mid-sentence and started again (a repeat now says
# the entry again)
e="QUEUE $(printf '%s' "$entry" | sed 's/[][\.*^$+?(){}|/]/\\&/g')"
xdotool key ctrl+alt+shift+space
wait_for 10 did 1 "END\|$e\|BEGIN\|$" || fail "the last repeat did not begin: $(events 1 | tr '\n' '|')"
stop_server
start_server 2
xdotool key ctrl+alt+shift+space
wait_for 15 did 2 "^$e\|BEGIN\|END\|$" || fail "after the restart the repeat was not spoken: $(events 2 | tr '\n' '|')"
xdotool key ctrl+alt+shift+space
wait_for 15 did 2 "^$e\|BEGIN\|END\|$e\|BEGIN\|END\|$" ||
    fail "after the restart a text was lost: $(events 2 | tr '\n' '|')"
{ [ "$(lines_matching "$work/app/err" '^Speech: speech-dispatcher cannot be reached')" = 1 ] &&
    [ "$(lines_equal "$work/app/err" 'Speech: connected to speech-dispatcher again')" = 1 ]; } ||
    fail "wanted one line each on standard error for lost and back"

xdotool key ctrl+alt+shift+q
finish "$app" 15
[ "$code" = 0 ] || fail "exit hotkey: exit code $code, wanted 0"
stop_server
echo "speech_dispatcher_real: all checks passed"
