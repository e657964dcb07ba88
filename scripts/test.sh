#!/bin/bash
# Builds everything and runs every test suite (Python and C++) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
# The event suites also run under the debug interpreter (CTest py.debug_interpreter),
# and the Windows build's programs under wine (windows.wine_*), where it runs.
export QM_WITH_DEBUG_PYTHON=1 QM_WITH_WINE=1
scripts/build.sh
cd build
ctest --output-on-failure -j2
