#!/usr/bin/env python3
"""Runs Java for Windows x86-64 under Wine: the jar loaded by users whose names the system's code
page lacks, on the newest pinned JVM; --check in a pseudo-terminal keeping a path's letters the
code page lacks; and the jar's one-line error on Linux. (tests/windows/run_job.py runs the
workflow's jvm.cmd on every pinned JVM.)

Usage: run_windows_jvm.py users CACHE REPORT JAR DLL CLASSES LOADER_CLASSES

CACHE holds the runtimes that windows-jre.sh fetches. Paths are given as Linux paths; the JVM sees
them on drive Z:, as Wine maps the Linux file system there.
"""
import hashlib
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402
from pseudo_terminal import run  # noqa: E402

# Wine implements no processor groups, and HotSpot warns on every start when it cannot read
# them, unless told how many processors to use.
QUIET = ["-XX:ActiveProcessorCount=2"]
ENV = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
PROBE = "org.tirk.probe.LoadProbe"


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def runtimes(cache, report, report_path, every=False):
    """The java.exe and feature version of the newest pinned runtime, or of each, checked to start
    under Wine; if one does not, the report is finished with that failure."""
    setup = subprocess.run([os.path.join(HERE, "windows-jre.sh"), cache] + (["all"] if every else []),
                           stdout=subprocess.PIPE, text=True)
    found = []
    for folder in setup.stdout.split() if setup.returncode == 0 else [None]:
        java = os.path.join(folder, "bin", "java.exe") if folder else None
        version = subprocess.run(["wine", java] + QUIET + ["-version"], env=ENV, capture_output=True, text=True,
                                 timeout=120) if java else None
        feature = re.search(r'version "(\d+)', version.stderr if version else "")
        if not report.check(f"the Windows JVM {feature.group(1) if feature else ''} is fetched and starts under Wine",
                            version is not None and version.returncode == 0 and "64-Bit Server VM" in version.stderr,
                            f"windows-jre.sh exit {setup.returncode}" + (f": {version.stderr}" if version else "")):
            report.finish(report_path)
        print(version.stderr.strip().splitlines()[-1])
        found.append((java, int(feature.group(1))))
    return found


def granted(feature):
    """The option that grants native access, which Java 11 does not know (nor need)."""
    return ["--enable-native-access=ALL-UNNAMED"] if feature >= 17 else []


def command_line(report, java, jar):
    """java -jar JAR --check in a console, whose report must keep every letter of a path the code
    page lacks; and on Linux, where the jar cannot load, its one-line error."""
    with tempfile.TemporaryDirectory() as work:
        shown = os.path.join(work, "terminal.txt")
        local = "C:\\\u0141ukasz\\AppData\\Local"
        # Wine sets LOCALAPPDATA in every process it starts; cmd can change it for its child.
        status, _ = run(["wine", "cmd", "/c", f"set LOCALAPPDATA={local}&&{windows(java)} {' '.join(QUIET)} -jar "
                         f"{windows(jar)} --check"], ENV, shown, deadline=120, on_terminal=True)
        text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", open(shown, encoding="utf-8", errors="replace").read())
    print(text)
    report.check("--check in a console shows a path's letters the code page lacks as they are",
                 f"step: {local}\\tirk-console cannot be given to the platform" in text, text[-800:])
    linux = subprocess.run(["java", "-jar", jar, "--check"], capture_output=True, text=True)
    report.check("on Linux, --check exits with 2 and says why on one line of standard error",
                 linux.returncode == 2 and linux.stderr.startswith("tirk-console: tirk-console supports windows-x86-64")
                 and linux.stderr.count("\n") == 1, f"exit status {linux.returncode}: {linux.stderr}")


# Wine's users, each a wine server of its own over the one prefix: two whose names the code page
# (1252 under Wine) lacks and one whose name it holds. Each case: the user, what it changes, and
# the folder under drive C: whose copy it must load. Without LOCALAPPDATA the temporary folder is
# C:\Temp, where an earlier start has left the user's cache folder. A folder whose name ends in
# -2 is loaded from because another account made the folder of the first name.
JAPAN = "\u65e5\u672c"
CASES = [
    ("\u0141ukasz", "default cache", "ProgramData/tirk-console-_0141ukasz"),
    ("\u0141ukasz", "LOCALAPPDATA unset", "ProgramData/tirk-console-_0141ukasz"),
    ("\u0141ukasz", f"cache in {JAPAN}", "ProgramData/tirk-console-_0141ukasz"),
    ("\u5f20\u4f1f", "default cache", "ProgramData/tirk-console-_5f20_4f1f"),
    ("\u5f20\u4f1f", "LOCALAPPDATA unset", "ProgramData/tirk-console-_5f20_4f1f"),
    ("\u5f20\u4f1f", f"cache in {JAPAN}", "ProgramData/tirk-console-_5f20_4f1f"),
    ("\u5f20\u4f1f", "another account took the fallback's name", "ProgramData/tirk-console-_5f20_4f1f-2"),
    ("J\u00f6rg", "default cache", "users/J\u00f6rg/AppData/Local/tirk-console"),
    ("J\u00f6rg", "LOCALAPPDATA unset", "Temp/tirk-console-J\u00f6rg"),
    ("J\u00f6rg", f"library in {JAPAN}", "users/J\u00f6rg/AppData/Local/tirk-console"),
]
PROPERTIES = {f"cache in {JAPAN}": f"tirk.console.cache=C:\\Apps\\Cache {JAPAN}",
              f"library in {JAPAN}": f"tirk.console.library=C:\\Apps\\{JAPAN}\\tirk-console.dll"}


def switch_user(user):
    subprocess.run(["wineserver", "-k"], env=ENV, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=ENV, capture_output=True)
    return dict(ENV, USER=user) if user else ENV


def users(cache, report_path, jar, dll, classes, loader_classes):
    report = Report("windows_users")
    [(java, feature)] = runtimes(cache, report, report_path)
    drive = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    library = open(dll, "rb").read()
    copy = os.path.join(hashlib.sha256(library).hexdigest(), "tirk-console.dll")
    probe = [windows(java)] + QUIET + granted(feature) + [
        "-Dtirk.console.debug=true", "-cp", windows(jar) + ";" + windows(loader_classes), PROBE]
    user = None
    with tempfile.TemporaryDirectory() as work:
        for case_user, case, folder in CASES:
            env = switch_user(case_user) if case_user != user else env
            user = case_user
            for stale in ["Apps", "Temp"] + [f for _, _, f in CASES]:
                shutil.rmtree(os.path.join(drive, stale), ignore_errors=True)
            os.makedirs(os.path.join(drive, "Apps", JAPAN))
            shutil.copy(dll, os.path.join(drive, "Apps", JAPAN))
            os.makedirs(os.path.join(drive, "Temp", "tirk-console-" + user))
            if folder.endswith("-2"):
                taken = os.path.join(drive, folder[:-2])
                os.makedirs(taken)
                # nobody's folder is ANONYMOUS LOGON's to Wine; without root, one everyone may change.
                os.chown(taken, pwd.getpwnam("nobody").pw_uid, -1) if os.geteuid() == 0 else os.chmod(taken, 0o777)
            case_env = dict(env, PROBE_PROPERTY=PROPERTIES[case]) if case in PROPERTIES else env
            # Wine sets LOCALAPPDATA in every process it starts; cmd can unset it for its child.
            command = ["wine", "cmd", "/c", "set LOCALAPPDATA=&&set TMP=C:\\Temp&&" + " ".join(probe)] if "unset" in case \
                else ["wine"] + probe
            output = os.path.join(work, "output.txt")
            started = time.time()
            status, _ = run(command, case_env, output, deadline=120)
            # The trace is in whatever code page the JVM writes; the letters outside ASCII match anything.
            text = open(output, "rb").read().decode("latin-1")
            expected = os.path.join(drive, folder, copy)
            pattern = "".join(re.escape(c) if ord(c) < 128 else "[^\\\\]{1,4}"
                              for c in "C:\\" + os.path.join(folder, copy).replace("/", "\\"))
            loaded = re.findall(r"tirk-console: loaded (.+) \(", text)
            print(f"{case_user}, {case}: {time.time() - started:.1f} s\n{text}")
            report.check(f"{case_user}, {case}: loads and answers getConsoleOutputCP",
                         status == 0 and re.search(r"^loaded [1-9]\d*\s*$", text, re.M) is not None, text[-500:])
            report.check(f"{case_user}, {case}: the file loaded is {folder} and holds the jar's bytes",
                         len(loaded) == 1 and re.fullmatch(pattern, loaded[0]) is not None
                         and os.path.exists(expected) and open(expected, "rb").read() == library, str(loaded))
    switch_user(None)
    command_line(report, java, jar)
    report.finish(report_path)


if __name__ == "__main__":
    {"users": users}[sys.argv[1]](*sys.argv[2:])
