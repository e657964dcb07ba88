#!/bin/bash
# Runs the event suites under the debug interpreter python2.7-dbg against a
# module built for it in build/debug: reference counts are checked and freed
# memory is filled, so a late or double free shows. Exits 77 (skipped) when
# the debug interpreter is not installed (QM_WITH_DEBUG_PYTHON=1 scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dbg=/usr/bin/python2.7-dbg
if [ ! -x "$dbg" ] || [ ! -f /usr/include/python2.7_d/Python.h ]; then
  echo "test_debug: python2.7-dbg is not installed: skipped"
  exit 77
fi
cmake -S . -B build/debug -DQM_DEBUG_PYTHON=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/debug -j2 --target _qm_python >/dev/null
export PYTHONPATH="$PWD/build/debug/lib:$PWD/python:$PWD/tests/python"
export QMDLL_PATH="$PWD/build/debug/lib/libqmdll.so" PYTHONDONTWRITEBYTECODE=1
for suite in test_callbacks test_callbacks_threads test_callbacks_exit; do
  echo "test_debug: $suite"
  "$dbg" "tests/python/$suite.py"
done
