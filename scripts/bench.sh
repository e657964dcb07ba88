#!/bin/bash
# Runs the benchmarks (not tests): wrapper and event throughput next to ctypes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --target _qm_python qmdll library_baseline
build/bin/library_baseline
for bench in bench/bench_*.py; do
  PYTHONPATH=build/lib:tests/python QMDLL_PATH=build/lib/libqmdll.so /usr/bin/python2.7 "$bench"
done
