#!/bin/bash
# C++ exceptions in a process where libgcc_s_dw2-1.dll registered frames
# first (frames_check.exe under wine): a DLL built with the shared libgcc is
# loaded first and brings Debian's libgcc_s_dw2-1.dll; then
#   1. a DLL linked like the modules but without frame_registration.cpp must
#      end in std::terminate at its first throw (the fault, reproduced);
#   2. the same DLL with it throws and catches, and the package's modules and
#      the stand-in load and unload;
#   3. without libgcc_s_dw2-1.dll the DLL with it throws and catches too.
#   wine_frames.sh WINDOWS_BUILD_DIR
# Exits 77 (CTest: skipped) where wine is missing or cannot run 32-bit programs.
set -euo pipefail
build="$(cd "$1" && pwd)"
cmake --build "$build" --target frames_check frames_shared_libgcc frames_registered \
      frames_unregistered python_stand_ins >/dev/null
. "$(dirname "$0")/wine_prefix.sh" windows.wine_frames "$build/wine-frames"

cxx="$(awk -F'\t' '$1 == "cxx" { print $2 }' "$build/windows/tools.txt")"
libgcc="$("$cxx" -print-file-name=libgcc_s_dw2-1.dll)"
[ -f "$libgcc" ] || { echo "windows.wine_frames: the toolchain has no libgcc_s_dw2-1.dll"; exit 1; }
cp "$libgcc" "$build"/tests/frames_*.dll "$build"/tests/frames_check.exe "$run/"
# The posix thread model's libgcc DLL needs winpthread's.
pthread="$("$cxx" -print-file-name=libwinpthread-1.dll)"
[ ! -f "$pthread" ] || cp "$pthread" "$run/"
site="$run/site-packages"
mkdir -p "$site"
/usr/bin/python2.7 -c 'import sys, zipfile; [zipfile.ZipFile(a).extractall(sys.argv[1]) for a in sys.argv[2:]]' \
  "$site" "$(ls "$build"/dist/qm_python-*-cp27-none-win32.whl)" "$(ls "$build"/dist/qmdll_standin-*-win32.zip)"
cp "$build/tests/python27.dll" "$run/"
frames() { (cd "$run" && timeout -k 5 120 wine frames_check.exe "$@"); }

echo "== 1. without frame_registration.cpp, after libgcc_s_dw2-1.dll: must terminate"
if out="$(frames --shared-libgcc-first frames_unregistered.dll 2>&1)"; then
  echo "$out"
  echo "windows.wine_frames: FAIL: the control caught its exception; the fault is no longer reproduced"
  exit 1
fi
echo "$out"
[[ "$out" == *"frames_unregistered.dll throws..."* && "$out" != *"frames_unregistered.dll caught"* ]] || {
  echo "windows.wine_frames: FAIL: the control did not get as far as its throw"; exit 1; }

echo "== 2. with it, after libgcc_s_dw2-1.dll"
shipped=()
for dll in $(cd "$site" && find . -name '*.pyd' -o -name qmdll.dll | sort); do
  shipped+=("$(winepath -w "$site/${dll#./}")")
done
frames --shared-libgcc-first frames_registered.dll "${shipped[@]}"
echo "== 3. with it, alone"
frames frames_registered.dll
