"""Collects named checks and writes them as a JUnit XML report, the format test.sh counts."""
import re
import sys
import xml.etree.ElementTree as ET


# What XML 1.0 cannot hold, such as the escape that starts a terminal's colour code.
NOT_XML = re.compile("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")


def xml_text(text):
    """`text` with each character XML cannot hold written as \\xNN, so that the report parses."""
    return NOT_XML.sub(lambda m: f"\\x{ord(m.group()):02x}", text)


class Report:
    def __init__(self, suite):
        self.suite = suite
        self.cases = []  # (name, "ok", "failed" or "skipped", failure detail or reason for skipping)

    def check(self, name, ok, detail=""):
        self.cases.append((name, "ok" if ok else "failed", "" if ok else detail or "failed"))
        print(("ok      " if ok else "FAILED  ") + name + ("" if ok or not detail else ": " + detail))
        return ok

    def skip(self, name, reason):
        self.cases.append((name, "skipped", reason))
        print(f"skipped {name}: {reason}")

    def lines(self, path, prefix=""):
        """Adds the check lines of a program's report ("ok NAME", "FAILED NAME: DETAIL", "skipped
        NAME: WHY"), each name after `prefix`; other lines are printed. False if there is none."""
        try:
            text = open(path, encoding="utf-8", errors="replace").read()
        except OSError:
            return False
        for line in text.splitlines():
            verdict, _, rest = line.partition(" ")
            name, _, detail = rest.partition(": ")
            if verdict == "ok":
                self.check(prefix + rest, True)
            elif verdict == "FAILED":
                self.check(prefix + name, False, detail)
            elif verdict == "skipped":
                self.skip(prefix + name, detail)
            elif line.strip():
                print("  " + line)
        return True

    def write(self, path):
        count = {outcome: sum(1 for case in self.cases if case[1] == outcome) for outcome in ("ok", "failed", "skipped")}
        suite = ET.Element("testsuite", name=self.suite, tests=str(len(self.cases)), failures=str(count["failed"]),
                           skipped=str(count["skipped"]))
        for name, outcome, detail in self.cases:
            case = ET.SubElement(suite, "testcase", name=xml_text(name), classname=self.suite)
            if outcome != "ok":
                ET.SubElement(case, "failure" if outcome == "failed" else "skipped", message=xml_text(detail))
        root = ET.Element("testsuites")
        root.append(suite)
        ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)
        print(f"{count['ok']} passed, {count['failed']} failed, {count['skipped']} skipped")
        return 1 if count["failed"] else 0

    def finish(self, path):
        sys.exit(self.write(path))
