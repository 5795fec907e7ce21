#!/usr/bin/env bash
# The process list of the real program under a private Xvfb: walking it,
# its ends, the sort toggle, and the find prompt answered through zenity.
# Usage: processes.sh PATH-TO-tarrow-desk SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

entry='^.+: [0-9]+%; [0-9]+\.[0-9]{2} (B|KB|MB|GB)\. [0-9]+ of [0-9]+$'

require zenity

# key KEY: presses the modifier with KEY and waits for the one line it speaks; sets $said.
key() {
    local before
    before=$(line_count "$work/app/out")
    xdotool key "ctrl+alt+shift+$1"
    wait_for 10 grown "$work/app/out" "$before" || fail "the $1 hotkey said nothing"
    said=$(tail -n1 "$work/app/out")
}
# place TEXT: "I N" from the end of an entry's text.
place() { sed -E 's/.*\. ([0-9]+) of ([0-9]+)$/\1 \2/' <<<"$1"; }

start_xvfb

# A process with a name of its own for the search, running before the first refresh.
target="tarrowfind$$"
cp "$(command -v sleep)" "$work/$target"
"$work/$target" 120 &
pids+=($!)

start "$work/app" 120
app=$started
wait_for 15 grep -qxF "$welcome" "$work/app/out" || fail "no welcome text"

# --- walking: next, previous, last, first, and the two ends
key bracketright
grep -qE "$entry" <<<"$said" || fail "next said '$said'"
read -r at count <<<"$(place "$said")"
[ "$at" = 2 ] || fail "next from the start is not the second entry: '$said'"
key bracketleft
[ "$(place "$said" | cut -d' ' -f1)" = 1 ] || fail "previous said '$said'"
key bracketleft
[ "$said" = "Top" ] || fail "previous on the first entry said '$said'"
key apostrophe
grep -qE "$entry" <<<"$said" || fail "last said '$said'"
read -r at count <<<"$(place "$said")"
[ "$at" = "$count" ] || fail "last is not the last entry: '$said'"
# A refresh between the two keys may add an entry below; then try again.
for _ in 1 2 3; do
    key bracketright
    [ "$said" = "Bottom" ] && break
    key apostrophe
done
[ "$said" = "Bottom" ] || fail "next on the last entry said '$said'"
key semicolon
{ grep -qE "$entry" <<<"$said" && [ "$(place "$said" | cut -d' ' -f1)" = 1 ]; } || fail "first said '$said'"

# --- the sort toggle
key slash
[ "$said" = "Memory" ] || fail "first toggle said '$said'"
key slash
[ "$said" = "CPU" ] || fail "second toggle said '$said'"
key slash
[ "$said" = "Name" ] || fail "third toggle said '$said'"

# --- find: the zenity prompt answered with the helper's name moves the cursor there
before=$(line_count "$work/app/out")
xdotool key ctrl+alt+shift+backslash
answer_find_prompt "$target"
wait_for 10 grown "$work/app/out" "$before" || fail "find said nothing"
said=$(tail -n1 "$work/app/out")
grep -qE "^$target: [0-9]+%; .*\. [0-9]+ of [0-9]+$" <<<"$said" || fail "find said '$said'"

# --- the exit hotkey
xdotool key ctrl+alt+shift+q
wait_for 15 ended "$app" || fail "the exit hotkey did not end the program"
code=0
wait "$app" || code=$?
[ "$code" = 0 ] || fail "exit code $code, wanted 0"

echo "processes: all checks passed"
