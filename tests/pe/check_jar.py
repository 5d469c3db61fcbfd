#!/usr/bin/env python3
"""Checks that the jar carries each built DLL where the loader looks for it, with its SHA-256,
the classes as Java 8 bytecode, the explicit module for Java 9 and later, and the manifest with
the headers that make it an OSGi bundle.

Usage: check_jar.py JAR VERSION PLATFORM=DLL... REPORT.xml
"""
import hashlib
import os
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from junit import Report  # noqa: E402

NATIVE = "org/tirk/terminal/tty/impl/native/"


def main(jar, version, *rest):
    *libraries, report_path = rest
    report = Report("jar_check")
    with zipfile.ZipFile(jar) as archive:
        names = set(archive.namelist())
        read = lambda name: archive.read(name) if name in names else b""  # noqa: E731
        for entry in libraries:
            platform, dll = entry.split("=", 1)
            folder = NATIVE + platform + "/"
            bundled = read(folder + "tirk-console.dll")
            recorded = read(folder + "tirk-console.dll.sha256").decode().split()
            report.check(f"jar carries the built {platform} DLL", bundled != b"" and bundled == open(dll, "rb").read())
            report.check(f"jar records the {platform} DLL's SHA-256",
                         recorded[:1] == [hashlib.sha256(bundled).hexdigest()], str(recorded))
        platforms = sorted({name[len(NATIVE):].split("/")[0] for name in names if name.startswith(NATIVE)} - {""})
        wanted = sorted(entry.split("=", 1)[0] for entry in libraries)
        report.check("no native library for any other platform", platforms == wanted, str(platforms))
        manifest = read("META-INF/MANIFEST.MF").decode()
        classes = [name for name in names if name.endswith(".class") and name != "module-info.class"]
        majors = {struct.unpack(">H", archive.read(name)[6:8])[0] for name in classes}
    report.check("jar carries the classes", {"org/tirk/terminal/tty/impl/WinConsoleNative.class",
                                             "org/tirk/terminal/tty/impl/LibraryInstaller.class"} <= names)
    report.check("the classes are Java 8 bytecode", majors == {52}, str(majors))
    module = subprocess.run(["jar", "--describe-module", "--file", jar], capture_output=True, text=True).stdout
    report.check("an explicit module org.tirk.terminal.console at the root, exporting the package, in a jar that is"
                 " not multi-release", module.startswith("org.tirk.terminal.console jar:") and "!/module-info.class" in module
                 and "exports org.tirk.terminal.tty.impl" in module and "Multi-Release" not in manifest, module)
    # The manifest's lines are wrapped at 72 bytes.
    headers = manifest.replace("\r\n ", "").replace("\n ", "")
    for entry in ("Enable-Native-Access: ALL-UNNAMED", "Main-Class: org.tirk.terminal.tty.impl.WinConsoleTool",
                  f"Implementation-Version: {version}",
                  "Bundle-SymbolicName: org.tirk.terminal.console", f"Bundle-Version: {version}",
                  f'Export-Package: org.tirk.terminal.tty.impl;version="{version}"',
                  'Require-Capability: osgi.ee;filter:="(&(osgi.ee=JavaSE)(version>=1.8))"'):
        report.check("manifest has " + entry, entry in headers, manifest)
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
