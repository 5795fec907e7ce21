#!/usr/bin/env bash
# The update round trip under Wine, inside an X server given by the caller
# (xvfb-run): the Windows 1.0.7 program finds 1.0.8 on the local HTTPS server,
# Yes is answered in its box, updater.exe installs the Windows archive, and the
# program welcomes the user as 1.0.8 (heard through the recording Tolk.dll).
# Usage: roundtrip_wine.sh BUILD-WIN-DIR SOURCE-DIR PORT (its Wine prefix prepared)
set -euo pipefail
build=$(cd "$1" && pwd)
port=$3
# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh" "$build/roundtrip" "$2"
roundtrip=$bin
require openssl python3 xdotool winepath
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winealsa.drv=;winepulse.drv=;wineoss.drv="
wine=$(command -v wine64 || command -v wine)
at_exit 'wineserver -k >/dev/null 2>&1'

cues=()
for cue in "$src"/snd/*.wav; do cues+=("snd/$(basename "$cue")=$cue"); done
python3 "$src/scripts/lib/release_zip.py" "$work/Tarrow.zip" "tarrow-desk.exe=$roundtrip/1.0.8/tarrow-desk.exe" \
    "updater.exe=$build/updater.exe" "${cues[@]}" || fail "no archive"
serve_update "$roundtrip" "$port" 1.0.8 "$work/Tarrow.zip"

# The 1.0.7 program as unpacked from a release, with the recording Tolk.dll and the user's files.
app=$work/app
mkdir -p "$app"
cp "$roundtrip/1.0.7/tarrow-desk.exe" "$build/updater.exe" "$build/tests/platform/win32/Tolk.dll" "$app/"
cp -r "$src/snd" "$app/snd"
printf 'tarrowfavourite\r\n' >"$app/processes.txt"
printf 'an old line\r\n' >"$app/PROCESSES.LOG"
user_files=$(cd "$app" && sha256sum processes.txt PROCESSES.LOG Tolk.dll)
TARROW_SPEECH_LOG=$(winepath -w "$work/speech.log")
export TARROW_SPEECH_LOG

(cd "$app" && exec timeout 150 "$wine" ./tarrow-desk.exe >"$work/wine.log" 2>&1) &
pids+=($!)
said() { cut -f2- "$work/speech.log" 2>/dev/null | grep -qxF -- "$1"; }
wait_for 60 said "$welcome" || fail "no 1.0.7 welcome"
wait_for 30 find_box Alert || fail "no update question"
focus_box 2>/dev/null || true
xdotool key Return
wait_for 20 said "Downloading update" || fail "no Downloading update"
wait_for 60 said "Welcome to Tarrow version 1.0.8, Build 222!" || fail "no welcome from the updated program"
[ ! -e "$app/Tarrow.zip" ] || fail "Tarrow.zip was left behind"
[ "$(cd "$app" && sha256sum processes.txt PROCESSES.LOG Tolk.dll)" = "$user_files" ] || fail "the user's files changed"
cmp -s "$app/tarrow-desk.exe" "$roundtrip/1.0.8/tarrow-desk.exe" || fail "the program was not replaced"
echo "update round trip under Wine: all checks passed"
