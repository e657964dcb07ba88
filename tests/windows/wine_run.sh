#!/bin/bash
# Builds ordinal_smoke.exe in the Windows build and runs it under wine beside
# the stand-in qmdll.dll, in a throw-away 32-bit wine prefix inside the build
# that is removed afterwards, with its wineserver.
#   wine_run.sh WINDOWS_BUILD_DIR
# Exits 77 (CTest: skipped) where wine is missing or cannot run 32-bit programs.
set -euo pipefail
build="$(cd "$1" && pwd)"
skip() { echo "windows.wine_run skipped: $*"; exit 77; }

# Compiled wherever the test runs, so the program stays buildable without wine.
cmake --build "$build" --target ordinal_smoke >/dev/null
command -v wine >/dev/null && command -v wineserver >/dev/null ||
  skip "wine is not installed (wine and wine32:i386 on Debian)"
. "$(dirname "$0")/../../scripts/lib/i386.sh"
# wine's own loader does not run under qemu-user: it would only wait out the timeout.
[ "$(qm_i386_mode)" = native ] || skip "i386 programs run under emulation here"

run="$build/wine-run"
# Console only: no display, no Mono or Gecko installers, no menu entries, no
# debugger waiting on a crash.
export WINEPREFIX="$run/prefix" WINEARCH=win32 WINEDEBUG=-all \
       WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
stop() {
  wineserver -k 2>/dev/null || true
  timeout 20 wineserver -w 2>/dev/null || true
  rm -rf "$run"
}
[ ! -d "$run" ] || stop  # left by an interrupted run
trap stop EXIT
mkdir -p "$run"

# The first program creates the prefix; its cmd.exe is a 32-bit program.
probe="$(timeout -k 5 180 wine cmd /c echo wine-runs-32-bit 2>&1)" || true
[[ "$probe" == *wine-runs-32-bit* ]] ||
  skip "wine cannot run a 32-bit program here: $(tail -n 3 <<<"$probe" | tr '\n' ' ')"

cp "$build/qmdll.dll" "$build/tests/ordinal_smoke.exe" "$run/"
timeout -k 5 120 wine "$run/ordinal_smoke.exe"
