#!/usr/bin/env python3
"""Runs the driver against the DLL of its architecture under Wine (for ARM64, Debian's arm64
Wine emulated by qemu), in a pseudo-terminal that gives it a console; types the key it waits
for; and turns its "ok NAME" / "FAILED NAME: DETAIL" lines into a JUnit report.

Usage: run_driver.py x86-64|arm64 driver.exe tirk-console.dll CACHE REPORT.xml
For ARM64, CACHE holds the arm64 Wine that tests/arm64/arm64-wine.sh prepares; for x86-64 the
system's Wine runs it with the WINEPREFIX of the environment, and CACHE is not used.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ARM64_WINE = os.path.join(HERE, "..", "arm64", "arm64-wine.sh")
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402
from pseudo_terminal import run  # noqa: E402

DRIVE = "t:"  # where the programs are, as Wine under qemu cannot see the host's folders on Z:


def main(architecture, driver, dll, cache, report_path):
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
        print(f"arm64 Wine ready after {time.time() - started:.1f} s")

    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(driver, os.path.join(folder, "driver.exe"))
        shutil.copy(dll, os.path.join(folder, "tirk-console.dll"))
        windows_folder = "Z:" + folder.replace("/", "\\")
        if prefix:
            link = os.path.join(prefix, "dosdevices", DRIVE)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(folder, link)
            windows_folder = DRIVE
        results = os.path.join(folder, "results.txt")
        subprocess.run([wineserver, "-p"], env=env, timeout=60)
        try:
            # The driver says "ready" on a line of its own when it waits for the key.
            status, typed = run([wine, windows_folder + "\\driver.exe", windows_folder + "\\tirk-console.dll"], env,
                                results, [b"k"], "\nready\n")
        finally:
            subprocess.run([wineserver, "-k"], env=env, timeout=60)
            if prefix:
                os.remove(link)
        lines = open(results, errors="replace").read().splitlines()
    print(f"driver finished after {time.time() - started:.1f} s with status {status}")

    for line in lines:
        if line.startswith("ok "):
            report.check(line[3:], True)
        elif line.startswith("FAILED "):
            name, _, detail = line[7:].partition(": ")
            report.check(name, False, detail)
        elif line.strip():
            print("  " + line)
    report.check("driver reached the typed key and ran to its end", typed and status == 0,
                 f"typed {typed}, exit status {status}")
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
