#!/usr/bin/env bash
# Builds everything and runs every suite: the host rig (Linux, stand-in console, and the JVM
# suite), the same rig under sanitizers with a short fuzzing run, and the Windows rig (the
# real DLL under Wine). Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

builds=(host sanitize windows)
status=0
for preset in "${builds[@]}"; do
    rm -rf "build/$preset/reports"
    if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j"$(nproc)"; then
        echo "build of $preset failed" >&2
        status=1
        continue
    fi
    ctest --preset "$preset" --output-junit "$PWD/build/$preset/ctest.xml" || status=1
done
python3 tools/summarize.py "${builds[@]/#/build/}" || status=1
exit "$status"
