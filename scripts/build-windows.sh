#!/bin/bash
# Cross-builds the module, the stand-in library and the packages for 32-bit
# Windows with mingw-w64 into build-windows/ (or the directory given):
#   py26/_qm_python.pyd, py27/_qm_python.pyd   the module, one set of objects
#                                              linked for python26.dll and python27.dll
#   py26/_qm_signal.pyd, py27/_qm_signal.pyd   the signal core, made the same way
#   qmdll.dll                                  the stand-in board library
#   dist/                                      the packages (windows/package.py)
# QM_MINGW_THREADS=win32 picks the toolchain without winpthreads
# (cmake/mingw-i686.cmake); posix is the default.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-windows}"
scripts/setup.sh
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DQM_MINGW_THREADS="${QM_MINGW_THREADS:-posix}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out" -j2
ls "$out"/dist/*.whl "$out"/dist/*.zip
