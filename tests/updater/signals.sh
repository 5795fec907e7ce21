#!/usr/bin/env bash
# SIGTERM, SIGHUP and SIGINT during a slow update download, under a private
# Xvfb and a private session bus with the stand-in tray watcher: each takes the
# close road (nothing spoken, exit code 0), the partial archive goes, and the
# tray item leaves the watcher.
# Usage: signals.sh ROUNDTRIP-DIR SOURCE-DIR PORT   (TARROW_SNI_WATCHER: the stand-in)
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
roundtrip=$bin
port=$3
watcher=${TARROW_SNI_WATCHER:-}
[ -x "$watcher" ] || fail "no stand-in watcher (TARROW_SNI_WATCHER)"
require openssl python3 zenity dbus-daemon

printf 'x' >"$work/unused.zip"
serve_update "$roundtrip" "$port" 1.0.8 "$work/unused.zip"
# An archive that takes minutes to come: 1 KiB each 50 ms.
printf '{"/projects/tarrowversion.txt": {"body": "1.0.8"}, "/softs/Tarrow.zip": {"body_size": 8000000, "drip_ms": 50}}' \
    >"$work/routes.json"

start_xvfb
start_session_bus "$work/bus"
"$watcher" serve >"$work/watcher.log" 2>&1 &
pids+=($!)
wait_for 10 grep -qx ready "$work/watcher.log" || fail "the stand-in watcher did not start"

part_file() { compgen -G "$app/Tarrow.zip.*.part" >/dev/null; }

for signal in TERM HUP INT; do
    app="$work/$signal"
    mkdir -p "$app"
    cp "$roundtrip/1.0.7/tarrow-desk" "$app/"
    registered=$(lines_matching "$work/watcher.log" '^registered ')
    start "$app" 60 ./tarrow-desk
    run=$started
    wait_for 15 has_lines "$app/out" "$welcome" 1 || fail "$signal: no welcome"
    wait_for 15 has_matching "$work/watcher.log" '^registered ' $((registered + 1)) || fail "$signal: the tray item did not register"
    item=$(grep '^registered ' "$work/watcher.log" | tail -n1 | sed 's/^registered //')
    wait_for 20 find_box Alert || fail "$signal: no update question"
    focus_box
    xdotool key Return
    wait_for 20 grep -qxF "Downloading update" "$app/out" || fail "$signal: no Downloading update"
    wait_for 10 part_file || fail "$signal: no partial archive while downloading"
    kill -s "$signal" "$run"
    finish "$run" 10
    [ "$code" = 0 ] || fail "$signal: exit code $code, wanted 0"
    [ "$(tail -n1 "$app/out")" = "Downloading update" ] || fail "$signal: something spoken after the signal"
    ! part_file || fail "$signal: the partial archive was left behind"
    [ ! -e "$app/Tarrow.zip" ] || fail "$signal: an archive was left behind"
    wait_for 5 grep -qxF "vanished $item" "$work/watcher.log" || fail "$signal: the tray item stayed"
done
echo "signals: all checks passed"
