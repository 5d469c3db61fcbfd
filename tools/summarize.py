#!/usr/bin/env python3
"""Counts test cases over every build folder given: each ctest test writes a JUnit report
named after it into reports/. A ctest test that wrote no report, or that failed without a
failing case in its report (it crashed), counts as one failure. Prints "N passed, N failed"."""
import os
import sys
import xml.etree.ElementTree as ET


def cases(report):
    """True for each passed case and False for each failed one; skipped cases are left out."""
    for case in ET.parse(report).iter("testcase"):
        if case.find("skipped") is None and case.get("status") != "notrun":
            yield case.find("failure") is None and case.find("error") is None


def main(builds):
    passed = failed = 0
    for build in builds:
        summary = os.path.join(build, "ctest.xml")
        if not os.path.exists(summary):
            print(f"{build}: no ctest results", file=sys.stderr)
            failed += 1
            continue
        for test in ET.parse(summary).iter("testcase"):
            name = test.get("name")
            ctest_ok = test.get("status") == "run" and test.find("failure") is None
            report = os.path.join(build, "reports", name + ".xml")
            if not os.path.exists(report):
                print(f"{build}: {name} wrote no report", file=sys.stderr)
                failed += 1
                continue
            try:
                results = list(cases(report))
            except ET.ParseError as e:
                print(f"{build}: {name} wrote a report that does not parse: {e}", file=sys.stderr)
                failed += 1
                continue
            passed += sum(results)
            failed += len(results) - sum(results)
            if not ctest_ok and all(results):
                print(f"{build}: {name} failed without a failing case in its report", file=sys.stderr)
                failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
