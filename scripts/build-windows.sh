#!/bin/bash
# Cross-builds the module and the stand-in library for 32-bit Windows with
# mingw-w64 into build-windows/ (or the directory given):
#   build-windows/_qm_python.pyd   the module (imports python27.dll and qmdll.dll)
#   build-windows/_qm_signal.pyd   the signal core (imports python27.dll only)
#   build-windows/qmdll.dll        the stand-in board library
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build-windows}"
scripts/setup.sh
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out" -j2 --target _qm_python _qm_signal qmdll
