#!/usr/bin/env bash
# Builds the product into dist/: tirk-console.dll (x86-64), tirk-console-aarch64.dll (ARM64),
# each with its SHA-256, tirk-console.jar carrying both, and the Maven repository dist/maven.
# With TIRK_AUTHENTICODE_CERT and TIRK_AUTHENTICODE_KEY the DLLs are signed with Authenticode.
# With TIRK_SIGNING_KEY naming a GnuPG key, the repository is signed and the release bundle
# dist/tirk-console-VERSION-bundle.zip is written.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

rm -rf dist

# Authenticode: with TIRK_AUTHENTICODE_CERT (and TIRK_AUTHENTICODE_KEY) both DLLs are signed
# before the jar is packed, at the time of SOURCE_DATE_EPOCH or else of the last commit, so that
# a signed release rebuilds byte-identical; TIRK_AUTHENTICODE_TIMESTAMP_URL adds a time-stamp.
# Empty settings are passed too, so that no earlier configuration signs an unsigned build.
signing=(-DTIRK_AUTHENTICODE_CERT= -DTIRK_AUTHENTICODE_KEY= -DTIRK_AUTHENTICODE_TIMESTAMP_URL= -DTIRK_SIGNING_TIME=)
if [ -n "${TIRK_AUTHENTICODE_CERT:-}" ]; then
    cert=$(realpath -m "$TIRK_AUTHENTICODE_CERT")
    key=${TIRK_AUTHENTICODE_KEY:+$(realpath -m "$TIRK_AUTHENTICODE_KEY")}
    tools/authenticode-sign.sh check "$cert" "$key"
    signed_at=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
    signing=(-DTIRK_AUTHENTICODE_CERT="$cert" -DTIRK_AUTHENTICODE_KEY="$key"
        -DTIRK_AUTHENTICODE_TIMESTAMP_URL="${TIRK_AUTHENTICODE_TIMESTAMP_URL:-}" -DTIRK_SIGNING_TIME="$signed_at")
else
    echo "TIRK_AUTHENTICODE_CERT is not set: the DLLs are not signed with Authenticode."
fi

# The ARM64 DLL first: the jar carries it.
cmake --preset windows-arm64 "${signing[@]}" >/dev/null
cmake --build --preset windows-arm64 --target tirk-console-shipped -j"$(nproc)"
cmake --preset windows "${signing[@]}" >/dev/null
cmake --build --preset windows --target tirk-console-shipped jar maven_repository -j"$(nproc)"

mkdir -p dist
cp build/windows/dist/tirk-console.dll build/windows/dist/tirk-console.jar dist/
cp build/windows-arm64/dist/tirk-console.dll dist/tirk-console-aarch64.dll
cp -r build/windows/dist/maven dist/
(cd dist && for dll in tirk-console.dll tirk-console-aarch64.dll; do sha256sum "$dll" >"$dll.sha256"; done)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
if [ -n "${TIRK_SIGNING_KEY:-}" ]; then
    tools/sign-release.sh dist/maven "$version" "dist/tirk-console-$version-bundle.zip"
else
    echo "TIRK_SIGNING_KEY is not set: dist/maven is not signed and no release bundle is written."
fi
ls -l dist
