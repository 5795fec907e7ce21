#!/usr/bin/env bash
# Runs the Windows tests under Wine, inside an X server given by the caller
# (xvfb-run): the cross-built unit tests, the backend tests, and the smoke
# test of the real tarrow-desk.exe. Usage: run-under-wine.sh <build-win dir>
set -euo pipefail
build=$(cd "$1" && pwd)
tests=$build/tests/platform/win32

export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
# No .NET or HTML engine: nothing here needs them, and their installers would prompt.
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine=$(command -v wine64 || command -v wine)

elapsed() { echo "   ($(( $(date +%s) - $1 )) s)"; }
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# A fresh prefix each run; its first start is slow, so it happens here, untimed by the tests.
t=$(date +%s)
rm -rf "$WINEPREFIX"
timeout 300 wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w || true
echo "-- Wine prefix ready"; elapsed "$t"

t=$(date +%s)
echo "-- unit tests (16-bit wchar_t)"
timeout 300 "$wine" "$build/tests/tarrow-tests.exe" --gtest_brief=1
elapsed "$t"

if [ -f "$tests/tarrow-win32-tests.exe" ]; then
  t=$(date +%s)
  echo "-- Windows backend tests"
  (cd "$tests" && timeout 300 "$wine" ./tarrow-win32-tests.exe --gtest_brief=1)
  elapsed "$t"
fi

t=$(date +%s)
echo "-- smoke test of tarrow-desk.exe"
work=$(mktemp -d "$build/smoke.XXXXXX")
cp "$build/tarrow-desk.exe" "$tests/Tolk.dll" "$tests/driver.exe" "$work/"
# The process list and its sort toggle are checked once the program has them.
extra=(--no-process-list)
(cd "$work" && timeout 400 "$wine" ./driver.exe "$(winepath -w "$work/tarrow-desk.exe")" \
  "$(winepath -w "$work/speech.log")" "${extra[@]}")
rm -rf "$work"
elapsed "$t"
