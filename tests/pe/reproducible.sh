#!/usr/bin/env bash
# Builds tirk-console.dll from copies of the sources in two different folders and checks that
# both copies, and the DLL under test, have the same SHA-256.
# Usage: reproducible.sh SOURCE_DIR TOOLCHAIN_FILE DLL_UNDER_TEST REPORT.xml
set -u
source_dir=$1
toolchain=$(basename "$2")
dll=$3
report=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sums=()
for folder in "$work/a" "$work/some/deeper/folder b"; do
    mkdir -p "$folder"
    tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$folder" -xf -
    cmake -G Ninja -S "$folder" -B "$folder/build" -DCMAKE_TOOLCHAIN_FILE="$folder/cmake/$toolchain" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build "$folder/build" --target tirk-console >/dev/null
    sums+=("$(sha256sum "$folder/build/dist/tirk-console.dll" 2>/dev/null | cut -d' ' -f1)")
done
expected=$(sha256sum "$dll" | cut -d' ' -f1)
echo "under test: $expected"
echo "folder a:   ${sums[0]}"
echo "folder b:   ${sums[1]}"
python3 -c '
import os, sys
sys.path.insert(0, os.path.join(sys.argv[1], "tests"))
from junit import Report
report_path, expected, a, b = sys.argv[2:6]
r = Report("reproducible")
r.check("both folders build the DLL", a != "" and b != "", a + " " + b)
r.check("the two folders give identical bytes", a == b, a + " " + b)
r.check("and the same bytes as the DLL under test", a == expected, a + " " + expected)
r.finish(report_path)
' "$source_dir" "$report" "$expected" "${sums[0]}" "${sums[1]}"
