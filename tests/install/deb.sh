#!/usr/bin/env bash
# The .deb: built with CPack, installed with dpkg -i, started in terminal mode
# from a folder without snd/ it welcomes the user, keeps prefs.ini in the XDG
# folder and leaves updates to the package manager; dpkg -r removes it cleanly;
# lintian finds no errors in it.
# Needs root (or sudo without a password): exits 77 (skipped) otherwise.
# Usage: deb.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -eq 0 ]; then as_root=(); elif sudo -n true 2>/dev/null; then as_root=(sudo -n); else
    echo "deb: needs root for dpkg; skipped"
    exit 77
fi
# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"
installed=no
remove_package() { [ "$installed" = no ] || "${as_root[@]}" dpkg -r tarrow-desk >/dev/null 2>&1; }
at_exit remove_package

! dpkg-query -W -f='${Status}' tarrow-desk 2>/dev/null | grep -q "install ok" ||
    fail "tarrow-desk is installed already: the test would replace it"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 || fail "cpack failed"
deb=$(find "$work/pkg" -maxdepth 1 -name 'tarrow-desk_*.deb' | head -1)
[ -n "$deb" ] || fail "no .deb was made"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort)
expected="./usr/bin/tarrow-desk
./usr/share/applications/tarrow-desk.desktop
./usr/share/doc/tarrow-desk/changelog.gz
./usr/share/doc/tarrow-desk/copyright
./usr/share/man/man1/tarrow-desk.1.gz
./usr/share/tarrow-desk/autostart/tarrow-desk.desktop
./usr/share/tarrow-desk/snd/CPU.wav
./usr/share/tarrow-desk/snd/battery.wav
./usr/share/tarrow-desk/snd/down.wav
./usr/share/tarrow-desk/snd/memory.wav
./usr/share/tarrow-desk/snd/up.wav"
[ "$listing" = "$expected" ] || fail "the package holds:
$listing"

# Debian's own checks of a package: no errors.
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian finds errors: $(grep '^E:' "$work/lintian.log")"
    ! grep -q '^E:' "$work/lintian.log" || fail "lintian finds errors: $(grep '^E:' "$work/lintian.log")"
    grep -q 'miniaudio' <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tarrow-desk/copyright) ||
        fail "the copyright file lacks miniaudio's licence"
else
    fail "no lintian (run scripts/setup)"
fi

installed=yes
"${as_root[@]}" dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i failed"
[ -x /usr/bin/tarrow-desk ] || fail "no /usr/bin/tarrow-desk"

# Terminal mode from a folder of its own: keys on a terminal, speech in a file.
mkdir -p "$work/elsewhere" "$work/home"
# No speech or braille server but the private ones that are not there (common.sh).
(cd "$work/elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    timeout 60 python3 - /usr/bin/tarrow-desk "$work/out.log" <<'PY') || fail "the installed program did not run as wanted"
import os, pty, subprocess, sys, time
program, out = sys.argv[1:]
master, slave = pty.openpty()
with open(out, "wb") as spoken:
    child = subprocess.Popen([program], stdin=slave, stdout=spoken, stderr=slave, start_new_session=True)
os.close(slave)

def wait_for(line, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        with open(out, encoding="utf-8") as f:
            if line in f.read().splitlines():
                return
        try:
            os.set_blocking(master, False)
            os.read(master, 4096)
        except (BlockingIOError, OSError):
            pass
        time.sleep(0.05)
    child.kill()
    sys.exit(f"never said {line!r}")

wait_for("Welcome to Tarrow version 1.0.7, Build 222!")
os.write(master, b"u")
wait_for("Updates come from your package manager.")
os.write(master, b"q")
wait_for("Exiting")
sys.exit(child.wait(timeout=15))
PY
[ -f "$work/config/tarrow-desk/prefs.ini" ] || fail "prefs.ini is not in the XDG folder"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "files were written where it was started: $(ls -A "$work/elsewhere")"

"${as_root[@]}" dpkg -r tarrow-desk >>"$work/dpkg.log" 2>&1 || fail "dpkg -r failed"
installed=no
{ [ ! -e /usr/bin/tarrow-desk ] && [ ! -e /usr/share/tarrow-desk ] && [ ! -e /usr/share/man/man1/tarrow-desk.1.gz ] && [ ! -e /usr/share/doc/tarrow-desk ]; } ||
    fail "dpkg -r left files behind"
[ -f "$work/config/tarrow-desk/prefs.ini" ] || fail "dpkg -r took the user's settings"
echo "deb: all checks passed"
