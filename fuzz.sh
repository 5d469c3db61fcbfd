#!/usr/bin/env bash
# The long fuzzing runs: the libFuzzer target over the stand-in console for FUZZ_SECONDS
# (default 600), and the Windows JVM suite with a million random calls into the real DLL under
# Wine from four threads. ./test.sh runs both briefly (60 s and 10^4 calls).
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

build_presets sanitize windows-arm64 windows
mkdir -p build/fuzz-reports
python3 tests/fuzz/run_fuzz.py build/sanitize/fuzz_entry_points tests/fuzz/corpus build/sanitize/fuzz-corpus \
    "${FUZZ_SECONDS:-600}" build/fuzz-reports/fuzz.xml
WINEPREFIX="$PWD/build/windows/wineprefix" python3 tests/winjvm/run_windows_jvm.py junit build/windows/windows-jre \
    build/fuzz-reports/windows_jvm.xml build/windows/windows-tests build/windows/dist/tirk-console.jar \
    build/windows/dist/tirk-console.dll \
    -Dtest.randomCalls=1000000 "-Dtest.randomSeed=${FUZZ_SEED:-1}"
