# shellcheck shell=bash
# Shared by every test script under tests/: sourced, never run on its own.
# Each script is called with the thing under test first (the program, the
# updater, a build folder) and the source folder second. Sets bin and src
# (those two, made absolute), welcome and work (a fresh folder of the run;
# work_parent, when the script sets it before, is where it is made); every
# process added to pids ends with the script, and every command given to
# at_exit runs before that. KEEP_WORK=1 keeps the folder, to look at a failure.

bin=$(readlink -f "$1")
# shellcheck disable=SC2034  # src and welcome are for the scripts that source this
src=$(readlink -f "$2")
# shellcheck disable=SC2034
welcome="Welcome to Tarrow version 1.0.7, Build 222!"

if [ -n "${work_parent:-}" ]; then work=$(mktemp -d "$work_parent/work.XXXXXX"); else work=$(mktemp -d); fi
# The number of hotkeys: the rows of the hotkey table ("    {id, ..." lines).
# shellcheck disable=SC2034
hotkey_count=$(grep -cE '^    \{[0-9]+, ' "$src/src/app/application.hpp" || true)
pids=()
exit_commands=()
# Every copy of the program talks to a private speech and braille server, or
# to none: never to the user's own (a test that wants one sets its own).
export SPEECHD_ADDRESS="unix_socket:$work/no-speech-server.sock"
export BRLAPI_HOST="127.0.0.1:59999" BRLAPI_AUTH="keyfile:$work/no-braille-server.key"

# at_exit COMMAND: runs COMMAND (a line of shell) as the script ends, before
# its processes are ended; the last one given runs first.
at_exit() { exit_commands=("$1" "${exit_commands[@]}"); }
cleanup() {
    local command pid
    for command in "${exit_commands[@]}"; do eval "$command" || true; done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "${KEEP_WORK:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
# Stopped from outside (a timeout, ^C): still end every process we started.
trap 'exit 143' TERM HUP
trap 'exit 130' INT

# fail MESSAGE: prints the message and every log of the run, then ends the test.
fail() {
    echo "FAIL: $*" >&2
    local log
    while IFS= read -r log; do
        echo "--- $log" >&2
        cat "$log" >&2
    done < <(find "$work" -maxdepth 3 -type f \( -name out -o -name err -o -name '*.log' -o -name prefs.ini \) | sort)
    exit 1
}

# require TOOL...: each tool must be on the PATH.
require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (run scripts/setup)"
    done
}

# wait_for SECONDS COMMAND...: retries the command until it succeeds; fails
# (returns 1) once SECONDS have gone by.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.05
    done
}

# now: the time in seconds, to the nanosecond; within START END SECONDS: END
# came at most SECONDS after START.
now() { date +%s.%N; }
within() { awk -v a="$1" -v b="$2" -v limit="$3" 'BEGIN { exit !(b - a <= limit) }'; }

# Counting lines of a file; a file not there yet has none.
# line_count FILE: its lines.
line_count() {
    local n
    n=$(wc -l <"$1" 2>/dev/null) || true
    echo "${n:-0}"
}
# lines_equal FILE TEXT: its lines that are exactly TEXT.
lines_equal() {
    local n
    n=$(grep -cxF -- "$2" "$1" 2>/dev/null) || true
    echo "${n:-0}"
}
# lines_matching FILE PATTERN: its lines matching the extended regular expression.
lines_matching() {
    local n
    n=$(grep -cE -- "$2" "$1" 2>/dev/null) || true
    echo "${n:-0}"
}
# has_lines FILE TEXT N: at least N lines are exactly TEXT.
has_lines() { [ "$(lines_equal "$1" "$2")" -ge "$3" ]; }
# has_matching FILE PATTERN N: at least N lines match the pattern.
has_matching() { [ "$(lines_matching "$1" "$2")" -ge "$3" ]; }
# grown FILE N: the file holds more than N lines.
grown() { [ "$(line_count "$1")" -gt "$2" ]; }

# start DIR SECONDS [PROGRAM]: a copy of the program (PROGRAM, or $bin) in DIR,
# its working folder, writing to out and err there, killed after SECONDS;
# sets $started. Variables given before the call (VAR=VALUE start ...) are its.
start() {
    local program=${3:-$bin}
    mkdir -p "$1"
    (cd "$1" && exec timeout -k 2 "$2" "$program" >out 2>err) &
    started=$!
    pids+=("$started")
}

# ended PID: the process is gone.
ended() { ! kill -0 "$1" 2>/dev/null; }

# finish PID SECONDS: waits for a copy of the program to end; sets $code to its
# exit code, or to "timeout" after killing a copy that did not end in time.
# shellcheck disable=SC2034  # code is for the caller
finish() {
    local end=$((SECONDS + $2))
    code=0
    while kill -0 "$1" 2>/dev/null; do
        if [ "$SECONDS" -ge "$end" ]; then
            kill -9 "$1" 2>/dev/null || true
            code=timeout
            return
        fi
        sleep 0.1
    done
    wait "$1" || code=$?
}

# start_xvfb: a display of our own, found free by Xvfb itself, and no session bus.
start_xvfb() {
    require Xvfb xdotool
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" </dev/null >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    wait_for 15 grep -qs . "$work/display" || fail "Xvfb did not start"
    DISPLAY=":$(head -n1 "$work/display")"
    export DISPLAY
    unset DBUS_SESSION_BUS_ADDRESS XAUTHORITY WAYLAND_DISPLAY
    export NO_AT_BRIDGE=1 HOME="$work/home"
    mkdir -p "$HOME"
    wait_for 10 xdotool getmouselocation >/dev/null 2>&1 || fail "display $DISPLAY not usable"
}

# start_session_bus FILE: a private session bus daemon of the test's own; its
# address goes to FILE and into DBUS_SESSION_BUS_ADDRESS, its PID to $bus_pid.
start_session_bus() {
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$1" >"$1.log" 2>&1 &
    bus_pid=$!
    pids+=("$bus_pid")
    wait_for 10 grep -qs . "$1" || fail "no private session bus ($1)"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$1")
    export DBUS_SESSION_BUS_ADDRESS
}

# find_box TITLE: a visible window titled exactly TITLE is there; sets $box.
find_box() { box=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$box" ]; }
# focus_box: gives $box the keyboard (through the window manager if there is one).
focus_box() { xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"; }

# answer_find_prompt TEXT: waits for the "Find process" prompt, types the text into it and presses Return.
answer_find_prompt() {
    wait_for 20 find_box "Find process" || fail "no Find process prompt"
    focus_box
    xdotool type --delay 30 "$1"
    xdotool key Return
}

# The update round trips' server.
# serve_update ROUNDTRIP-DIR PORT VERSION ARCHIVE: a test authority at
# ROUNDTRIP-DIR/ca.pem (where the round-trip builds look for it), and the local
# HTTPS server on 127.0.0.1:PORT offering VERSION and the archive.
serve_update() {
    local ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
    openssl req -x509 "${ec[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
        -subj "/CN=Tarrow round trip CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null || fail "openssl: no authority"
    printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$work/ext.cnf"
    { openssl req "${ec[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj /CN=127.0.0.1 2>/dev/null &&
        openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
            -out "$work/server.pem" -days 2 -extfile "$work/ext.cnf" 2>/dev/null; } || fail "openssl: no certificate"
    cp "$work/ca.pem" "$1/ca.pem"
    printf '{"/projects/tarrowversion.txt": {"body": "%s"}, "/softs/Tarrow.zip": {"body_file": "%s"}}' \
        "$3" "$4" >"$work/routes.json"
    python3 "$src/tests/update/live/server.py" --cert "$work/server.pem" --key "$work/server.key" \
        --routes "$work/routes.json" --log "$work/server.log" --port-file "$work/port" --port "$2" \
        >"$work/server.out" 2>&1 &
    pids+=($!)
    wait_for 10 test -s "$work/port" || fail "the update server did not start on port $2"
}
