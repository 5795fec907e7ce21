#!/usr/bin/env bash
# The update round trip under a private Xvfb: the 1.0.7 program finds 1.0.8 on
# the local HTTPS server, Yes is answered in its box, the archive is fetched,
# the updater installs it, and the program welcomes the user as 1.0.8 with
# the user's files unchanged.
# Usage: roundtrip.sh ROUNDTRIP-DIR SOURCE-DIR PATH-TO-updater PORT
# (ROUNDTRIP-DIR holds 1.0.7/tarrow-desk and 1.0.8/tarrow-desk, built to ask
# https://127.0.0.1:PORT and trust ROUNDTRIP-DIR/ca.pem.)
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
roundtrip=$bin
updater=$(readlink -f "$3")
port=$4
require openssl python3 zenity

# The 1.0.8 release archive, as a Linux release would hold it, on the server.
cues=()
for cue in "$src"/snd/*.wav; do cues+=("snd/$(basename "$cue")=$cue"); done
python3 "$src/scripts/lib/release_zip.py" "$work/Tarrow.zip" "tarrow-desk=$roundtrip/1.0.8/tarrow-desk" \
    "updater=$updater" "${cues[@]}" || fail "no archive"
serve_update "$roundtrip" "$port" 1.0.8 "$work/Tarrow.zip"

# The installed 1.0.7 program, the user's files beside it.
app="$work/app"
mkdir -p "$app"
cp "$roundtrip/1.0.7/tarrow-desk" "$updater" "$app/"
cp -r "$src/snd" "$app/snd"
printf '[general]\nmodifier=\n' >"$app/prefs.ini"
printf 'tarrowfavourite\n' >"$app/processes.txt"
printf 'an old line\n' >"$app/PROCESSES.LOG"
user_files=$(cd "$app" && sha256sum processes.txt PROCESSES.LOG)

# The updated program runs in a session of its own: end it by its program file.
end_updated() {
    local exe
    for exe in /proc/[0-9]*/exe; do
        [ "$(readlink "$exe" 2>/dev/null)" = "$app/tarrow-desk" ] || continue
        exe=${exe#/proc/}
        kill -9 "${exe%/exe}" 2>/dev/null || true
    done
}
at_exit end_updated

start_xvfb
start "$app" 100 ./tarrow-desk
old=$started
said() { has_lines "$app/out" "$1" 1; }
wait_for 15 said "$welcome" || fail "no 1.0.7 welcome"

wait_for 20 find_box Alert || fail "no update question"
focus_box
xdotool key Return
wait_for 20 said "Downloading update" || fail "no Downloading update"
finish "$old" 20
[ "$code" = 0 ] || fail "the 1.0.7 program ended with $code"
wait_for 40 said "Welcome to Tarrow version 1.0.8, Build 222!" || fail "no welcome from the updated program"

[ ! -e "$app/Tarrow.zip" ] || fail "Tarrow.zip was left behind"
[ "$(cd "$app" && sha256sum processes.txt PROCESSES.LOG)" = "$user_files" ] || fail "the user's files changed"
grep -q '^\[general\]' "$app/prefs.ini" || fail "prefs.ini lost"
cmp -s "$app/updater" "$updater" || fail "the updater was not the archive's"
[ "$(lines_matching "$work/server.log" "^/softs/Tarrow.zip ")" = 1 ] || fail "the archive was not fetched once"

xdotool key ctrl+alt+shift+q
exits() { [ "$(lines_equal "$app/out" Exiting)" = 2 ]; }
wait_for 15 exits || fail "the updated program did not exit"
echo "update round trip: all checks passed"
