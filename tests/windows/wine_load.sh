#!/bin/bash
# Loads every module of each interpreter's package under wine, the way the
# interpreter does, and checks that every import resolves (load_check.exe).
# Each package is unpacked from its wheel into its own site-packages, with
# the stand-in part's qmdll.dll beside the modules; load_check.exe and the
# stand-in python2X.dll sit one directory up, as python.exe and its DLL do.
#   wine_load.sh SOURCE_DIR WINDOWS_BUILD_DIR
# Exits 77 (CTest: skipped) where wine is missing or cannot run 32-bit programs.
set -euo pipefail
source_dir="$(cd "$1" && pwd)" build="$(cd "$2" && pwd)"
cmake --build "$build" --target load_check python_stand_ins >/dev/null
. "$(dirname "$0")/wine_prefix.sh" windows.wine_load "$build/wine-load"

ordinals="$(grep -c '^QM_ORDINAL(' "$source_dir/qmdll/include/qmdll_ordinals.def")"
unpack() { /usr/bin/python2.7 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$@"; }
failed=0
for wheel in "$build"/dist/qm_python-*-cp*-win32.whl; do
  version="$(sed -E 's/.*-cp([0-9]+)-.*/\1/' <<<"$wheel")"
  home="$run/python$version" site="$run/python$version/site-packages"
  mkdir -p "$site"
  unpack "$wheel" "$site"
  unpack "$(ls "$build"/dist/qmdll_standin-*-win32.zip)" "$site"
  cp "$build/tests/load_check.exe" "$build/tests/python$version.dll" "$home/"
  modules="$(cd "$site" && find . -name '*.pyd' | sort)"
  [ -n "$modules" ] || { echo "windows.wine_load: no module in $(basename "$wheel")"; exit 1; }
  for module in $modules; do
    name="$(basename "$module" .pyd)"
    echo "== python$version.dll: ${module#./}"
    (cd "$home" && timeout -k 5 120 wine load_check.exe "python$version.dll" \
       "$(winepath -w "$site/${module#./}")" "init$name" "qmdll.dll=$ordinals") || failed=1
  done
done
exit $failed
