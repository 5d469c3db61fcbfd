#!/usr/bin/env python3
"""Runs the fuzz target for SECONDS from the seed corpus (new inputs go to WORK_CORPUS, the
seeds stay as committed) and reports the executions and any crash.

Usage: run_fuzz.py FUZZER SEED_CORPUS WORK_CORPUS SECONDS REPORT.xml
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402


def main(fuzzer, seeds, work, seconds, report_path):
    os.makedirs(work, exist_ok=True)
    artifacts = os.path.join(work, "crashes") + os.sep
    os.makedirs(artifacts, exist_ok=True)
    result = subprocess.run([fuzzer, f"-max_total_time={seconds}", "-print_final_stats=1",
                             "-artifact_prefix=" + artifacts, work, seeds],
                            capture_output=True, text=True)
    output = result.stdout + result.stderr
    runs = re.search(r"stat::number_of_executed_units:\s*(\d+)", output)
    report = Report("fuzz")
    print(f"{runs.group(1) if runs else '?'} executions in {seconds} s")
    crashed = result.returncode != 0
    report.check("fuzzing ends without a crash or a broken invariant", not crashed,
                 output[-3000:] if crashed else "")
    report.check("the fuzzer ran", runs is not None and int(runs.group(1)) > 0)
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
