#!/usr/bin/env bash
# Builds the product into dist/: tirk-console.dll (x86-64), tirk-console-aarch64.dll (ARM64),
# each with its SHA-256, tirk-console.jar carrying both, and the Maven repository dist/maven.
# With TIRK_SIGNING_KEY naming a GnuPG key, the repository is signed and the release bundle
# dist/tirk-console-VERSION-bundle.zip is written.
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
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
if [ -n "${TIRK_SIGNING_KEY:-}" ]; then
    tools/sign-release.sh dist/maven "$version" "dist/tirk-console-$version-bundle.zip"
else
    echo "TIRK_SIGNING_KEY is not set: dist/maven is not signed and no release bundle is written."
fi
ls -l dist
