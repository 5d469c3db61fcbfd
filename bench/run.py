#!/usr/bin/env python3
"""Runs the benchmarks and, for a full run, rewrites BENCHMARKS.md.

  bench/run.py instructions|wine|jvm [...] --smoke --report R.xml   a tiny run that only proves it still works
  bench/run.py instructions|wine|jvm [...]                          one benchmark in full, its table printed
  bench/run.py all                                                  every benchmark in full, then BENCHMARKS.md

Every comparison is a ratio within one run, since these machines are noisy.
"""
import argparse
import datetime
import glob
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from junit import Report  # noqa: E402

ENTRY = "Java_org_tirk_terminal_tty_impl_WinConsoleNative_"
INSTRUCTION_GOALS = {"writeConsole": 32, "readConsoleInputEvent": 48, "getConsoleSize": 48}
JNA_JAR = "/usr/share/java/jna.jar"


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def instructions(host_build, smoke):
    """Instructions each entry point executes itself per call, counted by callgrind."""
    calls = 100 if smoke else 100000
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "callgrind.out")
        run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
             os.path.join(host_build, "instruction_driver"), str(calls)])
        annotated = run(["callgrind_annotate", "--inclusive=no", "--threshold=100", "--auto=no", out])
    # With debug information, code inlined from other files is listed under those files:
    # an entry point's own cost is the sum of its lines.
    totals = {}
    for line in annotated.splitlines():
        match = re.match(r"\s*([\d,]+)\s+\([^)]*\)\s+\S*?" + ENTRY + r"(\w+)", line)
        if match:
            totals[match.group(2)] = totals.get(match.group(2), 0) + int(match.group(1).replace(",", ""))
    return sorted((name, total / calls, INSTRUCTION_GOALS.get(name, 16)) for name, total in totals.items())


def wine(windows_build, smoke):
    """ns per call through the DLL against the bare Win32 call, and writeConsole throughput."""
    rounds, scale = (3, 1) if smoke else (21, 5)
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "wine.tsv")
        env = dict(os.environ, WINEPREFIX=os.path.join(os.path.abspath(windows_build), "wineprefix"))
        subprocess.run([os.path.join(ROOT, "cmake", "wine-run.sh"), os.path.join(windows_build, "wine_bench.exe"),
                        os.path.join(windows_build, "dist", "tirk-console.dll"), str(rounds), str(scale), out],
                       check=True, env=env, capture_output=True)
        lines = [line.split("\t") for line in open(out).read().splitlines()]
    calls = [(n, float(a), float(b), float(s)) for kind, n, a, b, s in lines if kind == "call"]
    throughput = [(n, float(a), float(b), float(s)) for kind, n, a, b, s in lines if kind == "throughput"]
    return calls, throughput


def newer_jdk():
    """The java and javac of an installed JDK 22 or later, if there is one."""
    for home in sorted(glob.glob("/usr/lib/jvm/*/")):
        release = os.path.join(home, "release")
        if os.path.exists(release):
            version = re.search(r'JAVA_VERSION="(\d+)', open(release).read())
            if version and int(version.group(1)) >= 22 and os.path.exists(os.path.join(home, "bin", "javac")):
                return os.path.join(home, "bin", "java"), os.path.join(home, "bin", "javac")
    return None


def jvm(host_build, smoke):
    """ns per call from Java: ours, the empty native, JNA direct and interface mapping, FFM."""
    library = os.path.abspath(os.path.join(host_build, "jvm", "lib", "libtirk-console.so"))
    classes = [os.path.join(host_build, "classes"), os.path.join(host_build, "jvm", "test-classes")]
    bench_classes = os.path.join(host_build, "bench-classes")
    sources = glob.glob(os.path.join(ROOT, "bench", "jvm", "org", "tirk", "terminal", "tty", "impl", "*.java"))
    run(["javac", "--release", "17", "-d", bench_classes, "-cp", ":".join(classes + [JNA_JAR])] + sources)
    java, options = "java", []
    newer = newer_jdk()
    if newer:
        java, javac = newer
        ffm = glob.glob(os.path.join(ROOT, "bench", "jvm22", "org", "tirk", "terminal", "tty", "impl", "*.java"))
        run([javac, "--release", "22", "-d", bench_classes, "-cp", ":".join(classes + [bench_classes, JNA_JAR])] + ffm)
        options = ["--enable-native-access=ALL-UNNAMED"]
    millis, rounds = ("5", "2") if smoke else ("200", "11")
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "jvm.tsv")
        run([java] + options + ["-Djava.library.path=" + os.path.dirname(library),
                                "-cp", ":".join(classes + [bench_classes, JNA_JAR]),
                                "org.tirk.terminal.tty.impl.JvmBench", library, millis, rounds, out])
        lines = [line.split("\t") for line in open(out).read().splitlines()]
    vm = next(line[1] for line in lines if line[0] == "jvm")
    rows = [(group, name, float(median), float(low), float(high)) for group, name, median, low, high in
            (line for line in lines if line[0] != "jvm")]
    return vm, rows


def startup(host_build, smoke):
    """Whole-process wall time of a one-call program: a plain hello world, the library loaded from
    the file named by -Dtirk.console.library, from the jar with a warm cache, and with a cold one.
    hyperfine times the four side by side in each round; rows are medians over the rounds, and
    ratios to the named file are taken within each round."""
    jvm = os.path.join(host_build, "jvm")
    library = os.path.join(jvm, "lib", "libtirk-console.so")
    rounds, runs = (1, 2) if smoke else (15, 10)
    rows = []
    with tempfile.TemporaryDirectory() as work:
        run(["javac", "--release", "8", "-d", work, os.path.join(ROOT, "bench", "startup", "Hello.java")])
        cold = os.path.join(work, "cold")
        for java in ("java", newer_jdk()[0]):
            name = "JDK " + re.search(r'version "(\d+)', subprocess.run([java, "-version"], capture_output=True,
                                                                       text=True).stderr).group(1)
            probe = [java, "--enable-native-access=ALL-UNNAMED", "-cp",
                     os.path.join(jvm, "natives.jar") + ":" + os.path.join(jvm, "test-classes")]
            commands = {
                "hello world": [java, "--enable-native-access=ALL-UNNAMED", "-cp", work, "Hello"],
                "named file": probe[:2] + ["-Dtirk.console.library=" + library] + probe[2:],
                "warm cache": probe[:2] + ["-Dtirk.console.cache=" + os.path.join(work, "warm")] + probe[2:],
                "cold cache": probe[:2] + ["-Dtirk.console.cache=" + cold] + probe[2:],
            }
            for command in commands.values():
                if command[-1] != "Hello":
                    command.append("org.tirk.probe.LoadProbe")
                said = run(command).strip()
                if said != "loaded 65001":
                    raise SystemExit(f"{' '.join(command)} said {said!r}")
            medians = {label: [] for label in commands}
            for _ in range(rounds):
                out = os.path.join(work, "round.json")
                prepare = [arg for label in commands for arg in ("--prepare", "rm -rf " + cold if label == "cold cache"
                                                                 else "true")]
                run(["hyperfine", "-N", "--warmup", "1", "--runs", str(runs), "--export-json", out] + prepare +
                    [" ".join(command) for command in commands.values()])
                for label, result in zip(commands, json.load(open(out))["results"]):
                    medians[label].append(result["median"] * 1000)
            for label, times in medians.items():
                ratios = [t / n for t, n in zip(times, medians["named file"])]
                rows.append((name, label, statistics.median(times), statistics.median(ratios), min(ratios), max(ratios)))
    return rows


def smoke(which, host_build, windows_build, report_path):
    report = Report("bench_" + which)
    if which == "instructions":
        rows = instructions(host_build, True)
        report.check("every entry point counted", len(rows) == 11, str([r[0] for r in rows]))
        for name, per_call, _ in rows:
            report.check(name + " has an instruction count", per_call > 0, str(per_call))
    elif which == "wine":
        calls, throughput = wine(windows_build, True)
        for name, bridged, direct, _ in calls + throughput:
            report.check(name + " timed both ways", bridged > 0 and direct > 0, f"{bridged} {direct}")
    elif which == "startup":
        for jdk, label, millis, *_ in startup(host_build, True):
            report.check(f"{jdk} {label} timed", millis > 0, str(millis))
    else:
        _, rows = jvm(host_build, True)
        names = [r[1] for r in rows]
        for wanted in ("empty native method (floor)", "tirk-console getConsoleMode", "JNA direct mapping",
                       "NewIntArray(6) + SetIntArrayRegion (floor)", "tirk-console readConsoleInputEvent",
                       "JNA direct mapping, INPUT_RECORD Structure"):
            report.check(wanted + " timed", wanted in names, str(names))
    report.finish(report_path)


def verdict(ok):
    return "met" if ok else "**missed**"


def instructions_section(host_build):
    counts = instructions(host_build, False)
    out = [
        "## 1. Instructions per entry point",
        "",
        "The entry point's own instructions per call on its success path (host build, `-O2`, over the stand-in",
        "console), counted by `valgrind --tool=callgrind` as self cost, so the stand-in's console functions and",
        "the JNI functions it calls are not included. Goal: <= 16 for scalar results, <= 32 for `writeConsole`,",
        "<= 48 for the two array results.",
        "",
        "| Entry point | Instructions per call | Goal | |",
        "|---|---:|---:|---|",
    ]
    for name, per_call, goal in counts:
        out.append(f"| `{name}` | {per_call:.1f} | <= {goal} | {verdict(per_call <= goal)} |")
    out += [
        "",
        "Where the instructions go: `readConsoleInputEvent` makes three calls (the platform read, `NewIntArray`,",
        "`SetIntArrayRegion`) and `writeConsole` four (`GetArrayLength`, `GetCharArrayElements`, `WriteConsoleW`,",
        "`ReleaseCharArrayElements`); setting up their arguments and keeping values in callee-saved registers",
        "across them is most of the count. The checks themselves are two or three instructions each.",
    ]
    return out


def wine_sections(windows_build):
    calls, throughput = wine(windows_build, False)
    calls_out = [
        "## 2. Against the bare platform call under Wine",
        "",
        "ns per call of each entry point through `tirk-console.dll` (a lean JNI environment) and of the same",
        "Win32 function called directly, in one program on Wine's console, sides alternating round by round;",
        "medians of 21 rounds. Spread: the largest distance of one round's ratio from the median ratio.",
        "Goal: ratio <= 1.05.",
        "",
        "| Call | Through the DLL (ns) | Direct (ns) | Ratio | Spread | Goal |",
        "|---|---:|---:|---:|---:|---|",
    ]
    for name, bridged, direct, spread in calls:
        ratio = bridged / direct
        calls_out.append(f"| {name} | {bridged:,.0f} | {direct:,.0f} | {ratio:.3f} | {spread:.0f}% | "
                         f"{verdict(ratio <= 1.05)} |")
    throughput_out = [
        "## 4. writeConsole throughput under Wine",
        "",
        "MiB/s for 1 MiB of UTF-16 text written in calls of 64 Ki code units to a console screen buffer;",
        "medians of 21 rounds. Goal: ratio >= 0.95.",
        "",
        "| Path | MiB/s |",
        "|---|---:|",
    ]
    for name, bridged, direct, spread in throughput:
        ratio = bridged / direct
        throughput_out += [f"| through tirk-console.dll | {bridged:,.1f} |", f"| WriteConsoleW directly | {direct:,.1f} |",
                           "", f"Ratio {ratio:.3f} (spread {spread:.0f}%): {verdict(ratio >= 0.95)}."]
    return calls_out, throughput_out


def jvm_section(host_build):
    vm, jvm_rows = jvm(host_build, False)
    scalar = {r[1]: r for r in jvm_rows if r[0] == "scalar"}
    record = {r[1]: r for r in jvm_rows if r[0] == "record"}
    floor = scalar["empty native method (floor)"][2]
    array_floor = record["NewIntArray(6) + SetIntArrayRegion (floor)"][2]
    ours = scalar["tirk-console getConsoleMode"][2]
    ours_record = record["tirk-console readConsoleInputEvent"][2]
    out = [
        "## 3. From Java on a real JVM",
        "",
        f"{vm}, Linux build over the stand-in console (the `.so` the JVM suite loads). ns per call after",
        "warm-up; median of 11 interleaved rounds of about 200 ms, with the lowest and highest round.",
        "JNA is Debian's `libjna-java`, calling the same stand-in functions; the FFM rows appear when a JDK 22",
        "or later is installed. The two floors are natives of the test library: one that does nothing, and one",
        "that only does the array work of a record read (`NewIntArray(6)` and one `SetIntArrayRegion`).",
        "Goals: getConsoleMode <= 1.2x the empty native; readConsoleInputEvent <= 1.15x the array floor;",
        ">= 5x faster than JNA direct mapping for the scalar call; >= 10x faster for the record read.",
        "",
        "| Call | Median (ns) | Lowest | Highest | Relative to ours |",
        "|---|---:|---:|---:|---:|",
    ]
    for rows, base in ((scalar, ours), (record, ours_record)):
        for name, (_, _, median, low, high) in rows.items():
            out.append(f"| {name} | {median:.1f} | {low:.1f} | {high:.1f} | {median / base:.2f}x |")
    jna_scalar = scalar["JNA direct mapping"][2]
    jna_record = record["JNA direct mapping, INPUT_RECORD Structure"][2]
    out += [
        "",
        "| Goal | Measured | |",
        "|---|---:|---|",
        f"| getConsoleMode <= 1.2x the empty native | {ours / floor:.2f}x | {verdict(ours / floor <= 1.2)} |",
        f"| readConsoleInputEvent <= 1.15x the array floor | {ours_record / array_floor:.2f}x | "
        f"{verdict(ours_record / array_floor <= 1.15)} |",
        f"| >= 5x faster than JNA direct mapping (scalar) | {jna_scalar / ours:.1f}x | {verdict(jna_scalar / ours >= 5)} |",
        f"| >= 10x faster than JNA direct mapping (record read) | {jna_record / ours_record:.1f}x | "
        f"{verdict(jna_record / ours_record >= 10)} |",
    ]
    if "FFM downcall, INPUT_RECORD segment" in record:
        out += [
            "",
            "The FFM record read allocates its `int[]` in Java, where the JIT makes it cheap; ours asks the",
            "virtual machine for the array through JNI (`NewIntArray`, then `SetIntArrayRegion`), two calls",
            "back into the VM that cost more than the rest of the entry point, as the array floor shows.",
        ]
    return out


def startup_section(host_build):
    rows = startup(host_build, False)
    goals = {"warm cache": 1.05, "cold cache": 1.15}
    out = [
        "## 5. Start-up",
        "",
        "Whole-process wall time of a program that makes one call (`getConsoleOutputCP`), on the Linux build",
        "in a jar laid out like the product jar: against a hello world, and against the same program loading",
        "the same file named by `-Dtirk.console.library`. The cache folder is named by `-Dtirk.console.cache`",
        "(the Linux default adds an ownership check that Windows, whose cache is in `%LOCALAPPDATA%`, does",
        "not make); the cold runs find it empty. hyperfine runs the four side by side, 10 runs each, in 15",
        "rounds; times are medians over the rounds, ratios are taken within each round (median, lowest to",
        "highest). Goals: warm cache <= 1.05x and cold cache <= 1.15x the named file.",
        "",
        "| JVM | Program | Median (ms) | Ratio to the named file | Spread | Goal |",
        "|---|---|---:|---:|---:|---|",
    ]
    for jdk, label, millis, ratio, low, high in rows:
        goal = goals.get(label)
        out.append(f"| {jdk} | {label} | {millis:.1f} | {ratio:.3f} | {low:.3f}-{high:.3f} | "
                   + (f"<= {goal}: {verdict(ratio <= goal)}" if goal else "") + " |")
    return out


def full(which, host_build, windows_build):
    """Runs one benchmark in full and prints its section, or, for "all", every benchmark and
    rewrites BENCHMARKS.md."""
    if which == "instructions":
        print("\n".join(instructions_section(host_build)))
        return
    if which == "wine":
        calls_out, throughput_out = wine_sections(windows_build)
        print("\n".join(calls_out + [""] + throughput_out))
        return
    if which == "jvm":
        print("\n".join(jvm_section(host_build)))
        return
    if which == "startup":
        print("\n".join(startup_section(host_build)))
        return
    started = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    counts_out = instructions_section(host_build)
    calls_out, throughput_out = wine_sections(windows_build)
    jvm_out = jvm_section(host_build)
    startup_out = startup_section(host_build)
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    out = [
        "# Benchmarks",
        "",
        "Written by `./bench.sh` (which builds the presets and runs `bench/run.py all`); every comparison is a",
        "ratio within one run. `./test.sh` runs each benchmark once in a tiny smoke mode so that none can rot;",
        "`bench/run.py instructions|wine|jvm` runs one of them in full and prints its table.",
        "",
        f"Machine: {cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}; run {started}.",
        "",
    ] + counts_out + [""] + calls_out + [""] + jvm_out + [""] + throughput_out + [""] + startup_out
    open(os.path.join(ROOT, "BENCHMARKS.md"), "w").write("\n".join(out) + "\n")
    print("\n".join(out))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("which", choices=["instructions", "wine", "jvm", "startup", "all"])
    parser.add_argument("--host-build", default=os.path.join(ROOT, "build", "host"))
    parser.add_argument("--windows-build", default=os.path.join(ROOT, "build", "windows"))
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--report")
    args = parser.parse_args()
    if args.smoke:
        if args.which == "all" or not args.report:
            parser.error("--smoke runs one benchmark and needs --report")
        smoke(args.which, args.host_build, args.windows_build, args.report)
    else:
        full(args.which, args.host_build, args.windows_build)


if __name__ == "__main__":
    main()
