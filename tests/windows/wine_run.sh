#!/bin/bash
# Builds ordinal_smoke.exe and tick_check.exe in the Windows build and runs
# them under wine, the first beside the stand-in qmdll.dll, in a throw-away
# 32-bit wine prefix.
#   wine_run.sh WINDOWS_BUILD_DIR
# Exits 77 (CTest: skipped) where wine is missing or cannot run 32-bit programs.
set -euo pipefail
build="$(cd "$1" && pwd)"
# Built here too when run by hand (CTest builds it first: windows.test_programs).
cmake --build "$build" --target ordinal_smoke tick_check >/dev/null
. "$(dirname "$0")/wine_prefix.sh" windows.wine_run "$build/wine-run"

cp "$build/qmdll.dll" "$build/tests/ordinal_smoke.exe" "$build/tests/tick_check.exe" "$run/"
timeout -k 5 120 wine "$run/ordinal_smoke.exe"
timeout -k 5 120 wine "$run/tick_check.exe"
