#!/bin/bash
# The main job: a bench session against the stand-in board library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --target _qm_python _qm_signal qmdll
PYTHONPATH=build/lib:python exec /usr/bin/python2.7 examples/bench_session.py "$@"
