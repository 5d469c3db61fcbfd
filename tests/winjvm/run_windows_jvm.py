#!/usr/bin/env python3
"""Runs Java for Windows x86-64 under Wine, in a pseudo-terminal that gives it a console.

  run_windows_jvm.py junit CACHE REPORT JAR DLL DECOY_FOLDER CLASSES TEST_CLASSES [JVM_OPTION...]
      the JUnit suite with -Xcheck:jni, against JAR as the build makes it: any complaint of
      -Xcheck:jni fails the run
  run_windows_jvm.py demo CACHE REPORT JAR TEST_CLASSES
      java -jar JAR, with keys typed on the terminal

CACHE holds the runtime that windows-jre.sh fetches. Paths are given as Linux paths; the JVM
sees them on drive Z:, as Wine maps the Linux file system there.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402
from pseudo_terminal import run  # noqa: E402

JUNIT = "/usr/share/java/junit-platform-console-standalone.jar"
# Wine implements no processor groups, and HotSpot warns on every start when it cannot read
# them, unless told how many processors to use.
QUIET = ["-XX:ActiveProcessorCount=2"]
ENV = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def runtime(cache, report, report_path):
    """The java.exe of the pinned runtime, checked to start under Wine; if it does not, the
    report is finished with that failure."""
    setup = subprocess.run([os.path.join(HERE, "windows-jre.sh"), cache], stdout=subprocess.PIPE, text=True)
    java = os.path.join(setup.stdout.strip(), "bin", "java.exe") if setup.returncode == 0 else None
    version = subprocess.run(["wine", java] + QUIET + ["-version"], env=ENV, capture_output=True, text=True,
                             timeout=120) if java else None
    if not report.check("the Windows JVM is fetched and starts under Wine", version is not None and
                        version.returncode == 0 and "64-Bit Server VM" in version.stderr,
                        f"windows-jre.sh exit {setup.returncode}" + (f": {version.stderr}" if version else "")):
        report.finish(report_path)
    print(version.stderr.strip().splitlines()[-1])
    return java


def junit(cache, report_path, jar, dll, decoy_folder, classes, test_classes, *jvm_options):
    report = Report("windows_jvm")
    java = runtime(cache, report, report_path)
    with tempfile.TemporaryDirectory() as work:
        output = os.path.join(work, "output.txt")
        started = time.time()
        status, _ = run([
            "wine", java, "-Xcheck:jni", "--enable-native-access=ALL-UNNAMED"] + QUIET + [
            "-Dtest.library=" + windows(dll), "-Dtest.nativesJar=" + windows(jar),
            "-Dtest.decoyFolder=" + windows(decoy_folder),
            "-Dtest.classes=" + windows(classes) + ";" + windows(test_classes),
            "-Dtest.jvmOptions=" + " ".join(QUIET + ["--enable-native-access=ALL-UNNAMED"])] + list(jvm_options) + [
            "-jar", windows(JUNIT), "--class-path", windows(jar) + ";" + windows(test_classes),
            "--select-package", "org.tirk.terminal.tty.impl", "--reports-dir", windows(work),
            "--disable-banner", "--disable-ansi-colors", "--details=tree", "--details-theme=ascii"], ENV, output,
            deadline=3600 if jvm_options else 300)
        text = open(output, errors="replace").read()
        print(text)
        print(f"JUnit on the Windows JVM: exit status {status} after {time.time() - started:.1f} s")
        junit_report = os.path.join(work, "TEST-junit-jupiter.xml")
        if report.check("JUnit wrote its report", os.path.exists(junit_report)):
            report.include(junit_report)
    complaints = re.findall(r".*(?:WARNING|FATAL ERROR) in native method.*", text)
    report.check("-Xcheck:jni found nothing to complain about", complaints == [], "\n".join(complaints[:5]))
    report.finish(report_path)


# Each sequence goes to the terminal in one write, as a terminal sends a key.
TYPED = [b"a", "\u00e9".encode(), "\U0001F600".encode(), b"\x1b[A", b"q"]


def demo(cache, report_path, jar, test_classes):
    report = Report("windows_demo")
    java = runtime(cache, report, report_path)
    with tempfile.TemporaryDirectory() as work:
        output = os.path.join(work, "output.txt")
        status, _ = run(["wine", java] + QUIET + ["--enable-native-access=ALL-UNNAMED", "-cp", windows(test_classes),
                                                  "org.tirk.terminal.tty.impl.DemoRun", windows(jar)] + QUIET,
                        ENV, output, TYPED, "'q' quits.", deadline=120)
        text = open(output, errors="replace").read()
    print(text)
    downs = re.findall(r"key down vk=0x(\w+) char=U\+(\w+)", text)
    chars = [int(char, 16) for _, char in downs]
    report.check("the demo ran under the terminal", status == 0 and "'q' quits." in text, f"exit status {status}")
    report.check("a arrives as vk 0x41 with the character a", ("41", "0061") in downs, str(downs))
    report.check("e acute arrives as its character", 0xE9 in chars, str(chars))
    report.check("an emoji arrives as its two surrogate halves in order",
                 any(chars[i:i + 2] == [0xD83D, 0xDE00] for i in range(len(chars))), str(chars))
    report.check("the up arrow arrives as vk 0x26 without a character", ("26", "0000") in downs, str(downs))
    report.check("q ends the demo with status 0", re.search(r"^demo exit status 0$", text, re.M) is not None)
    modes = re.search(r"^input mode before 0x(\w+), after 0x(\w+)$", text, re.M)
    report.check("the console mode is as it was before", modes is not None and modes.group(1) == modes.group(2),
                 modes.group(0) if modes else "no modes printed")
    report.finish(report_path)


if __name__ == "__main__":
    {"junit": junit, "demo": demo}[sys.argv[1]](*sys.argv[2:])
