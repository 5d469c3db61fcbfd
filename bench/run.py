#!/usr/bin/env python3
"""Runs the benchmarks; a full run rewrites their tables in BENCHMARKS.md, whose prose says what
each measures and its goals.

  bench/run.py instructions|wine|jvm|startup --smoke --report R.xml   a tiny run that only proves it still works
  bench/run.py instructions|wine|jvm|startup                          one benchmark in full, its tables printed
  bench/run.py all                                                    every benchmark in full, into BENCHMARKS.md

Every comparison is a ratio within one run, since these machines are noisy.
"""
import argparse
import datetime
import glob
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from junit import Report  # noqa: E402
import maven_central  # noqa: E402

ENTRY = "Java_org_tirk_terminal_tty_impl_WinConsoleNative_"
# JMH and what it needs, from Maven Central, pinned by SHA-256.
JMH_JARS = {
    "org/openjdk/jmh/jmh-core/1.37/jmh-core-1.37.jar": "dc0eaf2bbf0036a70b60798c785d6e03a9daf06b68b8edb0f1ba9eb3421baeb3",
    "org/openjdk/jmh/jmh-generator-annprocess/1.37/jmh-generator-annprocess-1.37.jar":
        "6a5604b5b804e0daca1145df1077609321687734a8b49387e49f10557c186c77",
    "net/sf/jopt-simple/jopt-simple/5.0.4/jopt-simple-5.0.4.jar":
        "df26cc58f235f477db07f753ba5a3ab243ebe5789d9f89ecf68dd62ea9a66c28",
    "org/apache/commons/commons-math3/3.6.1/commons-math3-3.6.1.jar":
        "1e56d7b058d28b65abd256b8458e3885b674c1d588fa43cd7d1cbb9c7ef2b308",
}
# JNA as Maven Central serves it, which carries its dispatch library and extracts it at every
# start; Debian's (the same version) uses the system's.
JNA_JAR = ("net/java/dev/jna/jna/5.13.0/jna-5.13.0.jar", "66d4f819a062a51a1d5627bffc23fac55d1677f0e0a1feba144aabdd670a64bb")
JNA_ORIGINS = {"debian": "Debian's", "central": "Maven Central's"}
# The JMH benchmark methods and their rows; ours of each group is the base of its ratios.
JMH_ROWS = {
    "emptyNative": "empty native method (floor)", "getConsoleMode": "tirk-console getConsoleMode",
    "jnaDirect": "JNA direct mapping", "jnaInterface": "JNA interface mapping", "ffm": "FFM downcall",
    "arrayFloor": "NewIntArray(6) + SetIntArrayRegion (floor)",
    "readConsoleInputEvent": "tirk-console readConsoleInputEvent",
    "jnaDirectRecord": "JNA direct mapping, INPUT_RECORD Structure",
    "jnaInterfaceRecord": "JNA interface mapping, INPUT_RECORD Structure", "ffmRecord": "FFM downcall, INPUT_RECORD segment",
}


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def verdict(ok):
    return "met" if ok else "**missed**"


def newer_jdk():
    """The home of an installed JDK 22 or later, where FFM is final."""
    for release in sorted(glob.glob("/usr/lib/jvm/*/release")):
        version = re.search(r'JAVA_VERSION="(\d+)', open(release).read())
        if version and int(version.group(1)) >= 22 and os.path.exists(os.path.join(os.path.dirname(release), "bin", "javac")):
            return os.path.dirname(release)
    raise SystemExit("the JVM benchmarks need a JDK 22 or later under /usr/lib/jvm")


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
    goals = {"writeConsole": 32, "readConsoleInputEvent": 48, "getConsoleSize": 48}
    rows = [(name, total / calls) for name, total in sorted(totals.items())]
    return rows, ["| Entry point | Instructions per call | Goal | |", "|---|---:|---:|---|"] + [
        f"| `{name}` | {count:.1f} | <= {goals.get(name, 16)} | {verdict(count <= goals.get(name, 16))} |"
        for name, count in rows]


def wine(windows_build, smoke):
    """ns per call through the DLL and of the bare Win32 call, and MiB/s of writeConsole either way."""
    rounds, scale = (3, 1) if smoke else (21, 5)
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "wine.tsv")
        env = dict(os.environ, WINEPREFIX=os.path.join(os.path.abspath(windows_build), "wineprefix"))
        subprocess.run([os.path.join(ROOT, "cmake", "wine-run.sh"), os.path.join(windows_build, "wine_bench.exe"),
                        os.path.join(windows_build, "dist", "tirk-console.dll"), str(rounds), str(scale), out],
                       check=True, env=env, capture_output=True)
        rows = [(kind, name, float(a), float(b), float(s)) for kind, name, a, b, s in
                (line.split("\t") for line in open(out).read().splitlines())]
    table = ["| Call | Through the DLL (ns) | Direct (ns) | Ratio | Spread | Goal |", "|---|---:|---:|---:|---:|---|"]
    table += [f"| {name} | {a:,.0f} | {b:,.0f} | {a / b:.3f} | {s:.0f}% | {verdict(a / b <= 1.05)} |"
              for kind, name, a, b, s in rows if kind == "call"]
    for kind, name, a, b, s in rows:
        if kind == "throughput":
            table += ["", "| Path | MiB/s |", "|---|---:|", f"| through tirk-console.dll | {a:,.1f} |",
                      f"| WriteConsoleW directly | {b:,.1f} |", "", f"Ratio {a / b:.3f} (spread {s:.0f}%): "
                      f"{verdict(a / b >= 0.95)}."]
    return [(f"{name} {side}", value) for _, name, a, b, _ in rows for side, value in (("via the DLL", a),
                                                                                   ("directly", b))], table


def fetch(host_build, pin):
    """The jar of `pin` (its path on Maven Central and its SHA-256), fetched once into the build folder."""
    return maven_central.fetch(os.path.join(host_build, "jmh-jars"), *pin)


def jmh_classpath(host_build):
    """The JMH jars, fetched once into the build folder and checked against their pins."""
    return [fetch(host_build, pin) for pin in JMH_JARS.items()]


def jvm(host_build, smoke):
    """ns per call from Java, measured by the JMH benchmarks in bench/jmh."""
    home = newer_jdk()
    library = os.path.abspath(os.path.join(host_build, "jvm", "lib", "libtirk-console.so"))
    jars = jmh_classpath(host_build)
    classes = os.path.join(host_build, "jmh-classes")
    classpath = ":".join([os.path.join(host_build, "classes"), os.path.join(host_build, "jvm", "test-classes"),
                          "/usr/share/java/jna.jar", classes] + jars)
    run([os.path.join(home, "bin", "javac"), "-encoding", "UTF-8", "--release", "22", "-d", classes, "-cp", classpath,
         "-processorpath", ":".join(jars)] + glob.glob(os.path.join(ROOT, "bench", "jmh", "org", "tirk", "terminal", "tty", "impl", "*.java")))
    # The smoke run measures each benchmark once, briefly, in this JVM rather than in forks.
    options = ["-f", "0", "-wi", "0", "-i", "1", "-r", "20ms"] if smoke else []
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "jmh.json")
        run([os.path.join(home, "bin", "java"), "--enable-native-access=ALL-UNNAMED", "-Djava.library.path="
             + os.path.dirname(library), "-Dbench.library=" + library, "-cp", classpath, "org.openjdk.jmh.Main",
             "ConsoleCallBench", "-rf", "json", "-rff", out] + options)
        results = {r["benchmark"].rsplit(".", 1)[1]: r for r in json.load(open(out))}
    ns = {method: r["primaryMetric"]["score"] for method, r in results.items()}
    vm = next(iter(results.values()))
    table = [f"{vm['vmName']} {vm['vmVersion']}.", "", "| Call | ns per call | Error | Relative to ours |",
             "|---|---:|---:|---:|"]
    for i, method in enumerate(JMH_ROWS):
        table.append(f"| {JMH_ROWS[method]} | {ns[method]:.1f} | {float(results[method]['primaryMetric']['scoreError']):.1f} | "
                     f"{ns[method] / ns['getConsoleMode' if i < 5 else 'readConsoleInputEvent']:.2f}x |")
    ratios = [("getConsoleMode <= the FFM downcall", ns["getConsoleMode"] / ns["ffm"], 1.0),
              ("readConsoleInputEvent <= 1.15x the array floor", ns["readConsoleInputEvent"] / ns["arrayFloor"], 1.15),
              (">= 5x faster than JNA direct mapping (scalar)", ns["jnaDirect"] / ns["getConsoleMode"], -5),
              (">= 10x faster than JNA direct mapping (record read)",
               ns["jnaDirectRecord"] / ns["readConsoleInputEvent"], -10)]
    table += ["", "| Goal | Measured | |", "|---|---:|---|"] + [
        f"| {goal} | {value:.2f}x | {verdict(value <= bound if bound > 0 else value >= -bound)} |"
        for goal, value, bound in ratios]
    return [(JMH_ROWS[method], ns[method]) for method in JMH_ROWS], table


def app_jar(work, name, main, classes, class_path=()):
    """A jar that `java -jar` runs: `main` from the folder `classes`, the jars `class_path` beside it,
    and native access granted in its manifest, as an application grants it."""
    manifest = os.path.join(work, name + ".mf")
    with open(manifest, "w") as out:
        out.write(f"Main-Class: {main}\nEnable-Native-Access: ALL-UNNAMED\n"
                  + (f"Class-Path: {' '.join(class_path)}\n" if class_path else ""))
    run(["jar", "--create", "--file", os.path.join(work, name), "--manifest", manifest, "-C", classes, "."])
    return os.path.join(work, name)


def startup_programs(host_build, work, newer):
    """The one-call programs as jars in `work`: label -> (jar, options, whether it needs Java 22).
    The default cache is the one LOCALAPPDATA names, which the commands get from the environment."""
    library = os.path.join(host_build, "startup", "lib", "libtirk-console.so")
    source = os.path.join(ROOT, "bench", "startup")
    compiled = lambda name: os.path.join(work, "classes-" + name)  # noqa: E731
    javac = lambda name, *args: run(["javac", "-encoding", "UTF-8", "--release", "8", "-Xlint:-options", "-d", compiled(name)] + list(args))  # noqa: E731
    javac("hello", os.path.join(source, "Hello.java"))
    javac("app", "-cp", os.path.join(host_build, "classes"), os.path.join(source, "OneCall.java"))
    javac("floor", os.path.join(source, "floor", "org", "tirk", "terminal", "tty", "impl", "WinConsoleNative.java"))
    shutil.copy(os.path.join(host_build, "startup", "natives.jar"), work)
    central_jna = fetch(host_build, JNA_JAR)
    shutil.copy("/usr/share/java/jna.jar", os.path.join(work, "jna-debian.jar"))
    shutil.copy(central_jna, os.path.join(work, "jna-central.jar"))
    javac("jna", "-cp", "/usr/share/java/jna.jar", os.path.join(source, "JnaDirect.java"),
          os.path.join(source, "JnaInterface.java"))
    run([os.path.join(newer, "bin", "javac"), "-encoding", "UTF-8", "--release", "22", "-d", compiled("ffm"), os.path.join(source, "Ffm.java")])
    run(["jar", "--create", "--file", os.path.join(work, "floor.jar"), "-C", compiled("floor"), "."])
    app = app_jar(work, "app.jar", "OneCall", compiled("app"), ["natives.jar"])
    programs = {
        "hello world": (app_jar(work, "hello.jar", "Hello", compiled("hello")), [], False),
        "floor": (app_jar(work, "floor-app.jar", "OneCall", compiled("app"), ["floor.jar"]),
                  ["-Dbench.library=" + library], False),
        FLOOR_ENV: (os.path.join(work, "floor-app.jar"), ["-Dbench.library=" + library, "-Dbench.localAppData=true"], False),
        "named file": (app, ["-Dtirk.console.library=" + library], False),
        "warm cache": (app, [], False),
        "cold cache": (app, [], False),
        "configured cache": (app, ["-Dtirk.console.cache=" + os.path.join(work, "configured")], False),
        # After the configured cache, whose first run puts the copy whose folders this floor reads.
        FLOOR_JUDGED: (os.path.join(work, "floor-app.jar"), ["-Dbench.library=" + library, "-Dbench.judged="
                                                             + configured_copy(host_build, work)], False),
    }
    for mapping in ("Direct", "Interface"):
        for origin in ("debian", "central"):
            programs[f"JNA {mapping.lower()} mapping, {JNA_ORIGINS[origin]}"] = (
                app_jar(work, f"jna-{mapping.lower()}-{origin}.jar", "Jna" + mapping, compiled("jna"),
                        [f"jna-{origin}.jar"]), ["-Dbench.library=" + library], False)
    programs["FFM downcall"] = (app_jar(work, "ffm.jar", "Ffm", compiled("ffm")), ["-Dbench.library=" + library], True)
    return programs


FLOOR_ENV = "floor reading LOCALAPPDATA"
FLOOR_JUDGED = "floor reading the folders' owners and modes"


def configured_copy(host_build, work):
    """Where the configured cache keeps its copy: in the folder named by the SHA-256 the jar records."""
    with zipfile.ZipFile(os.path.join(host_build, "startup", "natives.jar")) as jar:
        digest = jar.read("org/tirk/terminal/tty/impl/native/linux-x86-64/libtirk-console.so.sha256")[:64].decode()
    return os.path.join(work, "configured", digest, "libtirk-console.so")


def paired_rounds(commands, rounds, work, cold, env):
    """Each command's median time (ms), its ratios to the floor, one per round, and where that
    floor runs too, to the floor that reads LOCALAPPDATA. A round runs every command once, one
    after the other, so that the ratios compare runs a second apart; hyperfine measures them."""
    times = {label: [] for label in commands}
    out = os.path.join(work, "round.json")
    prepare = [arg for label in commands for arg in ("--prepare", "rm -rf " + cold if "cold" in label else "true")]
    for _ in range(rounds):
        run(["hyperfine", "-N", "--warmup", "0", "--runs", "1", "--export-json", out] + prepare +
            [" ".join(command) for command in commands.values()], env=env)
        for label, result in zip(commands, json.load(open(out))["results"]):
            times[label].append(result["median"] * 1000)
    second = times.get(FLOOR_ENV)
    return {label: (statistics.median(ms), [t / f for t, f in zip(ms, times["floor"])],
                    [t / f for t, f in zip(ms, second)] if second else None) for label, ms in times.items()}


def quartiles(ratios):
    """The median ratio and the range of its middle half."""
    if len(ratios) < 2:
        return ratios[0], ratios[0], ratios[0]
    low, middle, high = statistics.quantiles(ratios, n=4)
    return middle, low, high


def startup(host_build, smoke):
    """Whole-process wall time of a one-call program, each launched as `java -jar` with native
    access granted in its manifest: a hello world; the floor, an application class that loads
    the library itself; through tirk-console's loader with a named file, with a warm and a cold
    default cache and with a configured one, whose folder it checks; and JNA and FFM calling the
    same library, each also with --enable-native-access on the command line. JDK 25 runs the
    floor and the caches again from AOT caches trained on each. Ratios to the floor are taken
    within a round."""
    rounds = (1, 1) if smoke else (300, 40)
    goal_rows = ("hello world", "floor", FLOOR_ENV, "named file", "warm cache", "cold cache", "configured cache",
                 FLOOR_JUDGED)
    aot_rows = ("floor", "warm cache", "configured cache")
    # The second table: JNA and FFM beside the floor and a warm start, each also with the flag.
    beside_alternatives = lambda label: label not in goal_rows or label in ("floor", "warm cache")  # noqa: E731
    rows = []
    with tempfile.TemporaryDirectory() as work:
        newer = newer_jdk()
        programs = startup_programs(host_build, work, newer)
        env = dict(os.environ, LOCALAPPDATA=os.path.join(work, "profile"))
        cold = os.path.join(work, "profile", "tirk-console")
        for java in ("java", os.path.join(newer, "bin", "java")):
            version = subprocess.run([java, "-version"], capture_output=True, text=True).stderr
            jdk = "JDK " + re.search(r'version "(\d+)', version).group(1)
            commands = {}
            for label, (jar, options, needs_22) in programs.items():
                if not (needs_22 and int(jdk[4:]) < 22):
                    commands[label] = [java] + options + ["-jar", jar]
                    if beside_alternatives(label):
                        commands[label + ", with the flag"] = [java, "--enable-native-access=ALL-UNNAMED"] + options + [
                            "-jar", jar]
            # The AOT cache of each program, trained by one run of it (JDK 25 makes one in one step).
            aot = {}
            if int(jdk[4:]) >= 25:
                for label in aot_rows:
                    cache = os.path.join(work, re.sub(r"\W+", "-", label) + ".aot")
                    run([java, "-XX:AOTCacheOutput=" + cache] + commands[label][1:], env=env)
                    aot[label] = [java, "-XX:AOTMode=on", "-XX:AOTCache=" + cache] + commands[label][1:]
            for label, command in list(commands.items()) + [("AOT " + label, command) for label, command in aot.items()]:
                result = subprocess.run(command, capture_output=True, text=True, env=env)
                if result.stdout.strip() != "loaded 65001" or "WARNING" in result.stderr:
                    raise SystemExit(f"{label}: {' '.join(command)} printed {result.stdout!r} {result.stderr!r}")
            goals = paired_rounds({label: commands[label] for label in goal_rows}, rounds[0], work, cold, env)
            others = paired_rounds({label: command for label, command in commands.items()
                                    if beside_alternatives(label)}, rounds[1], work, cold, env)
            rows += [(jdk, "goals", label, ms) + quartiles(ratios) + (quartiles(second)[0],)
                     for label, (ms, ratios, second) in goals.items()]
            if aot:
                rows += [(jdk + ", AOT cache", "goals", label, ms) + quartiles(ratios) + (None,) for label, (ms, ratios, _)
                         in paired_rounds(aot, rounds[0], work, cold, env).items()]
            rows += [(jdk, "others", label, ms) + quartiles(ratios) + (None,) for label, (ms, ratios, _) in others.items()]
    bounds = {"warm cache": 1.05, "cold cache": 1.15, "configured cache": 1.10}
    table = ["| JVM | Program | Median (ms) | Ratio to the floor | Middle half | Ratio to the floor reading LOCALAPPDATA "
             "| Goal |", "|---|---|---:|---:|---:|---:|---|"]
    table += [f"| {jdk} | {label} | {ms:.1f} | {ratio:.3f} | {low:.3f}-{high:.3f} | "
              + ("" if second is None else f"{second:.3f}") + " | "
              + (f"<= {bounds[label]}: {verdict(ratio <= bounds[label] and second <= bounds[label])}"
                 if label in bounds and "AOT" not in jdk else "")
              + " |" for jdk, group, label, ms, ratio, low, high, second in rows if group == "goals"]
    jdks = sorted({row[0] for row in rows if row[1] == "others"})
    cell = {(jdk, label): f"{ms:.1f} ({ratio:.2f}x)" for jdk, group, label, ms, ratio, *_ in rows if group == "others"}
    table += ["", "| Program | " + " | ".join(f"{jdk} | {jdk}, with the flag" for jdk in jdks) + " |",
              "|---|" + "---:|" * (2 * len(jdks))]
    for label in dict.fromkeys(label for _, group, label, *_ in rows if group == "others" and "flag" not in label):
        table.append(f"| {label} | " + " | ".join(f"{cell.get((jdk, label), '-')} | "
                                                 f"{cell.get((jdk, label + ', with the flag'), '-')}"
                                                 for jdk in jdks) + " |")
    return [(f"{jdk} {label}", ms) for jdk, group, label, ms, *_ in rows], table


BENCHMARKS = {"instructions": instructions, "wine": wine, "jvm": jvm, "startup": startup}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("which", choices=list(BENCHMARKS) + ["all"])
    parser.add_argument("--host-build", default=os.path.join(ROOT, "build", "host"))
    parser.add_argument("--windows-build", default=os.path.join(ROOT, "build", "windows"))
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--report")
    args = parser.parse_args()
    build = lambda which: args.windows_build if which == "wine" else args.host_build  # noqa: E731
    if args.smoke:
        if args.which == "all" or not args.report:
            parser.error("--smoke runs one benchmark and needs --report")
        report = Report("bench_" + args.which)
        for name, value in BENCHMARKS[args.which](build(args.which), True)[0]:
            report.check(name + " measured", value > 0, str(value))
        report.finish(args.report)
    if args.which != "all":
        print("\n".join(BENCHMARKS[args.which](build(args.which), False)[1]))
        return
    # Each table stands between "<!-- NAME -->" and "<!-- end -->" in BENCHMARKS.md.
    path = os.path.join(ROOT, "BENCHMARKS.md")
    text = open(path).read()
    for which, benchmark in BENCHMARKS.items():
        table = "\n".join(benchmark(build(which), False)[1])
        text = re.sub(rf"(<!-- {which} -->\n)(?:(?!<!-- end -->).*\n)*(<!-- end -->)",
                      lambda m: m.group(1) + table + "\n" + m.group(2), text)
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    run_on = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    text = re.sub(r"^Machine: .*$", f"Machine: {cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}; "
                  f"run {run_on}.", text, flags=re.M)
    open(path, "w").write(text)
    print(text)


if __name__ == "__main__":
    main()
