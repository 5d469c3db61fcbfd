#!/usr/bin/env bash
# Runs every benchmark in full and rewrites BENCHMARKS.md with the machine, the command and
# the results. Takes a few minutes; ./test.sh runs the same benchmarks in a tiny smoke mode.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

build_presets host windows-arm64 windows
python3 bench/run.py all
