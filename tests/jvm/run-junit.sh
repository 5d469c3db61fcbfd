#!/usr/bin/env bash
# Runs the JUnit 5 suite with Debian's console launcher and keeps its report as REPORT; the
# folders in which nothing can be written are made in UNWRITABLE for the run.
# Usage: run-junit.sh REPORT UNWRITABLE JVM-OPTIONS... -cp CLASSPATH
set -u
report=$1 unwritable=$2
shift 2
classpath=${*: -1}
work=$(mktemp -d)
here=$(dirname "$0")
trap 'rm -rf "$work"; "$here/unwritable-folders.sh" down "$unwritable"' EXIT
"$here/unwritable-folders.sh" up "$unwritable"
java -Dtest.unwritable="$unwritable" "${@:1:$#-2}" -jar /usr/share/java/junit-platform-console-standalone.jar \
    --class-path "$classpath" --select-package org.tirk.terminal.tty.impl \
    --reports-dir "$work" --disable-banner --disable-ansi-colors --details=tree
status=$?
cp "$work/TEST-junit-jupiter.xml" "$report" 2>/dev/null
exit "$status"
