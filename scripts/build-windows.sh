#!/bin/bash
# Cross-builds the module, the stand-in library and the packages for 32-bit
# Windows with mingw-w64 into build-windows/ (or the directory given):
#   py26/_qm_python.pyd, py27/_qm_python.pyd   the module, one set of objects
#                                              linked for python26.dll and python27.dll
#   py26/_qm_signal.pyd, py27/_qm_signal.pyd   the signal core, made the same way
#   qmdll.dll                                  the stand-in board library
#   dist/                                      the packages (windows/package.py)
# QM_MINGW_THREADS=win32 picks the toolchain without winpthreads
# (cmake/mingw-i686.cmake); posix is the default. The record layouts the
# class layer reads (qm_layouts.py) come from the native build, whose program
# writes them the same for both platforms: the tree QM_NATIVE_BUILD names, as
# it is, or else build/, configured by scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-windows}"
scripts/setup.sh
if [ -n "${QM_NATIVE_BUILD:-}" ]; then
  native="$QM_NATIVE_BUILD"
  cmake --build "$native" --target qm_layouts >/dev/null
else
  native=build
  scripts/build.sh --target qm_layouts >/dev/null
fi
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DQM_MINGW_THREADS="${QM_MINGW_THREADS:-posix}" -DCMAKE_BUILD_TYPE=Release \
      -DQM_NATIVE_LAYOUTS="$(cd "$native" && pwd)/lib/qm_layouts.py" >/dev/null
cmake --build "$out" -j2
ls "$out"/dist/*.whl "$out"/dist/*.zip
