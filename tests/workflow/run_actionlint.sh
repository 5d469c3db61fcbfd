#!/usr/bin/env bash
# Checks the CI workflow with actionlint, which runs shellcheck on the shell scripts of its steps,
# and writes the verdict as a JUnit report. actionlint is built from source at the version this
# folder's go.mod pins (go.sum holds the hashes of every module it takes), with the Go on PATH
# where that is Go 1.25 or later, else with the Go toolchain pinned below, fetched from the Go
# module proxy and checked against its SHA-256. Both are kept in CACHE while their pins stay.
# Usage: run_actionlint.sh CACHE REPORT
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=$(realpath -m "$1") report=$2
toolchain=go1.25.14.linux-amd64
toolchain_sha256=1bb543a7745d4c6e045a1bfdb4c4d5a0b05b71ee8b8ff72c0a351598b26991a4
mkdir -p "$cache"

# The report: one case, failed with DETAIL unless STATUS is 0.
verdict() {  # STATUS DETAIL
    python3 -c '
import sys
sys.path.insert(0, sys.argv[1])
from junit import Report
report = Report("actionlint")
report.check("actionlint and shellcheck find nothing in .github/workflows", sys.argv[3] == "0", sys.argv[4])
sys.exit(report.write(sys.argv[2]))' "$here/.." "$report" "$1" "$2"
}

shellcheck=$(command -v shellcheck) || { verdict 1 "shellcheck is not installed"; exit 1; }
go=$(command -v go)
if [ -z "$go" ] || ! "$go" env GOVERSION | grep -Eq '^go1\.(2[5-9]|[3-9][0-9])'; then
    go=$cache/$toolchain/bin/go
    if [ ! -x "$go" ]; then
        zip=$cache/$toolchain.zip
        curl -fsSL -o "$zip" "https://proxy.golang.org/golang.org/toolchain/@v/v0.0.1-$toolchain.zip" || exit 1
        if ! echo "$toolchain_sha256  $zip" | sha256sum --check --status; then
            verdict 1 "$zip does not have the pinned SHA-256 $toolchain_sha256"
            rm -f "$zip"
            exit 1
        fi
        unzip -q -o "$zip" -d "$cache/unpacked" && mv "$cache/unpacked/golang.org/toolchain@v0.0.1-$toolchain" "$cache/$toolchain"
        rm -rf "$zip" "$cache/unpacked"
    fi
fi
# The module cache left writable, so that removing the build folder needs no chmod.
export GOPATH=$cache/gopath GOCACHE=$cache/gocache GOTOOLCHAIN=local GOFLAGS="-mod=readonly -modcacherw"
if ! (cd "$here" && "$go" build -o "$cache/actionlint" github.com/rhysd/actionlint/cmd/actionlint); then
    verdict 1 "actionlint could not be built with $go"
    exit 1
fi
# The workflows by name: actionlint finds them by itself only in a git work tree, which a
# checkout without git (as CI's container has) is not.
output=$(cd "$here/../.." && "$cache/actionlint" -shellcheck "$shellcheck" .github/workflows/*.yml 2>&1)
status=$?
echo "$output"
verdict "$status" "$output"
