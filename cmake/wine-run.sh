#!/usr/bin/env bash
# Runs a Windows program under Wine with a working console. Wine gives a program a console
# only inside a pseudo-terminal, so the program runs under script(1). Its standard output
# and error go to a file that is printed afterwards, since everything written to the
# pseudo-terminal comes back wrapped in escape sequences. Exits with the program's status.
#
# script's own input is a pipe held open until the program ends: at the end of its input
# script would pass an end-of-file character to the terminal, which the console would then
# deliver as a stray key press.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${LC_ALL:-C.UTF-8}"
export WINEPREFIX="${WINEPREFIX:-$PWD/wineprefix}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/input"
printf -v command '%q ' wine "$@"
script -qec "$command >$(printf '%q' "$work/output") 2>&1" /dev/null >/dev/null <"$work/input" &
exec 3>"$work/input"
wait $!
status=$?
exec 3>&-
cat "$work/output"
exit "$status"
