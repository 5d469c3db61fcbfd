"""Collects named checks and writes them as a JUnit XML report, the format test.sh counts."""
import sys
import xml.etree.ElementTree as ET


class Report:
    def __init__(self, suite):
        self.suite = suite
        self.cases = []  # (name, failure message or None)

    def check(self, name, ok, detail=""):
        self.cases.append((name, None if ok else (detail or "failed")))
        print(("ok      " if ok else "FAILED  ") + name + ("" if ok or not detail else ": " + detail))
        return ok

    def include(self, path, prefix=""):
        """Adds the cases of another JUnit XML report, leaving out skipped ones, each name after `prefix`."""
        for case in ET.parse(path).iter("testcase"):
            if case.find("skipped") is None:
                failure = case.find("failure") if case.find("failure") is not None else case.find("error")
                name = prefix + case.get("classname", "").rsplit(".", 1)[-1] + " " + case.get("name")
                self.cases.append((name, None if failure is None else failure.get("message") or "failed"))

    def write(self, path):
        failures = sum(1 for _, failure in self.cases if failure)
        suite = ET.Element("testsuite", name=self.suite, tests=str(len(self.cases)), failures=str(failures))
        for name, failure in self.cases:
            case = ET.SubElement(suite, "testcase", name=name, classname=self.suite)
            if failure:
                ET.SubElement(case, "failure", message=failure)
        root = ET.Element("testsuites")
        root.append(suite)
        ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)
        print(f"{len(self.cases) - failures} passed, {failures} failed")
        return 1 if failures else 0

    def finish(self, path):
        sys.exit(self.write(path))
