#!/usr/bin/env bash
# The real program showing its texts on a braille display through a private
# BRLTTY (its virtual driver, talking to tests/e2e/fake_braille_display.py,
# which records what BRLTTY shows): the welcome, Polish and German process
# names intact, panning through a long text, an interrupting text replacing
# the one shown, the hold time ending the message, and BRLTTY killed and
# started again, its display slow to tell its size: the next text, given
# before the size is known, is shown once it is; and with no BrlAPI server at
# all the program runs as before.
# Usage: braille.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

require python3 brltty

cells=20
start_xvfb

# A free BrlAPI port of our own (BrlAPI listens on 4101 + N).
api=$(python3 - <<'PY'
import random, socket
for _ in range(200):
    n = random.randint(100, 900)
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", 4101 + n))
    except OSError:
        continue
    finally:
        s.close()
    print(n)
    break
PY
)
[ -n "$api" ] || fail "no free port for BrlAPI"
head -c 32 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$work/brlapi.key"
: >"$work/brltty.conf"
mkdir -p "$work/brltty"

# start_brltty: BRLTTY in the foreground with its own settings, folders and
# pid; sets $brltty.
start_brltty() {
    brltty -n -q -e -b vr -d "client:$work/display.sock" -x no -s no \
        -A "host=127.0.0.1:$api,auth=keyfile:$work/brlapi.key" \
        -f "$work/brltty.conf" -F "$work/brltty/prefs" -P "$work/brltty/pid" \
        -W "$work/brltty" -U "$work/brltty" </dev/null >>"$work/brltty.log" 2>&1 &
    brltty=$!
    pids+=("$brltty")
}

# shows PATTERN [N]: BRLTTY has shown a line starting with PATTERN N times.
shows() { has_matching "$work/display.log" "^VISUAL $1" "${2:-1}"; }
last_visual() { grep '^VISUAL' "$work/display.log" | tail -n1 | cut -c8-; }

python3 "$src/tests/e2e/fake_braille_display.py" "$work/display.sock" "$work/display.log" \
    "$work/keys" "$cells" --cells-delay 1.5 &
pids+=($!)
wait_for 10 test -S "$work/display.sock" || fail "the stand-in display did not start"
start_brltty
wait_for 15 shows "no screen" || fail "BRLTTY did not show its own screen"

# Two processes with names in Polish and German; sorted by name they come last.
polish="żółw$$"
german="übermaß$$"
cp "$(command -v sleep)" "$work/$polish"
cp "$(command -v sleep)" "$work/$german"
"$work/$polish" 120 &
pids+=($!)
"$work/$german" 120 &
pids+=($!)

mkdir -p "$work/app"
printf '[general]\nbraille_hold_ms = 2500\n' >"$work/app/prefs.ini"
BRLAPI_HOST="127.0.0.1:$api" BRLAPI_AUTH="keyfile:$work/brlapi.key" start "$work/app" 120
app=$started
wait_for 15 has_lines "$work/app/out" "$welcome" 1 || fail "no welcome text"

# --- the welcome, and panning through it
wait_for 10 shows "${welcome:0:cells}\$" || fail "the welcome is not shown: $(last_visual)"
echo FWINRT >>"$work/keys"
wait_for 5 shows "${welcome:cells:cells}\$" || fail "panning right: $(last_visual)"
echo FWINRT >>"$work/keys"
wait_for 5 shows "${welcome:2*cells:cells}\$" || fail "panning right again: $(last_visual)"
echo FWINLT >>"$work/keys"
wait_for 5 shows "${welcome:cells:cells}\$" 2 || fail "panning left: $(last_visual)"

# --- Polish and German names; each interrupting text replaces the one shown
xdotool key ctrl+alt+shift+apostrophe
wait_for 3 shows "$polish: " || fail "the last entry (Polish) is not shown: $(last_visual)"
grep -q "^$polish: " "$work/app/out" || fail "the last entry is not the Polish one: $(tail -n1 "$work/app/out")"
xdotool key ctrl+alt+shift+bracketleft
wait_for 3 shows "$german: " || fail "the entry before (German) is not shown: $(last_visual)"

# --- the hold ends the message. Our text stays on the display until BRLTTY
# writes again, which a key of the display's own makes it do: during the
# hold the key is BRLTTY's but the display still ours; after it, BRLTTY's.
sleep 1.2
echo LNDN >>"$work/keys"
sleep 0.5
[ "$(lines_matching "$work/display.log" "^VISUAL no screen")" = 1 ] || fail "the text went before its hold time"
sleep 1.5
echo LNDN >>"$work/keys"
wait_for 2 shows "no screen" 2 || fail "the hold did not end: $(last_visual)"

# --- BRLTTY killed and started again: the next text is shown
kill -9 "$brltty"
wait "$brltty" 2>/dev/null || true
start_brltty
# At once: the new BRLTTY's display has not told its size yet.
xdotool key ctrl+alt+shift+space
wait_for 10 shows "$german: " 2 || fail "after BRLTTY's restart the repeat is not shown: $(last_visual)"
kill -0 "$app" || fail "the program ended"

xdotool key ctrl+alt+shift+q
finish "$app" 15
[ "$code" = 0 ] || fail "exit hotkey: exit code $code, wanted 0"
kill "$brltty"
wait "$brltty" 2>/dev/null || true

# --- no BrlAPI server at all: the program runs as before and says nothing
# about braille
BRLAPI_HOST="127.0.0.1:$api" BRLAPI_AUTH="keyfile:$work/brlapi.key" start "$work/alone" 60
alone=$started
wait_for 15 has_lines "$work/alone/out" "$welcome" 1 || fail "without BRLTTY: no welcome text"
xdotool key ctrl+alt+shift+space
alone_repeated() { [ "$(lines_equal "$work/alone/out" "$welcome")" = 2 ]; }
wait_for 2 alone_repeated || fail "without BRLTTY: the repeat hotkey did not answer"
pressed=$SECONDS
xdotool key ctrl+alt+shift+q
finish "$alone" 15
[ "$code" = 0 ] || fail "without BRLTTY: exit code $code, wanted 0"
[ $((SECONDS - pressed)) -le 3 ] || fail "without BRLTTY: the way out took $((SECONDS - pressed)) s"
[ "$(tail -n1 "$work/alone/out")" = "Exiting" ] || fail "without BRLTTY: last line is not Exiting"
! grep -qiE 'brl|braille' "$work/alone/err" || fail "without BRLTTY: braille complaints on standard error"
echo "braille: all checks passed"
