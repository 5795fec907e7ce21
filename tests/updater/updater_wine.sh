#!/usr/bin/env bash
# updater.exe under Wine, inside an X server given by the caller (xvfb-run): the
# table of crafted archives (archives.txt) with the outcomes Linux gives; a
# good archive replaces the program and its cue, keeps prefs.ini, removes
# Tarrow.zip and starts the program again; an unsafe one shows its box, which
# is answered, changes nothing and starts the old program. The program is the
# test stand-in that leaves updater-ran.txt in its working folder.
# Usage: updater_wine.sh BUILD-WIN-DIR SOURCE-DIR (its Wine prefix prepared)
set -euo pipefail
build=$(cd "$1" && pwd)
# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winealsa.drv=;winepulse.drv=;wineoss.drv="
wine=$(command -v wine64 || command -v wine)
stand_in=$build/tests/platform/win32/test_updater.exe
at_exit 'wineserver -k >/dev/null 2>&1'

# A new updater.exe: the running one is replaced too (trailing bytes do not hurt a PE file).
cp "$build/updater.exe" "$work/new-updater.exe"
echo "a newer updater" >>"$work/new-updater.exe"

# setup NAME KIND: the program's folder, also the working folder.
setup() {
    dir=$work/$1
    mkdir -p "$dir/snd"
    cp "$build/updater.exe" "$dir/"
    cp "$stand_in" "$dir/tarrow-desk.exe"
    echo "old cue" >"$dir/snd/up.wav"
    printf '[general]\r\nmodifier = win\r\n' >"$dir/prefs.ini"
    python3 "$src/tests/updater/craft.py" "$2" "$dir/Tarrow.zip" tarrow-desk.exe "$stand_in" \
        "updater.exe=$work/new-updater.exe"
}
ran() { [ -f "$dir/updater-ran.txt" ]; }

setup good good
prefs=$(sha256sum <"$dir/prefs.ini")
(cd "$dir" && timeout 120 "$wine" ./updater.exe) || fail "good: updater.exe failed"
wait_for 30 ran || fail "good: the program was not started again"
[ "$(cat "$dir/snd/up.wav")" = "new cue" ] || fail "good: the cue was not replaced"
[ "$(sha256sum <"$dir/prefs.ini")" = "$prefs" ] || fail "good: prefs.ini changed"
[ ! -e "$dir/Tarrow.zip" ] || fail "good: Tarrow.zip was not removed"
cmp -s "$dir/updater.exe" "$work/new-updater.exe" || fail "good: the running updater.exe was not replaced"

setup unsafe dotdot
before=$(cd "$dir" && find . -type f | sort | xargs sha256sum)
(cd "$dir" && exec timeout 120 "$wine" ./updater.exe) &
updater=$!
wait_for 60 find_box "Tarrow update" || fail "unsafe: no box"
ran && fail "unsafe: the program started before the box was closed"
focus_box 2>/dev/null || true
xdotool key Return
wait "$updater" || true
wait_for 30 ran || fail "unsafe: the old program was not started again"
rm -f "$dir/updater-ran.txt"
[ "$(cd "$dir" && find . -type f | sort | xargs sha256sum)" = "$before" ] || fail "unsafe: files changed"
# The table of crafted archives the Linux updater is tried on, each with the
# same outcome here: installed with no box, or refused with exactly one box and
# its text on standard error, the folder as it was byte for byte and the old
# program started again.
cp "$stand_in" "$work/new-program.exe"
echo "a newer program" >>"$work/new-program.exe"
# snapshot: every path and content in $dir but the start mark and the output.
snapshot() {
    (cd "$dir" && find . ! -name updater-ran.txt ! -name out ! -name err | sort &&
        find . -type f ! -name updater-ran.txt ! -name out ! -name err | sort | xargs -r sha256sum)
}
user_files() { (cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav); }
# run_counting_boxes: updater.exe in $dir, each box it shows answered; sets $boxes.
run_counting_boxes() {
    (cd "$dir" && exec timeout 120 "$wine" ./updater.exe </dev/null >out 2>err) &
    local updater=$! seen=""
    boxes=0
    while kill -0 "$updater" 2>/dev/null; do
        if find_box "Tarrow update" && [ "$box" != "$seen" ]; then
            seen=$box
            boxes=$((boxes + 1))
            focus_box 2>/dev/null || true
            xdotool key Return
        fi
        sleep 0.2
    done
    wait "$updater" || true
}
rows=0
while IFS='|' read -r kind outcome; do
    case $kind in '#'* | '') continue ;; esac
    dir=$work/table-$kind
    mkdir -p "$dir/snd"
    cp "$build/updater.exe" "$dir/"
    cp "$stand_in" "$dir/tarrow-desk.exe"
    echo "old cue" >"$dir/snd/up.wav"
    echo "old down" >"$dir/snd/down.wav"
    printf '[general]\r\nmodifier = win\r\n' >"$dir/prefs.ini"
    printf 'chrome\r\n' >"$dir/processes.txt"
    printf 'ended 1\r\n' >"$dir/PROCESSES.LOG"
    echo "not ours" >"$dir/zz"
    python3 "$src/tests/updater/craft.py" "$kind" "$dir/Tarrow.zip" tarrow-desk.exe "$work/new-program.exe" \
        "updater.exe=$work/new-updater.exe" || fail "$kind: craft.py"
    before=$(snapshot)
    users=$(user_files)
    run_counting_boxes
    wait_for 30 ran || fail "$kind: no program was started again"
    said=$(grep -a '^Tarrow update failed: ' "$dir/err" | tr -d '\r' || true)
    if [ "$outcome" = installed ]; then
        { [ "$boxes" = 0 ] && [ -z "$said" ]; } || fail "$kind: refused ($boxes boxes): $said"
        cmp -s "$dir/tarrow-desk.exe" "$work/new-program.exe" || fail "$kind: the program was not replaced"
        [ "$(cat "$dir/snd/up.wav")" = "new cue" ] || fail "$kind: the cue was not replaced"
        [ "$(user_files)" = "$users" ] || fail "$kind: the user's files changed"
        [ ! -e "$dir/Tarrow.zip" ] || fail "$kind: Tarrow.zip was not removed"
    else
        [ "$said" = "Tarrow update failed: ${outcome//\{program\}/tarrow-desk.exe}" ] ||
            fail "$kind: failure text is '$said'"
        [ "$boxes" = 1 ] || fail "$kind: $boxes boxes"
        [ "$(snapshot)" = "$before" ] || fail "$kind: the folder changed: $(diff <(echo "$before") <(snapshot))"
    fi
    [ ! -e "$work/x" ] || fail "$kind: wrote outside its folder"
    rows=$((rows + 1))
done <"$src/tests/updater/archives.txt"
[ "$rows" -ge 30 ] || fail "only $rows rows of the table were tried"
[ -f "$work/table-new-folder/licenses/zlib.txt" ] || fail "new-folder: licenses/ was not installed"

echo "updater.exe under Wine: all checks passed"
