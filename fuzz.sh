#!/usr/bin/env bash
# The long fuzzing runs: the libFuzzer target over the stand-in console for FUZZ_SECONDS
# (default 600) and a million random calls into the real DLL under Wine from four threads.
# ./test.sh runs both briefly (60 s and 10^4 calls).
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

build_presets sanitize windows-arm64 windows
mkdir -p build/fuzz-reports
python3 tests/fuzz/run_fuzz.py build/sanitize/fuzz_entry_points tests/fuzz/corpus build/sanitize/fuzz-corpus \
    "${FUZZ_SECONDS:-600}" build/fuzz-reports/fuzz.xml
WINEPREFIX="$PWD/build/windows/wineprefix" python3 tests/wine/wine_fuzz_test.py build/windows/wine_fuzz.exe \
    build/windows/dist/tirk-console.dll 1000000 4 "${FUZZ_SEED:-1}" build/fuzz-reports/wine_fuzz.xml
