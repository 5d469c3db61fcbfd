#!/usr/bin/env python3
"""Runs tests/windows/console.cmd, as the CI workflow does on Windows, under Wine of the driver's
architecture (for ARM64, Debian's arm64 Wine emulated by qemu): the driver on the DLL in a classic
console and in a pseudo console, each played by the console host. Their check lines become a
JUnit report; what Wine cannot do they report as skipped, with the reason.

Usage: run_driver.py x86-64|arm64 PROGRAMS tirk-console.dll CACHE REPORT.xml
PROGRAMS holds driver.exe and console-host.exe. For ARM64, CACHE holds the arm64 Wine that
tests/arm64/arm64-wine.sh prepares; for x86-64 the system's Wine runs it with the WINEPREFIX of
the environment, and CACHE is not used.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ARM64_WINE = os.path.join(HERE, "..", "arm64", "arm64-wine.sh")
CONSOLE_CMD = os.path.join(HERE, "..", "windows", "console.cmd")
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402

DRIVE = "t:"  # where the programs are, as Wine under qemu cannot see the host's folders on Z:


def main(architecture, programs, dll, cache, report_path):
    report = Report("driver")
    started = time.time()
    env = dict(os.environ, LC_ALL="C.UTF-8", WINEDEBUG="-all")
    wine, wineserver, prefix = "wine", "wineserver", None
    if architecture == "arm64":
        setup = subprocess.run([ARM64_WINE, cache], stdout=subprocess.PIPE, text=True)
        if not report.check("arm64 Wine is ready", setup.returncode == 0, f"arm64-wine.sh exit {setup.returncode}"):
            report.finish(report_path)
        root = setup.stdout.strip().splitlines()[-1]
        wine = os.path.join(root, "sysroot", "usr", "lib", "wine", "wine64")
        wineserver = os.path.join(os.path.dirname(wine), "wineserver")
        prefix = os.path.join(root, "prefix")
        env["WINEPREFIX"] = prefix
        print(f"arm64 Wine ready after {time.time() - started:.1f} s")

    with tempfile.TemporaryDirectory() as folder:
        shutil.copytree(programs, os.path.join(folder, "programs"))
        shutil.copy(dll, os.path.join(folder, "tirk-console.dll"))
        shutil.copy(CONSOLE_CMD, folder)
        windows_folder = "Z:" + folder.replace("/", "\\")
        if prefix:
            link = os.path.join(prefix, "dosdevices", DRIVE)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(folder, link)
            windows_folder = DRIVE
        subprocess.run([wineserver, "-p"], env=env, timeout=60)
        # Into a file: Wine's own services inherit the handles and would keep a pipe open.
        output = os.path.join(folder, "console.cmd.txt")
        try:
            with open(output, "wb") as shown:
                status = subprocess.run([wine, "cmd", "/c", windows_folder + "\\console.cmd",
                                         windows_folder + "\\programs", windows_folder + "\\tirk-console.dll",
                                         windows_folder + "\\reports"],
                                        env=env, stdin=subprocess.DEVNULL, stdout=shown, stderr=shown,
                                        timeout=600).returncode
        finally:
            subprocess.run([wineserver, "-k"], env=env, timeout=60)
            if prefix:
                os.remove(link)
        print(f"console.cmd finished after {time.time() - started:.1f} s with status {status}")
        for console in ("classic", "120x30"):
            name = "a classic console" if console == "classic" else "a pseudo console"
            if not report.lines(os.path.join(folder, "reports", f"driver-{console}.txt"), f"in {name}: "):
                report.check(f"the driver ran in {name}", False, open(output, errors="replace").read()[-500:])
    report.check("console.cmd exits with status 0", status == 0, f"exit status {status}")
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
