#!/usr/bin/env bash
# Runs the JUnit 5 suite with Debian's console launcher and keeps its report as REPORT.
# Usage: run-junit.sh REPORT JVM-OPTIONS... -cp CLASSPATH
set -u
report=$1
shift
classpath=${*: -1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
java "${@:1:$#-2}" -jar /usr/share/java/junit-platform-console-standalone.jar \
    --class-path "$classpath" --select-package org.tirk.terminal.tty.impl \
    --reports-dir "$work" --disable-banner --disable-ansi-colors --details=tree
status=$?
cp "$work/TEST-junit-jupiter.xml" "$report" 2>/dev/null
exit "$status"
