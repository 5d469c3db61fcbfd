#!/usr/bin/env python3
"""Runs wine_fuzz.exe under Wine's console and reports whether every call returned a legal value.

Usage: wine_fuzz_test.py wine_fuzz.exe tirk-console.dll CALLS THREADS SEED REPORT.xml
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402

RUNNER = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "wine-run.sh")


def main(program, dll, calls, threads, seed, report_path):
    report = Report("wine_fuzz")
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "result.txt")
        run = subprocess.run([RUNNER, program, dll, calls, threads, seed, out], capture_output=True, text=True)
        lines = open(out).read().splitlines() if os.path.exists(out) else []
    report.check("the program ran to its end without a crash", run.returncode == 0 and lines != [],
                 f"exit status {run.returncode}: {run.stdout[-2000:]}")
    head = lines[0].split() if lines else ["calls", "0", "illegal", "?"]
    print(" ".join(head))
    report.check(f"all {calls} calls made", head[1] == calls, head[1])
    report.check("every result a legal value", head[3] == "0", "\n".join(lines[1:]))
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
