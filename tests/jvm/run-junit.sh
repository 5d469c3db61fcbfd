#!/usr/bin/env bash
# Runs the JUnit 5 suite with Debian's console launcher and keeps its report as REPORT. The folders
# in which nothing can be written are made for the run in a private temporary folder, whose folders
# above belong to this user or the system, as the loader requires of a cache folder (the checkout's
# may belong to another account, as a CI runner's workspace does).
# Usage: run-junit.sh REPORT JVM-OPTIONS... -cp CLASSPATH
set -u
report=$1
shift
classpath=${*: -1}
work=$(mktemp -d)
unwritable=$work/unwritable
here=$(dirname "$0")
# Java on Linux names files in the locale's charset, and some cases make folders whose names hold
# letters outside ASCII: C.UTF-8, which every Debian has, whatever locale the caller has or lacks.
export LC_ALL=C.UTF-8
trap '"$here/unwritable-folders.sh" down "$unwritable"; rm -rf "$work"' EXIT
"$here/unwritable-folders.sh" up "$unwritable"
java -Dtest.unwritable="$unwritable" "${@:1:$#-2}" -jar /usr/share/java/junit-platform-console-standalone.jar \
    --class-path "$classpath" --select-package org.tirk.terminal.tty.impl \
    --reports-dir "$work" --disable-banner --disable-ansi-colors --details=tree
status=$?
cp "$work/TEST-junit-jupiter.xml" "$report" 2>/dev/null
exit "$status"
