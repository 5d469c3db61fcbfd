#!/usr/bin/env bash
# Builds the product into dist/: tirk-console.dll and tirk-console.jar.
set -euo pipefail
cd "$(dirname "$0")"
. tools/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset windows >/dev/null
cmake --build --preset windows --target tirk-console jar -j"$(nproc)"
mkdir -p dist
cp build/windows/dist/tirk-console.dll build/windows/dist/tirk-console.jar dist/
(cd dist && sha256sum tirk-console.dll > tirk-console.dll.sha256)
ls -l dist
