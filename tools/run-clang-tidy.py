#!/usr/bin/env python3
"""Runs clang-tidy with the project's .clang-tidy over the given sources, using the build's
compile_commands.json, and reports each source as a case.

Usage: run-clang-tidy.py BUILD_DIR REPORT.xml SOURCE...
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))
from junit import Report  # noqa: E402


def main(build, report_path, *sources):
    report = Report("clang_tidy")
    for source in sources:
        result = subprocess.run(["clang-tidy", "--quiet", "-p", build, source], capture_output=True, text=True)
        findings = [line for line in result.stdout.splitlines() if ": warning:" in line or ": error:" in line]
        report.check("clang-tidy clean: " + os.path.basename(source), result.returncode == 0 and not findings,
                     "\n".join(findings) or result.stderr[-2000:])
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
