# Sourced by the wine tests: skips (exit 77, CTest's "skipped") where wine is
# missing or cannot run 32-bit programs; otherwise makes a throw-away 32-bit
# wine prefix in RUN_DIR, removed with its wineserver on exit.
#   . wine_prefix.sh TEST_NAME RUN_DIR
# Then run programs with: timeout -k 5 120 wine PROGRAM ARGS...
wine_test="$1" run="$2"
skip() { echo "$wine_test skipped: $*"; exit 77; }

command -v wine >/dev/null && command -v wineserver >/dev/null ||
  skip "wine is not installed (wine and wine32:i386 on Debian; QM_WITH_WINE=1 scripts/setup.sh installs them)"
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/i386.sh"
# wine's own loader does not run under qemu-user: it would only wait out the timeout.
[ "$(qm_i386_mode)" = native ] || skip "i386 programs run under emulation here"

# Console only: no display, no Mono or Gecko installers, no menu entries, no
# debugger waiting on a crash.
export WINEPREFIX="$run/prefix" WINEARCH=win32 WINEDEBUG=-all \
       WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
stop_wine() {
  wineserver -k 2>/dev/null || true
  timeout 20 wineserver -w 2>/dev/null || true
  rm -rf "$run"
}
[ ! -d "$run" ] || stop_wine  # left by an interrupted run
trap stop_wine EXIT
mkdir -p "$run"

# The first program creates the prefix; its cmd.exe is a 32-bit program.
probe="$(timeout -k 5 180 wine cmd /c echo wine-runs-32-bit 2>&1)" || true
[[ "$probe" == *wine-runs-32-bit* ]] ||
  skip "wine cannot run a 32-bit program here: $(tail -n 3 <<<"$probe" | tr '\n' ' ')"
