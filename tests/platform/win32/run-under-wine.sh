#!/usr/bin/env bash
# Runs the Windows tests under Wine, inside an X server given by the caller
# (xvfb-run): the cross-built unit tests, the backend tests, and the smoke
# test of the real tarrow-desk.exe. Every step runs; the result is the failure
# of any. Usage: run-under-wine.sh <build-win dir> <source dir>
set -uo pipefail
build=$(cd "$1" && pwd)
# The smoke test's folder goes in the build folder.
work_parent=$build
# shellcheck source=../../lib/common.sh
source "$(dirname "$0")/../../lib/common.sh"
tests=$build/tests/platform/win32

export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
# No .NET or HTML engine: nothing here needs them, and their installers would
# prompt. No sound drivers: the build machines have no sound card, and ALSA
# would only fill the log with complaints; the program then runs without cues.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winealsa.drv=;winepulse.drv=;wineoss.drv="
wine=$(command -v wine64 || command -v wine)

at_exit 'wineserver -k >/dev/null 2>&1'

failed=()
# step <name> <command...>: runs it, prints its time, remembers a failure.
step() {
  local name=$1 start
  shift
  echo "-- $name"
  start=$(date +%s)
  if ! "$@"; then failed+=("$name"); fi
  echo "   ($(( $(date +%s) - start )) s)"
}

# A fresh prefix each run; its first start is slow, so it happens here, before the tests.
prepare_prefix() {
  rm -rf "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1 && timeout 120 wineserver -w
}

smoke() {
  local dir=$work/smoke status
  mkdir "$dir"
  cp "$build/tarrow-desk.exe" "$tests/Tolk.dll" "$tests/driver.exe" "$dir/"
  cp -r "$src/snd" "$dir/" 2>/dev/null || true
  # A second folder with the program alone: no screen-reader library beside it.
  mkdir "$dir/alone"
  cp "$build/tarrow-desk.exe" "$dir/alone/"
  (cd "$dir" && timeout 400 "$wine" ./driver.exe "$(winepath -w "$dir/tarrow-desk.exe")" \
    "$(winepath -w "$dir/speech.log")" "$(winepath -w "$dir/alone/tarrow-desk.exe")")
  status=$?
  rm -rf "$dir"
  return $status
}

step "Wine prefix" prepare_prefix
if [ ${#failed[@]} -gt 0 ]; then
  echo "Windows tests: the Wine prefix could not be prepared"
  exit 1
fi
step "unit tests (16-bit wchar_t)" timeout 300 "$wine" "$build/tests/tarrow-tests.exe" --gtest_brief=1
if [ -f "$build/tests/fuzz/tarrow-ini-corpus.exe" ]; then
  step "INI reader corpus" timeout 300 "$wine" "$build/tests/fuzz/tarrow-ini-corpus.exe" \
    "$(winepath -w "$src/tests/fuzz/corpus")"
fi
if [ -f "$tests/tarrow-win32-tests.exe" ]; then
  step "Windows backend tests" bash -c "cd '$tests' && timeout 300 '$wine' ./tarrow-win32-tests.exe --gtest_brief=1"
fi
step "smoke test of tarrow-desk.exe" smoke

if [ ${#failed[@]} -gt 0 ]; then
  printf 'Windows tests FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "Windows tests passed"
