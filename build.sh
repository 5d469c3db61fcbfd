#!/usr/bin/env bash
# Builds the product into dist/: tirk-console.dll (x86-64), tirk-console-aarch64.dll (ARM64),
# each with its SHA-256, tirk-console.jar carrying both, and the Maven repository dist/maven.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

# The ARM64 DLL first: the jar carries it.
cmake --preset windows-arm64 >/dev/null
cmake --build --preset windows-arm64 --target tirk-console -j"$(nproc)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target tirk-console jar maven_repository -j"$(nproc)"

rm -rf dist
mkdir -p dist
cp build/windows/dist/tirk-console.dll build/windows/dist/tirk-console.jar dist/
cp build/windows-arm64/dist/tirk-console.dll dist/tirk-console-aarch64.dll
cp -r build/windows/dist/maven dist/
(cd dist && for dll in tirk-console.dll tirk-console-aarch64.dll; do sha256sum "$dll" >"$dll.sha256"; done)
ls -l dist
