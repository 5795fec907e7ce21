#!/usr/bin/env bash
# The real updater on crafted archives: each bad one is refused with its
# failure text, the old files stay as they were and the old program starts
# again; a good one replaces the program's files, keeps the user's, removes
# Tarrow.zip and starts the new program; it waits for the old program to end.
# Usage: updater.sh PATH-TO-updater SOURCE-DIR
set -euo pipefail

# shellcheck source=../e2e/lib/common.sh
source "$(dirname "$0")/../e2e/lib/common.sh"
updater=$bin
require python3 sha256sum

# setup NAME KIND: a program folder that is also the working directory, holding
# the updater, an old program, a cue, the user's files and the crafted archive.
setup() {
    dir="$work/$1"
    mkdir -p "$dir/snd"
    cp "$updater" "$dir/updater"
    printf '#!/bin/sh\necho "old $0" >> started.log\n' >"$dir/tarrow-desk"
    chmod 755 "$dir/tarrow-desk"
    echo "old cue" >"$dir/snd/up.wav"
    echo "old down" >"$dir/snd/down.wav"
    printf '[general]\nmodifier=win\n' >"$dir/prefs.ini"
    printf 'chrome\n' >"$dir/processes.txt"
    printf 'ended 1\n' >"$dir/PROCESSES.LOG"
    echo "not ours" >"$dir/zz"
    python3 "$src/tests/updater/craft.py" "$2" "$dir/Tarrow.zip" tarrow-desk || fail "$1: craft.py"
}

# snapshot: every path and content in $dir but the start log and the output.
snapshot() {
    (cd "$dir" && find . ! -name started.log ! -name out ! -name err | sort && find . -type f ! -name started.log ! -name out ! -name err | sort | xargs sha256sum)
}

# run_updater: in $dir without a display; sets $code.
run_updater() {
    code=0
    (cd "$dir" && env -u DISPLAY timeout 40 ./updater </dev/null >out 2>err) || code=$?
}

for case in "dotdot:an unsafe entry, snd/../../x." "absolute:an unsafe entry, /tmp/tarrow-abs." \
    "drive:an unsafe entry, C:\\x." "link:a link, snd/link.wav." "corrupt:Tarrow.zip could not be opened." \
    "crc:Tarrow.zip is damaged at snd/up.wav." "no-program:Tarrow.zip does not hold tarrow-desk." \
    "blocked:zz/x could not be replaced."; do
    kind=${case%%:*}
    reason=${case#*:}
    setup "$kind" "$kind"
    before=$(snapshot)
    run_updater
    grep -qF "Tarrow update failed: " "$dir/err" || fail "$kind: no failure text"
    grep -qF -- "$reason" "$dir/err" || fail "$kind: failure text is '$(cat "$dir/err")'"
    [ "$(snapshot)" = "$before" ] || fail "$kind: the program's folder changed"
    [ "$(cat "$dir/started.log" 2>/dev/null)" = "old $dir/tarrow-desk" ] || fail "$kind: the old program was not started once"
    [ ! -e /tmp/tarrow-abs ] || fail "$kind: wrote outside its folder"
    [ ! -e "$work/x" ] || fail "$kind: wrote outside its folder"
done

# A good archive, with the old program still running for a moment.
setup good good
user_files=$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)
mv "$dir/tarrow-desk" "$dir/old-program"
cp "$(command -v sleep)" "$dir/tarrow-desk"
"$dir/tarrow-desk" 1.5 &
pids+=($!)
start=$SECONDS
run_updater
[ "$code" = 0 ] || fail "good: exit code $code ($(cat "$dir/err"))"
[ $((SECONDS - start)) -ge 1 ] || fail "good: did not wait for the old program to end"
[ "$(cat "$dir/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "good: the new program was not started"
[ "$(cat "$dir/snd/up.wav")" = "new cue" ] || fail "good: the cue was not replaced"
[ "$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)" = "$user_files" ] ||
    fail "good: the user's files changed"
[ ! -e "$dir/Tarrow.zip" ] || fail "good: Tarrow.zip was not removed"
[ -z "$(find "$dir" -name '.tarrow-*')" ] || fail "good: temporary folders left behind"

# The program starts in the updater's working directory, not in its folder.
setup elsewhere good
mkdir "$work/cwd"
mv "$dir/Tarrow.zip" "$work/cwd/"
code=0
(cd "$work/cwd" && env -u DISPLAY timeout 40 "$dir/updater" </dev/null >out 2>err) || code=$?
[ "$code" = 0 ] || fail "elsewhere: exit code $code ($(cat "$work/cwd/err"))"
[ "$(cat "$work/cwd/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "elsewhere: not started in the working directory"
[ ! -e "$work/cwd/Tarrow.zip" ] || fail "elsewhere: Tarrow.zip was not removed"

echo "updater: all checks passed"
