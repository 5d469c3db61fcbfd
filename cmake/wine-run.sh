#!/usr/bin/env bash
# Runs a Windows program under Wine with a working console. Wine gives a program a console
# only inside a pseudo-terminal, so the program runs under script(1). Its standard output
# and error go to a file that is printed afterwards, since everything written to the
# pseudo-terminal comes back wrapped in escape sequences. Exits with the program's status.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${LC_ALL:-C.UTF-8}"
export WINEPREFIX="${WINEPREFIX:-$PWD/wineprefix}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
printf -v command '%q ' wine "$@"
script -qec "$command >$(printf '%q' "$out") 2>&1" /dev/null >/dev/null </dev/null
status=$?
cat "$out"
exit "$status"
