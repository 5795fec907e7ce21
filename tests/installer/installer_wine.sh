#!/usr/bin/env bash
# The setup program under Wine, in a Wine prefix of its own, inside an X server
# given by the caller (xvfb-run): it refuses a folder holding other files; a
# silent install puts exactly Tarrow.zip's files in place with the two
# shortcuts and the Uninstall entry; the program started from the sign-in
# shortcut speaks the welcome and keeps prefs.ini in its folder; an install
# over the running copy closes it (code 0) and starts the new one; a silent
# uninstall keeps the user's three files byte for byte and removes the rest;
# /NOSTARTUP and /D=, and an uninstall with /REMOVESETTINGS that removes all.
# Usage: installer_wine.sh BUILD-WIN-DIR SOURCE-DIR (after scripts/package-windows)
set -euo pipefail
build=$(cd "$1" && pwd)
# The run's folder, its Wine prefix with it, goes in the build folder.
work_parent=$build
# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup=$build/Tarrow-Desk-$version-setup.exe
archive=$build/Tarrow.zip
tolk=$build/tests/platform/win32/Tolk.dll
for file in "$setup" "$archive" "$tolk"; do [ -f "$file" ] || fail "no $file (run scripts/package-windows)"; done

export WINEPREFIX=$work/prefix WINEDEBUG=-all
# No menu entries on the build machine for the shortcuts the installer makes.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winealsa.drv=;winepulse.drv=;wineoss.drv=;winemenubuilder.exe=d"
wine=$(command -v wine64 || command -v wine)
# Every program in the prefix ends with the script (the copy started from the
# sign-in shortcut among them; its loader is then waited for with the rest).
at_exit 'wineserver -k >/dev/null 2>&1'
# Waits for every program in the prefix to end (the uninstaller runs from a copy of itself).
settle() { timeout 90 wineserver -w || fail "$1: programs still running after 90 s"; }

{ timeout 300 wineboot -i >/dev/null 2>&1 && timeout 120 wineserver -w; } || fail "no Wine prefix"
winvar() { "$wine" cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }
local_win=$(winvar LOCALAPPDATA)
appdata_win=$(winvar APPDATA)
{ [ -n "$local_win" ] && [ -n "$appdata_win" ]; } || fail "no LOCALAPPDATA or APPDATA in the prefix"
inst_win="$local_win\\Programs\\Tarrow Desk"
inst=$(winepath -u "$local_win")/Programs/Tarrow\ Desk
menu=$(winepath -u "$appdata_win\\Microsoft\\Windows\\Start Menu\\Programs")
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarrowDesk'

menu_link() { echo "$menu/Tarrow Desk.lnk"; }
# The Startup folder is spelt "StartUp" by Wine, "Startup" by Windows.
startup_link() { find "$menu" -maxdepth 2 -ipath "$menu/startup/tarrow desk.lnk" | head -n1; }
has_key() { "$wine" reg query "$key" >/dev/null 2>&1; }
reg_value() { "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
files_in() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }
welcomes() { lines_matching "$inst/speech.log" "^1	Welcome to Tarrow version $version, Build 222!\$"; }
# welcomed N: the log holds N welcomes by now (a command for wait_for, so the log is read at every try).
welcomed() { [ "$(welcomes)" = "$1" ]; }
# check_link LINK FOLDER-WIN: the shortcut starts the program of that folder, in that folder.
check_link() {
  local fields
  fields=$(python3 "$src/tests/installer/shortcut.py" "$1") || fail "$1 is not a shortcut"
  [ "$fields" = "$2\\tarrow-desk.exe

$2" ] || fail "$(basename "$1"): target, arguments and working folder are:
$fields"
}
# run_setup ARGS...: the setup program. Wine quotes an argument holding a
# space, and setup takes /D= only unquoted, as Windows hands it over: the
# folder goes as separate words, which Wine joins with single spaces.
run_setup() {
  local args=() arg words
  for arg in "$@"; do
    if [[ $arg == /D=* ]]; then read -ra words <<<"$arg"; args+=("${words[@]}"); else args+=("$arg"); fi
  done
  timeout 120 "$wine" "$setup" "${args[@]}"
}
# silent_install NAME ARGS...: a silent install that must succeed.
silent_install() {
  local name=$1
  shift
  run_setup /S "$@" || fail "$name: the setup program failed ($?)"
}

echo "-- a folder holding other files is refused"
mkdir -p "$WINEPREFIX/drive_c/Shared Folder"
echo "someone's notes" >"$WINEPREFIX/drive_c/Shared Folder/notes.txt"
if run_setup /S '/D=C:\Shared Folder'; then fail "the setup program took a folder holding other files"; fi
[ "$(files_in "$WINEPREFIX/drive_c/Shared Folder")" = notes.txt ] || fail "the refused folder changed"
has_key && fail "a refused install left an Uninstall entry"

echo "-- silent install into the default folder"
silent_install "first install"
expected=$( (python3 -c 'import sys, zipfile; print("\n".join(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")))' "$archive"; echo uninstall.exe) | LC_ALL=C sort)
[ "$(files_in "$inst")" = "$expected" ] || fail "the installed files are:
$(files_in "$inst")"
python3 - "$archive" "$inst" <<'PY' || fail "the installed files differ from Tarrow.zip's"
import os, sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
for name in archive.namelist():
    with open(os.path.join(sys.argv[2], *name.split("/")), "rb") as f:
        assert f.read() == archive.read(name), name
PY
[ -f "$(menu_link)" ] || fail "no Start-menu shortcut"
check_link "$(menu_link)" "$inst_win"
link=$(startup_link)
[ -n "$link" ] || fail "no sign-in shortcut in the Startup folder"
check_link "$link" "$inst_win"
[ "$(reg_value DisplayName)" = "Tarrow Desk" ] || fail "DisplayName: $(reg_value DisplayName)"
[ "$(reg_value DisplayVersion)" = "$version" ] || fail "DisplayVersion: $(reg_value DisplayVersion)"
[ "$(reg_value Publisher)" = "Tarrow" ] || fail "Publisher: $(reg_value Publisher)"
[ "$(reg_value UninstallString)" = "\"$inst_win\\uninstall.exe\"" ] || fail "UninstallString: $(reg_value UninstallString)"
size=$(reg_value EstimatedSize)
{ [ -n "$size" ] && [ $((size)) -gt 100 ]; } || fail "EstimatedSize: $size"

echo "-- started as at sign-in: the welcome, and prefs.ini in the install folder"
cp "$tolk" "$inst/"
printf 'notepad\r\n' >"$inst/processes.txt"
printf 'notepad.exe\r\n' >"$inst/PROCESSES.LOG"
# As Explorer starts the sign-in shortcut: its target, with its arguments, in
# its working folder; the loader ends with the program's exit code.
{ read -r target; read -r arguments; read -r folder; } < <(python3 "$src/tests/installer/shortcut.py" "$link")
[ -z "$arguments" ] || fail "the sign-in shortcut has arguments: $arguments"
(cd "$(winepath -u "$folder")" && exec timeout 300 "$wine" "$target") &
program_job=$!
wait_for 90 welcomed 1 || fail "the program started from the shortcut said no welcome"
wait_for 30 test -s "$inst/prefs.ini" || fail "no prefs.ini in the install folder"

echo "-- an install over the running copy closes it and starts the new one"
silent_install "install over the running copy"
status=0
wait "$program_job" || status=$?
[ "$status" = 0 ] || fail "the running copy ended with code $status"
wait_for 90 welcomed 2 || fail "the new copy did not start (welcomes: $(welcomes))"

echo "-- silent uninstall keeps the user's three files and removes the rest"
# What a later update may have brought, and the updater's leftovers.
echo "new in an update" >"$inst/brought-by-update.txt"
mkdir -p "$inst/.tarrow-old-1/snd"
echo "old cue" >"$inst/.tarrow-old-1/snd/up.wav"
kept=$(cd "$inst" && sha256sum prefs.ini processes.txt PROCESSES.LOG)
timeout 120 "$wine" "$inst/uninstall.exe" /S || fail "the uninstaller failed ($?)"
settle "silent uninstall"
[ "$(files_in "$inst")" = "$(printf 'PROCESSES.LOG\nprefs.ini\nprocesses.txt')" ] || fail "after the uninstall the folder holds:
$(files_in "$inst")"
[ -z "$(find "$inst" -mindepth 1 -type d)" ] || fail "folders were left behind"
[ "$(cd "$inst" && sha256sum prefs.ini processes.txt PROCESSES.LOG)" = "$kept" ] || fail "the user's files changed"
{ [ ! -e "$(menu_link)" ] && [ -z "$(startup_link)" ]; } || fail "the shortcuts were left behind"
has_key && fail "the Uninstall entry was left behind"

echo "-- /NOSTARTUP and /D=, then an uninstall that removes the settings too"
other_win='C:\Tools\Tarrow Desk'
other=$WINEPREFIX/drive_c/Tools/Tarrow\ Desk
silent_install "install with /NOSTARTUP" /NOSTARTUP "/D=$other_win"
{ [ -f "$other/tarrow-desk.exe" ] && [ -f "$other/uninstall.exe" ]; } || fail "/D: the program is not in $other_win"
check_link "$(menu_link)" "$other_win"
[ -z "$(startup_link)" ] || fail "/NOSTARTUP: a sign-in shortcut was made"
[ "$(reg_value InstallLocation)" = "$other_win" ] || fail "InstallLocation: $(reg_value InstallLocation)"
cp "$inst/prefs.ini" "$inst/processes.txt" "$inst/PROCESSES.LOG" "$other/"
timeout 120 "$wine" "$other/uninstall.exe" /S /REMOVESETTINGS || fail "the uninstaller failed ($?)"
settle "uninstall with /REMOVESETTINGS"
[ ! -e "$other" ] || fail "/REMOVESETTINGS left: $(files_in "$other")"
[ ! -e "$(menu_link)" ] || fail "the Start-menu shortcut was left behind"
has_key && fail "the Uninstall entry was left behind"
# The earlier folder, with the first copy's settings, is not touched.
[ "$(cd "$inst" && sha256sum prefs.ini processes.txt PROCESSES.LOG)" = "$kept" ] || fail "another folder's files changed"
echo "setup program under Wine: all checks passed"
