#!/usr/bin/env bash
# The Windows release archive: its exact list of entries, and the same bytes
# from two builds (the programs linked again in between).
# Usage: package_windows.sh BUILD-WIN-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
# shellcheck source=../lib/common.sh
source "$(dirname "$0")/../lib/common.sh"

bash "$src/scripts/package-windows" "$build" >/dev/null || fail "package-windows failed"
first=$work/first.zip
cp "$build/Tarrow.zip" "$first"
rm -f "$build/tarrow-desk.exe" "$build/updater.exe"
bash "$src/scripts/package-windows" "$build" >/dev/null || fail "package-windows failed the second time"
cmp -s "$first" "$build/Tarrow.zip" || fail "two builds gave different archives"

expected="README.txt
licenses/curl.txt
licenses/gcc-runtime.txt
licenses/mingw-w64.txt
licenses/miniaudio.txt
licenses/zlib-minizip.txt
snd/CPU.wav
snd/battery.wav
snd/down.wav
snd/memory.wav
snd/up.wav
tarrow-desk.exe
updater.exe"
listed=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$build/Tarrow.zip")
[ "$listed" = "$expected" ] || fail "the archive holds:
$listed"
python3 - "$build/Tarrow.zip" "$src/snd/up.wav" <<'PY' || fail "the archive's contents are wrong"
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
assert archive.testzip() is None
assert archive.read("snd/up.wav") == open(sys.argv[2], "rb").read()
assert archive.read("tarrow-desk.exe")[:2] == b"MZ" and archive.read("updater.exe")[:2] == b"MZ"
assert b"prefs.ini" in archive.read("README.txt") and b"\r\n" in archive.read("README.txt")
PY
echo "package-windows: all checks passed"
