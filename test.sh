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

# The Windows builds ship DLLs signed by a throwaway certificate, so that every suite runs the
# signed bytes that a signed release ships; the authenticode test checks the signatures.
signer=$PWD/build/test-signer
if [ ! -f "$signer/cert.pem" ]; then
    mkdir -p "$signer"
    openssl req -x509 -newkey rsa:3072 -nodes -keyout "$signer/key.pem" -out "$signer/cert.pem" -days 3650 \
        -subj "/CN=tirk-console test signer" -addext extendedKeyUsage=codeSigning \
        -addext keyUsage=digitalSignature 2>/dev/null
fi
signed_at=$(date -d "$(openssl x509 -in "$signer/cert.pem" -noout -startdate | cut -d= -f2)" +%s)
signing=(-DTIRK_AUTHENTICODE_CERT="$signer/cert.pem" -DTIRK_AUTHENTICODE_KEY="$signer/key.pem"
    -DTIRK_AUTHENTICODE_TIMESTAMP_URL= -DTIRK_SIGNING_TIME="$signed_at")

builds=(host sanitize windows-arm64 windows)
status=0
for preset in "${builds[@]}"; do
    rm -rf "build/$preset/reports"
    options=()
    [[ $preset == windows* ]] && options=("${signing[@]}")
    if ! cmake --preset "$preset" "${options[@]}" >/dev/null || ! cmake --build --preset "$preset" -j"$(nproc)"; then
        echo "build of $preset failed" >&2
        status=1
        continue
    fi
    ctest --preset "$preset" --output-junit "$PWD/build/$preset/ctest.xml" || status=1
done
python3 tools/summarize.py "${builds[@]/#/build/}" || status=1
exit "$status"
