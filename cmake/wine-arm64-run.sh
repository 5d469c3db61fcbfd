#!/usr/bin/env bash
# Runs an ARM64 Windows program under Debian's arm64 Wine, emulated by qemu, with a working
# console: inside a pseudo-terminal, its output sent to a file that is printed afterwards (see
# wine-run.sh). The arm64 Wine is prepared on first use in $TIRK_ARM64_WINE (default
# ./arm64-wine). Under qemu, Wine's drive Z: does not show the host's folders, so the
# program's folder is given the drive letter T: and the program runs from there.
set -u
here=$(dirname "$(realpath "$0")")
root=$("$here/../tests/arm64/arm64-wine.sh" "${TIRK_ARM64_WINE:-$PWD/arm64-wine}") || exit 1
wine=$root/sysroot/usr/lib/wine
export LC_ALL="${LC_ALL:-C.UTF-8}"

program=$(realpath "$1")
shift
ln -sfn "$(dirname "$program")" "$root/prefix/dosdevices/t:"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/input"
printf -v command '%q ' "$wine/wine64" "T:\\$(basename "$program")" "$@"
timeout 600 script -qec "$command >$(printf '%q' "$work/output") 2>&1" /dev/null >/dev/null <"$work/input" &
exec 3>"$work/input"
wait $!
status=$?
exec 3>&-
timeout 60 "$wine/wineserver" -k 2>/dev/null
cat "$work/output"
exit "$status"
