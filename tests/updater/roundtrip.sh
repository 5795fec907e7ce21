#!/usr/bin/env bash
# The update round trip under a private Xvfb: the 1.0.7 program finds 1.0.8 on
# the local HTTPS server, Yes is answered in its box, the archive is fetched,
# the updater installs it, and the program welcomes the user as 1.0.8 with
# the user's files unchanged.
# Usage: roundtrip.sh ROUNDTRIP-DIR SOURCE-DIR PATH-TO-updater PORT
# (ROUNDTRIP-DIR holds 1.0.7/tarrow-desk and 1.0.8/tarrow-desk, built to ask
# https://127.0.0.1:PORT and trust ROUNDTRIP-DIR/ca.pem.)
set -euo pipefail

# shellcheck source=../e2e/lib/common.sh
source "$(dirname "$0")/../e2e/lib/common.sh"
roundtrip=$bin
updater=$(readlink -f "$3")
port=$4
require openssl python3 zenity

# A test authority at the path the builds trust, and a certificate for 127.0.0.1.
ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
openssl req -x509 "${ec[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=Tarrow round trip CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$work/ext.cnf"
openssl req "${ec[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj /CN=127.0.0.1 2>/dev/null
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -out "$work/server.pem" -days 2 -extfile "$work/ext.cnf" 2>/dev/null
cp "$work/ca.pem" "$roundtrip/ca.pem"

# The 1.0.8 release archive, as a Linux release would hold it.
python3 - "$work/Tarrow.zip" "$roundtrip/1.0.8/tarrow-desk" "$updater" "$src/snd" <<'PY'
import os, sys, zipfile
out, program, updater, snd = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
    for name, path, mode in [("tarrow-desk", program, 0o755), ("updater", updater, 0o755)] + \
            [("snd/" + f, os.path.join(snd, f), 0o644) for f in sorted(os.listdir(snd)) if f.endswith(".wav")]:
        info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
        info.create_system, info.external_attr, info.compress_type = 3, (0o100000 | mode) << 16, zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            archive.writestr(info, f.read())
PY
printf '{"/projects/tarrowversion.txt": {"body": "1.0.8"}, "/softs/Tarrow.zip": {"body_file": "%s"}}' \
    "$work/Tarrow.zip" >"$work/routes.json"
python3 "$src/tests/update/live/server.py" --cert "$work/server.pem" --key "$work/server.key" \
    --routes "$work/routes.json" --log "$work/server.log" --port-file "$work/port" --port "$port" \
    >"$work/server.out" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/port" || fail "the update server did not start on port $port"

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
trap 'end_updated; cleanup' EXIT

start_xvfb
(cd "$app" && exec timeout -k 2 100 ./tarrow-desk >out 2>err) &
old=$!
pids+=("$old")
said() { grep -qxF -- "$1" "$app/out"; }
wait_for 15 said "$welcome" || fail "no 1.0.7 welcome"

find_box() { box=$(xdotool search --onlyvisible --name '^Alert$' 2>/dev/null | head -n1) && [ -n "$box" ]; }
wait_for 20 find_box || fail "no update question"
xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"
xdotool key Return
wait_for 20 said "Downloading update" || fail "no Downloading update"
finish "$old" 20
[ "$code" = 0 ] || fail "the 1.0.7 program ended with $code"
wait_for 40 said "Welcome to Tarrow version 1.0.8, Build 222!" || fail "no welcome from the updated program"

[ ! -e "$app/Tarrow.zip" ] || fail "Tarrow.zip was left behind"
[ "$(cd "$app" && sha256sum processes.txt PROCESSES.LOG)" = "$user_files" ] || fail "the user's files changed"
grep -q '^\[general\]' "$app/prefs.ini" || fail "prefs.ini lost"
cmp -s "$app/updater" "$updater" || fail "the updater was not the archive's"
grep -c "^/softs/Tarrow.zip " "$work/server.log" | grep -qx 1 || fail "the archive was not fetched once"

xdotool key ctrl+alt+shift+q
exits() { [ "$(grep -cxF Exiting "$app/out")" = 2 ]; }
wait_for 15 exits || fail "the updated program did not exit"
echo "update round trip: all checks passed"
