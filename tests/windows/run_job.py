#!/usr/bin/env python3
"""Runs the CI workflow's Windows job under Wine from the workflow's own lines: for each matrix
entry asked for, the job's `env:` and each step's `if:` and `run:` text as GitHub evaluates them,
each run step called as the runner calls it (cmd /D /E:ON /V:OFF /S /C "CALL SCRIPT") from a
folder laid out as the job's workspace, relative arguments and all: the checkout's tests\\windows,
and dist\\ and windows-tests\\ as the artifacts land. The `uses:` steps are played: checkout and
download-artifact by that layout, setup-java by the pinned Windows runtime of that version. The
check lines of every report under reports\\ join a JUnit report; what Wine cannot run is reported
skipped, with the reason.

Usage: run_job.py REPORT.xml ENTRY... [OPTION...]
  ENTRY        a matrix entry, by its values: image=windows-latest,java=25,jvm=native
  --file PATH=SOURCE  a file or folder of the workspace (dist/tirk-console.dll, windows-tests) and
               the build's file or folder it is a copy of
  --only NAME  runs, of the steps that run a script of tests\\windows, those of NAME (console.cmd)
  --env N=V    sets the job's variable N to V in every entry (DLL=tirk-console-aarch64.dll lays
               out an x64 job's library as the ARM64 job's)
  --runtimes CACHE   the Windows runtimes windows-jre.sh keeps in CACHE play setup-java
  --arm64-wine CACHE runs under the arm64 Wine that arm64-wine.sh keeps in CACHE
  --unwritable       jvm.cmd gets folders nothing can be written in (TIRK_UNWRITABLE), made with
                     chattr and a full tmpfs, as Wine keeps no access list that denies writing
  --unrunnable       reports each entry whose JVM Wine cannot run as skipped, and checks that what
                     the Java 8 jobs load is Java 8 bytecode
The x86-64 Wine uses the WINEPREFIX of the environment.
"""
import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, ".."), os.path.join(HERE, "..", "..", "tools"), os.path.join(HERE, "..", "winjvm")]
import workflow  # noqa: E402
from junit import Report  # noqa: E402
from run_windows_jvm import ENV, QUIET, runtimes  # noqa: E402

UNWRITABLE = os.path.join(HERE, "..", "jvm", "unwritable-folders.sh")
ARM64_WINE = os.path.join(HERE, "..", "arm64", "arm64-wine.sh")
SCRIPT = re.compile(r"tests\\windows\\([\w-]+\.cmd)")
# The newest class file version Java 8 loads.
JAVA_8 = 52


class Wine:
    def __init__(self, arm64_cache=None):
        self.env = dict(ENV, TIRK_JVM_OPTIONS=" ".join(QUIET), TIRK_TEST_SIGNER="CN=tirk-console test signer")
        self.wine, self.server, self.prefix = "wine", "wineserver", os.environ.get("WINEPREFIX")
        if arm64_cache:
            setup = subprocess.run([ARM64_WINE, arm64_cache], stdout=subprocess.PIPE, text=True)
            if setup.returncode != 0:
                raise SystemExit(f"arm64-wine.sh exit {setup.returncode}")
            root = setup.stdout.strip().splitlines()[-1]
            self.wine = os.path.join(root, "sysroot", "usr", "lib", "wine", "wine64")
            self.server = os.path.join(os.path.dirname(self.wine), "wineserver")
            self.prefix = self.env["WINEPREFIX"] = os.path.join(root, "prefix")
        self.drive = os.path.join(self.prefix, "drive_c")

    def windows(self, path):
        """`path` as Wine shows it: on drive C: if it lies there, else on Z:, where x86-64 Wine shows / ."""
        inside = os.path.relpath(path, self.drive)
        return ("Z:" + os.path.abspath(path) if inside.startswith("..") else "C:\\" + inside).replace("/", "\\")


def reason_not_here(matrix, java_exe):
    """Why the entry's JVM cannot run here, or None."""
    if matrix["image"] == "windows-11-arm":
        return ("an x64 JVM under the emulation ARM64 Windows gives x64 programs" if matrix.get("jvm") == "x64"
                else "no Windows ARM64 JVM") + " can be had here; it runs on the windows-11-arm runner"
    if java_exe is None:
        return f"no Windows build of Java {matrix['java']} can be had here; it runs on the x64 runners"
    return None


def run_entry(wine, job, number, matrix, env, layout, only, java_exe, label):
    """The job's steps for one matrix entry in a workspace of its own: its check cases."""
    report = Report("")
    base = os.path.join(wine.drive, "a", str(number))
    workspace, temp = os.path.join(base, "tirk-console"), os.path.join(base, "_temp")
    shutil.rmtree(base, ignore_errors=True)
    shutil.copytree(HERE, os.path.join(workspace, "tests", "windows"), ignore=shutil.ignore_patterns("*.py"))
    os.makedirs(temp)
    for path, source in layout.items():
        copy = shutil.copytree if os.path.isdir(source) else shutil.copyfile
        os.makedirs(os.path.dirname(os.path.join(workspace, path)), exist_ok=True)
        copy(source, os.path.join(workspace, path))
    status, unplayed = "success", None
    for number_of_step, step in enumerate(job["steps"], 1):
        name = step.get("name") or step.get("uses") or step["run"].splitlines()[0]
        if not workflow.runs(step, job, matrix, env, status):
            continue
        if step.get("uses", "").startswith("actions/setup-java@"):
            unplayed = reason_not_here(matrix, java_exe)
            if unplayed is None:
                env = dict(env, JAVA_HOME=wine.windows(os.path.dirname(os.path.dirname(java_exe))))
            continue
        if "run" not in step:
            continue
        text = workflow.run_text(step, matrix, env)
        scripts = SCRIPT.findall(text)
        if only and scripts and only not in scripts:
            continue
        if unplayed and "%JAVA_HOME%" in text:
            report.skip(f"{label}{name}", unplayed)
            continue
        script = os.path.join(temp, f"{number_of_step}.cmd")
        with open(script, "w", newline="\r\n") as out:
            out.write(text)
        output = os.path.join(temp, f"{number_of_step}.txt")
        started = time.time()
        # Into a file: Wine's own services inherit the handles and would keep a pipe open.
        with open(output, "wb") as shown:
            # As the runner calls a cmd step.
            call = [wine.wine, "cmd", "/D", "/E:ON", "/V:OFF", "/S", "/C", "CALL " + wine.windows(script)]
            code = subprocess.run(call, cwd=workspace, env=dict(wine.env, **env), stdin=subprocess.DEVNULL,
                                  stdout=shown, stderr=shown, timeout=3600).returncode
        shown = open(output, encoding="utf-8", errors="replace").read()
        print(f"== {label}{name}: exit status {code} after {time.time() - started:.1f} s\n{shown}")
        if not report.check(f"{label}{name} exits with status 0", code == 0, shown[-800:]):
            status = "failure"
    reports = os.path.join(workspace, "reports")
    for folder, _, files in sorted(os.walk(reports)):
        for file in sorted(files):
            if file.endswith(".txt"):
                path = os.path.join(folder, file)
                report.lines(path, label + file[:-4] + ": ")
    return report.cases


def java_8_classes(report, layout):
    """What jvm.cmd loads on Java 8, as no Java 8 for Windows can be had here to load it: each
    class of the jar, of the kit's classes and of its JUnit launcher must be of Java 8's class file
    version or older. Java 8 never loads module-info, META-INF/versions/ or an implementation of
    ToolProvider (an interface of Java 9)."""
    kit = os.path.join(layout["windows-tests"], "jvm")
    heads = [(path, open(path, "rb").read(8)) for folder in ("classes", "loader-classes")
             for path in glob.glob(os.path.join(kit, folder, "**", "*.class"), recursive=True)]
    for path in (layout["dist/tirk-console.jar"], os.path.join(kit, "junit-platform-console-standalone.jar")):
        with zipfile.ZipFile(path) as jar:
            tools = "META-INF/services/java.util.spi.ToolProvider"
            java_9 = [name.strip().replace(".", "/") + ".class" for name in
                      (jar.read(tools).decode().splitlines() if tools in jar.namelist() else [])]
            heads += [(f"{path}!{name}", jar.read(name)[:8]) for name in jar.namelist()
                      if name.endswith(".class") and not name.startswith("META-INF/versions/") and name not in java_9]
    newer = [name for name, head in heads if head[7] > JAVA_8 and not name.endswith("module-info.class")]
    report.check("every class the Java 8 jobs load is Java 8 bytecode", not newer, ", ".join(newer[:10]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("report")
    parser.add_argument("entries", nargs="+", type=lambda entry: dict(pair.split("=", 1) for pair in entry.split(",")))
    parser.add_argument("--file", action="append", default=[], type=lambda mapping: mapping.split("=", 1))
    parser.add_argument("--only")
    parser.add_argument("--env", action="append", default=[], type=lambda setting: setting.split("=", 1))
    parser.add_argument("--runtimes")
    parser.add_argument("--arm64-wine")
    parser.add_argument("--unwritable", action="store_true")
    parser.add_argument("--unrunnable", action="store_true")
    arguments = parser.parse_args()
    layout, extra_env = dict(arguments.file), dict(arguments.env)
    report = Report(os.path.splitext(os.path.basename(arguments.report))[0])
    wine = Wine(arguments.arm64_wine)
    javas = {}
    if arguments.runtimes:
        javas = {feature: java for java, feature in runtimes(arguments.runtimes, report, arguments.report, every=True)}
    job = workflow.load()["jobs"]["windows"]
    matrices = workflow.matrix_entries(job)
    chosen = []
    for entry in arguments.entries:
        found = [m for m in matrices if all(str(m.get(key)) == value for key, value in entry.items())]
        if len(found) != 1:
            raise SystemExit(f"{entry} is not one entry of the Windows job's matrix")
        chosen.append(found[0])
    if arguments.unwritable:
        folder = os.path.join(wine.drive, "unwritable")
        subprocess.run([UNWRITABLE, "up", folder], check=True)
        extra_env["TIRK_UNWRITABLE"] = wine.windows(folder)
    subprocess.run([wine.server, "-p"], env=wine.env, timeout=60)
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            # The JVMs mostly wait on Wine's server while they start, so the entries run side by side.
            runs = [pool.submit(run_entry, wine, job, number, matrix, dict(workflow.job_env(job, matrix), **extra_env),
                                layout, arguments.only, javas.get(int(matrix["java"])),
                                f"{matrix['image']} Java {matrix['java']}: " if len(chosen) > 1 else "")
                    for number, matrix in enumerate(chosen, 1)]
            for finished in runs:
                report.cases += finished.result()
    finally:
        subprocess.run([wine.server, "-k"], env=wine.env, timeout=60)
        if arguments.unwritable:
            subprocess.run([UNWRITABLE, "down", folder])
    if arguments.unrunnable:
        for matrix in matrices:
            why = reason_not_here(matrix, javas.get(int(matrix["java"])))
            if why:
                report.skip(f"the JVM suite on {matrix['image']}, Java {matrix['java']}"
                            + (", an x64 JVM" if matrix.get("jvm") == "x64" else ""), why)
        java_8_classes(report, layout)
    report.finish(arguments.report)


if __name__ == "__main__":
    main()
