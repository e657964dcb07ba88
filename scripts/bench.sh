#!/bin/bash
# Runs the benchmarks (not tests): wrapper and event throughput next to ctypes,
# the signal core's kernels, and instruction counts per event and per call
# (callgrind, where installed).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/i386.sh
scripts/build.sh --target _qm_python _qm_signal qmdll library_baseline _qm_baseline
mode="$(qm_i386_mode)"
if [ "$mode" = emulated ]; then
  echo "bench: i386 programs run under emulation (qemu-user-static): these timings are not native"
else
  echo "bench: i386 programs run natively"
fi
build/bin/library_baseline
for bench in bench/bench_*.py; do
  PYTHONPATH=build/lib:python:tests/python QMDLL_PATH=build/lib/libqmdll.so /usr/bin/python2.7 "$bench"
done
