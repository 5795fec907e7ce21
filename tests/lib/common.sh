# Shared by the end-to-end scripts: sourced, never run on its own.
# Sets bin, src, welcome and work; every process added to pids ends with the script.

bin=$(readlink -f "$1")
src=$(readlink -f "$2")
welcome="Welcome to Tarrow version 1.0.7, Build 222!"

work=$(mktemp -d)
pids=()
# Every copy of the program talks to a private speech and braille server, or
# to none: never to the user's own (a test that wants one sets its own).
export SPEECHD_ADDRESS="unix_socket:$work/no-speech-server.sock"
export BRLAPI_HOST="127.0.0.1:59999" BRLAPI_AUTH="keyfile:$work/no-braille-server.key"
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
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
    done < <(find "$work" -maxdepth 2 -type f \( -name out -o -name err -o -name '*.log' -o -name prefs.ini \) | sort)
    exit 1
}

# require TOOL...: each tool must be on the PATH.
require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (run scripts/setup)"
    done
}

# wait_for SECONDS COMMAND...: retries the command until it succeeds.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.05
    done
}

# finish PID SECONDS: waits for a copy of the program to end; sets $code to its
# exit code, or to "timeout" after killing a copy that did not end in time.
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
    export DISPLAY=":$(head -n1 "$work/display")"
    unset DBUS_SESSION_BUS_ADDRESS XAUTHORITY WAYLAND_DISPLAY
    export NO_AT_BRIDGE=1 HOME="$work/home"
    mkdir -p "$HOME"
    wait_for 10 xdotool getmouselocation >/dev/null 2>&1 || fail "display $DISPLAY not usable"
}

# answer_find_prompt TEXT: waits for the "Find process" prompt, types the text into it and presses Return.
answer_find_prompt() {
    local box=""
    find_prompt() { box=$(xdotool search --onlyvisible --name '^Find process$' 2>/dev/null | head -n1) && [ -n "$box" ]; }
    wait_for 20 find_prompt || fail "no Find process prompt"
    xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"
    xdotool type --delay 30 "$1"
    xdotool key Return
}
