#!/usr/bin/env python3
"""Checks the built DLL as a loader would see it: format, exports, imports, security flags,
size and sections; checks that the bridge's own object code holds no data and calls nothing
but the console functions (no heap, no exceptions, no C++ runtime); and checks that the jar
carries this very DLL, its SHA-256 and the manifest entries."""
import hashlib
import os
import re
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402

OBJDUMP = "x86_64-w64-mingw32-objdump"
NM = "x86_64-w64-mingw32-nm"
MAX_SIZE = 16 * 1024
CONSOLE_FUNCTIONS = {
    "GetStdHandle", "ReadConsoleInputW", "GetNumberOfConsoleInputEvents", "WaitForSingleObject",
    "WriteConsoleW", "GetConsoleScreenBufferInfo", "GetConsoleMode", "SetConsoleMode",
    "GetConsoleOutputCP", "AllocConsole", "FreeConsole",
}


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def def_exports(path):
    lines = open(path).read().split("EXPORTS", 1)[1].split()
    return sorted(lines)


def check_jar(report, jar, dll):
    folder = "org/tirk/terminal/tty/impl/native/windows-x86-64/"
    with zipfile.ZipFile(jar) as archive:
        names = set(archive.namelist())
        bundled = archive.read(folder + "tirk-console.dll") if folder + "tirk-console.dll" in names else b""
        recorded = archive.read(folder + "tirk-console.dll.sha256").decode().split()[0] \
            if folder + "tirk-console.dll.sha256" in names else ""
        manifest = archive.read("META-INF/MANIFEST.MF").decode()
    report.check("jar carries the built DLL", bundled == open(dll, "rb").read())
    report.check("jar records the DLL's SHA-256", recorded == hashlib.sha256(bundled).hexdigest(), recorded)
    report.check("jar carries the classes", {"org/tirk/terminal/tty/impl/WinConsoleNative.class",
                                             "org/tirk/terminal/tty/impl/NativeLibrary.class"} <= names)
    for entry in ("Enable-Native-Access: ALL-UNNAMED", "Automatic-Module-Name: org.tirk.terminal.console",
                  "Main-Class: org.tirk.terminal.tty.impl.WinConsoleDemo"):
        report.check("manifest has " + entry, entry in manifest, manifest)


def main(dll, def_file, obj, jar, report_path):
    report = Report("pe_check")
    private = run(OBJDUMP, "-p", dll)
    headers = run(OBJDUMP, "-h", dll)

    report.check("PE32+ for x86-64", "file format pei-x86-64" in private and "(PE32+)" in private)
    report.check("a DLL", re.search(r"^\s+DLL$", private, re.M) is not None)

    exported = sorted(re.findall(r"^\s+\[\s*\d+\] (\S+)$", private.split("[Ordinal/Name Pointer] Table")[-1], re.M))
    wanted = def_exports(def_file)
    report.check("exports exactly the .def names", exported == wanted, f"exports {exported}, .def lists {wanted}")
    report.check("eleven exports", len(exported) == 11, f"{len(exported)} exports")

    imported = sorted(re.findall(r"DLL Name: (\S+)", private))
    report.check("imports only KERNEL32.dll and msvcrt.dll", imported == ["KERNEL32.dll", "msvcrt.dll"], str(imported))

    flags = int(re.search(r"DllCharacteristics\s+([0-9a-fA-F]+)", private).group(1), 16)
    for name, bit in (("ASLR (dynamic base)", 0x40), ("high-entropy VA", 0x20), ("NX compatible", 0x100)):
        report.check(name, flags & bit != 0, f"DllCharacteristics {flags:#x}")

    size = os.path.getsize(dll)
    report.check(f"at most {MAX_SIZE} bytes", size <= MAX_SIZE, f"{size} bytes")

    sections = re.findall(r"^\s+\d+ (\S+)\s+[0-9a-f]+.*\n\s+(.*)$", headers, re.M)
    writable_code = [name for name, attrs in sections if "CODE" in attrs and "READONLY" not in attrs]
    report.check("no writable and executable section", sections != [] and not writable_code, str(writable_code))

    report.check("no timestamp", "Time/Date\t\tThu Jan  1 00:00:00 1970" in private)

    undefined = set(run(NM, "-u", obj).split()) - {"U"}
    called = {name.removeprefix("__imp_") for name in undefined}
    report.check("bridge code calls only the console functions", called <= CONSOLE_FUNCTIONS,
                 str(sorted(called - CONSOLE_FUNCTIONS)))
    obj_sections = dict(re.findall(r"^\s+\d+ (\S+)\s+([0-9a-f]+)", run(OBJDUMP, "-h", obj), re.M))
    data = {name: size for name, size in obj_sections.items()
            if name.startswith((".data", ".bss", ".tls")) and int(size, 16) != 0}
    report.check("bridge code has no global or static data", not data, str(data))

    check_jar(report, jar, dll)
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
