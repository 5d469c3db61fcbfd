#!/usr/bin/env bash
# Builds everything and runs every suite: the host rig (Linux, stand-in console, and the JVM
# suite), the same rig under sanitizers with a short fuzzing run, the ARM64 DLL under emulated
# arm64 Wine, and the x86-64 DLL under Wine with the jar and the Maven repository that carry
# both (the x86-64 build comes last because of that), the jar on a Windows JVM under Wine among
# them. Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

builds=(host sanitize windows-arm64 windows)
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
