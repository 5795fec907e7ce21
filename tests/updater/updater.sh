#!/usr/bin/env bash
# The real updater on crafted archives: each bad one is refused with its
# failure text, the old files stay as they were and the old program starts
# again; a good one replaces the program's files, keeps the user's, removes
# Tarrow.zip and starts the new program; it waits for the old program to end.
# Usage: updater.sh PATH-TO-updater SOURCE-DIR
set -euo pipefail

# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
updater=$bin
require python3 sha256sum

# setup NAME KIND: a program folder that is also the working directory, holding
# the updater, an old program, a cue, the user's files and the crafted archive.
setup() {
    dir="$work/$1"
    mkdir -p "$dir/snd"
    cp "$updater" "$dir/updater"
    # shellcheck disable=SC2016  # a script of its own, $0 is its own
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

# snapshot_of DIR: every path and content but the start log and the output.
snapshot_of() {
    (cd "$1" && find . ! -name started.log ! -name out ! -name err | sort &&
        find . -type f ! -name started.log ! -name out ! -name err | sort | xargs -r sha256sum)
}

# check_refused NAME TEXT: the run failed with exactly TEXT, changed nothing and
# started the old program once.
check_refused() {
    [ "$(cat "$dir/err")" = "Tarrow update failed: $2" ] || fail "$1: failure text is '$(cat "$dir/err")'"
    [ "$(snapshot)" = "$before" ] || fail "$1: the program's folder changed"
    [ "$(cat "$dir/started.log" 2>/dev/null)" = "old $dir/tarrow-desk" ] || fail "$1: the old program was not started once"
    [ ! -e /tmp/tarrow-abs ] || fail "$1: wrote outside its folder"
    [ ! -e "$work/x" ] || fail "$1: wrote outside its folder"
}

# check_installed NAME: the new program and cue are in, the user's files are
# as they were, nothing of ours is left.
check_installed() {
    [ "$code" = 0 ] || fail "$1: exit code $code ($(cat "$dir/err"))"
    [ "$(cat "$dir/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "$1: the new program was not started"
    [ "$(cat "$dir/snd/up.wav")" = "new cue" ] || fail "$1: the cue was not replaced"
    [ "$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)" = "$user_files" ] ||
        fail "$1: the user's files changed"
    [ ! -e "$dir/Tarrow.zip" ] || fail "$1: Tarrow.zip was not removed"
    [ -z "$(find "$dir" -name '.tarrow-*')" ] || fail "$1: temporary files left behind"
}

while IFS='|' read -r kind outcome; do
    case $kind in '#'* | '') continue ;; esac
    setup "$kind" "$kind"
    before=$(snapshot)
    user_files=$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)
    run_updater
    if [ "$outcome" = installed ]; then
        check_installed "$kind"
    else
        check_refused "$kind" "${outcome//\{program\}/tarrow-desk}"
    fi
done <"$src/tests/updater/archives.txt"
[ -f "$work/new-folder/licenses/zlib.txt" ] || fail "new-folder: licenses/ was not installed"

# A snd folder that is a link to another file system: renames cannot cross,
# the files are copied, and an undone swap puts back the old cue there.
shm=$(mktemp -d /dev/shm/tarrow-updater.XXXXXX)
remove_shm() { rm -rf "$shm"; }
at_exit remove_shm
if [ "$(stat -c %d "$shm")" != "$(stat -c %d "$work")" ]; then
    for kind in good blocked; do
        setup "linked-$kind" "$kind"
        mkdir "$shm/$kind"
        mv "$dir/snd/up.wav" "$dir/snd/down.wav" "$shm/$kind/"
        rmdir "$dir/snd"
        ln -s "$shm/$kind" "$dir/snd"
        before=$(snapshot)
        cues=$(cat "$dir"/snd/*)
        user_files=$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)
        run_updater
        if [ "$kind" = good ]; then
            check_installed linked-good
            [ -h "$dir/snd" ] || fail "linked-good: the link was replaced"
        else
            check_refused linked-blocked "zz/x could not be replaced."
            [ "$(cat "$dir"/snd/*)" = "$cues" ] || fail "linked-blocked: the cues changed"
        fi
    done
else
    echo "updater: /dev/shm is on the same file system; the linked-folder cases are skipped"
fi

# A full disk while unpacking says so, and changes nothing. The program's
# folder is a small file system of its own, in a private mount namespace.
setup nospace big
mv "$dir" "$dir.copy"
mkdir "$dir" "$work/nospace-cwd"
mv "$dir.copy/Tarrow.zip" "$work/nospace-cwd/"
size=$(($(du -sk "$dir.copy" | cut -f1) + 1024))
if unshare -m true 2>/dev/null; then
    code=0
    # shellcheck disable=SC2016  # the inner shell expands its own variables
    (cd "$work/nospace-cwd" && env -u DISPLAY dir="$dir" size="$size" unshare -m --propagation private bash -c '
        set -e
        mount -t tmpfs -o size=${size}k tmpfs "$dir"
        cp -a "$dir.copy/." "$dir/"
        snap() { (cd "$dir" && find . | sort && find . -type f | sort | xargs sha256sum); }
        snap >before
        code=0; timeout 40 "$dir/updater" </dev/null >out 2>err || code=$?
        snap >after
        exit $code') || code=$?
    [ "$(cat "$work/nospace-cwd/err")" = "Tarrow update failed: not enough space on the disk for snd/big.wav." ] ||
        fail "nospace: failure text is '$(cat "$work/nospace-cwd/err")'"
    cmp -s "$work/nospace-cwd/before" "$work/nospace-cwd/after" || fail "nospace: the program's folder changed"
    [ "$(cat "$work/nospace-cwd/started.log" 2>/dev/null)" = "old $dir/tarrow-desk" ] || fail "nospace: the old program was not started"
else
    echo "updater: no private mount namespace here; the full-disk case is skipped"
fi

# A good archive, with the old program still running for a moment.
setup waiting good
user_files=$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)
mv "$dir/tarrow-desk" "$dir/old-program"
cp "$(command -v sleep)" "$dir/tarrow-desk"
"$dir/tarrow-desk" 1.5 &
pids+=($!)
start=$SECONDS
run_updater
[ "$code" = 0 ] || fail "waiting: exit code $code ($(cat "$dir/err"))"
[ $((SECONDS - start)) -ge 1 ] || fail "waiting: did not wait for the old program to end"
[ "$(cat "$dir/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "waiting: the new program was not started"
[ "$(cat "$dir/snd/up.wav")" = "new cue" ] || fail "waiting: the cue was not replaced"
[ "$(cd "$dir" && sha256sum prefs.ini processes.txt PROCESSES.LOG zz snd/down.wav)" = "$user_files" ] ||
    fail "waiting: the user's files changed"
[ ! -e "$dir/Tarrow.zip" ] || fail "waiting: Tarrow.zip was not removed"
[ -z "$(find "$dir" -name '.tarrow-*')" ] || fail "waiting: temporary folders left behind"

# With a display, a name that is not UTF-8 still gives one box, with the
# escaped text that standard error carries too (a stand-in zenity keeps its arguments).
setup box not-utf8
mkdir "$work/bin"
# shellcheck disable=SC2016  # a script of its own, "$@" and $a are its own
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done >>"%s/zenity.log"\necho end >>"%s/zenity.log"\n' "$work" "$work" >"$work/bin/zenity"
chmod 755 "$work/bin/zenity"
(cd "$dir" && DISPLAY=:tarrow-none PATH="$work/bin:$PATH" timeout 40 ./updater </dev/null >out 2>err) || true
text='Tarrow update failed: Tarrow.zip holds an unsafe entry, snd/\xFF\xFE.wav.'
[ "$(cat "$dir/err")" = "$text" ] || fail "box: standard error says '$(cat "$dir/err")'"
[ "$(cat "$work/zenity.log")" = "--error
--no-markup
--title
Tarrow update
--text
$text
end" ] || fail "box: zenity was asked '$(cat "$work/zenity.log")'"

# The program starts in the updater's working directory, not in its folder.
setup elsewhere good
mkdir "$work/cwd"
mv "$dir/Tarrow.zip" "$work/cwd/"
code=0
(cd "$work/cwd" && env -u DISPLAY timeout 40 "$dir/updater" </dev/null >out 2>err) || code=$?
[ "$code" = 0 ] || fail "elsewhere: exit code $code ($(cat "$work/cwd/err"))"
[ "$(cat "$work/cwd/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "elsewhere: not started in the working directory"
[ ! -e "$work/cwd/Tarrow.zip" ] || fail "elsewhere: Tarrow.zip was not removed"

# Killed at each step of a swap in turn (SIGKILL, through the test-only stop),
# then started again: the program's own start undoes the half-done swap (the
# folder is the old release, or the new one after the last step), and the
# updater started again installs the release and starts the program.
# shellcheck disable=SC2016  # a script of its own, $0 is its own
printf '#!/bin/sh\necho "new $0" >> started.log\n' >"$work/new-program"
cp "$updater" "$work/new-updater"
echo "a newer updater" >>"$work/new-updater"
# release_snapshot: the release's files, without the archive, the output or our own leftovers.
release_snapshot() {
    (cd "$dir" && find . ! -path './.tarrow-*' ! -name started.log ! -name out ! -name err ! -name Tarrow.zip | sort &&
        find . -type f ! -path './.tarrow-*' ! -name started.log ! -name out ! -name err ! -name Tarrow.zip |
        sort | xargs sha256sum)
}
kill_setup() {
    setup "$1" none
    python3 "$src/tests/updater/craft.py" release "$dir/Tarrow.zip" tarrow-desk "$work/new-program" \
        "updater=$work/new-updater" || fail "$1: craft.py"
    ln "$program" "$dir/tarrow-real" 2>/dev/null || cp "$program" "$dir/tarrow-real"
}
program=$(dirname "$updater")/tarrow-desk
[ -x "$program" ] || fail "no tarrow-desk beside the updater"
kill_setup kill-reference
old_release=$(release_snapshot)
run_updater
[ "$code" = 0 ] || fail "kill-reference: exit code $code ($(cat "$dir/err"))"
new_release=$(release_snapshot)
step=1
while :; do
    for then in program updater; do
        kill_setup "kill-$step-$then"
        code=0
        (cd "$dir" && env -u DISPLAY TARROW_UPDATER_STOP_AT_STEP=$step timeout 40 ./updater </dev/null >out 2>err) || code=$?
        [ "$code" = 0 ] && break 2
        [ "$code" = 137 ] || fail "kill-$step: exit code $code ($(cat "$dir/err"))"
        [ ! -e "$dir/started.log" ] || fail "kill-$step: a program started"
        if [ "$then" = program ]; then
            (cd "$dir" && env -u DISPLAY timeout 20 ./tarrow-real </dev/null >/dev/null 2>&1) || true
            now=$(release_snapshot)
            [ "$now" = "$old_release" ] || [ "$now" = "$new_release" ] ||
                fail "kill-$step: after the program's start the folder is neither release: $(diff <(echo "$old_release") <(echo "$now"))"
            { [ -x "$dir/updater" ] && [ -x "$dir/tarrow-desk" ]; } || fail "kill-$step: the program or the updater is missing"
        fi
        run_updater
        [ "$code" = 0 ] || fail "kill-$step-$then: the updater started again failed: $code ($(cat "$dir/err"))"
        [ "$(release_snapshot)" = "$new_release" ] || fail "kill-$step-$then: the new release is not whole"
        [ "$(cat "$dir/started.log" 2>/dev/null)" = "new $dir/tarrow-desk" ] || fail "kill-$step-$then: the program did not start"
    done
    step=$((step + 1))
done
[ "$step" -ge 10 ] || fail "the swap ended after $step steps: the stop did not stop it"

echo "updater: all checks passed"
