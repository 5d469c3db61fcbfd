#!/usr/bin/env python3
"""The shapes applications ship in, each started on the newest Windows JVM under Wine and granting
native access in its own manifest: a Spring Boot executable jar (its nested-jar loader and its
classic one) and a shaded jar, built by Maven with the plugins from Maven Central; tirk-console's
classes in a folder; and tirk-console as an OSGi bundle in Apache Felix, beside a bundle that
imports its package. Each must print "loaded CODEPAGE" and no warning.

Usage: run_packagings.py CACHE REPORT REPOSITORY VERSION JAR WORK
  CACHE       the Windows runtimes (windows-jre.sh), the Maven repository and Felix are kept here
  REPOSITORY  the Maven repository the build lays out, holding tirk-console VERSION; JAR the jar
"""
import os
import re
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "winjvm"))
from junit import Report  # noqa: E402
import maven_central  # noqa: E402
from pseudo_terminal import run  # noqa: E402
from run_windows_jvm import ENV, QUIET, runtimes, windows  # noqa: E402

# Apache Felix's framework from Maven Central, pinned by SHA-256.
FELIX = ("org/apache/felix/org.apache.felix.framework/7.0.5/org.apache.felix.framework-7.0.5.jar",
         "aba72932c5ffe52d1ae9fb735415474bc8305fd04f050e851f3a8f67da1834fd")


def jar(path, manifest, classes):
    """Packs the folder `classes` into `path` with the manifest text `manifest`."""
    with open(path + ".mf", "w") as out:
        out.write(manifest)
    subprocess.run(["jar", "--create", "--file", path, "--manifest", path + ".mf", "-C", classes, "."], check=True)
    return path


def main(cache, report_path, repository, version, library_jar, work):
    report = Report("windows_packagings")
    [(java, feature)] = runtimes(os.path.join(cache, "windows-jre"), report, report_path)
    for stale in (work, os.path.join(os.environ["WINEPREFIX"], "drive_c", "packagings")):
        shutil.rmtree(stale, ignore_errors=True)
    os.makedirs(work)

    project = os.path.join(work, "app")
    shutil.copytree(os.path.join(HERE, "app"), project)
    # The local repository keeps the plugins between runs, but never tirk-console: Maven would go
    # on using the first jar of this version it resolved, whatever the build makes now.
    local = os.path.join(cache, "m2")
    shutil.rmtree(os.path.join(local, "org", "tirk"), ignore_errors=True)
    maven = subprocess.run(["mvn", "-B", "-q", "--strict-checksums", "-Dmaven.repo.local=" + local,
                            "-Dtirk.repository=file://" + os.path.abspath(repository), "-Dtirk.version=" + version,
                            "-f", os.path.join(project, "pom.xml"), "package"], capture_output=True, text=True)
    if not report.check("Maven builds the Spring Boot and shaded jars", maven.returncode == 0,
                        (maven.stdout + maven.stderr)[-2000:]):
        report.finish(report_path)
    target = os.path.join(project, "target")
    built = open(library_jar, "rb").read()
    with zipfile.ZipFile(os.path.join(target, "app-1-boot.jar")) as boot:
        nested = [boot.read(name) for name in boot.namelist() if re.fullmatch(r"BOOT-INF/lib/tirk-console-.*\.jar", name)]
    report.check("the Spring Boot jar carries the tirk-console jar just built, byte for byte", nested == [built],
                 f"{len(nested)} nested tirk-console jars")

    # tirk-console's classes in a folder, on the class path of an application jar.
    with zipfile.ZipFile(library_jar) as archive:
        archive.extractall(os.path.join(work, "folder", "tirk-console"))
    folder_app = jar(os.path.join(work, "folder", "app.jar"), "Main-Class: org.tirk.packaging.App\n"
                     "Class-Path: tirk-console/\nEnable-Native-Access: ALL-UNNAMED\n", os.path.join(target, "classes"))

    # Felix, a launcher that installs and starts bundles, and a bundle that imports the package.
    osgi = os.path.join(work, "osgi")
    os.makedirs(osgi)
    framework = shutil.copy(maven_central.fetch(cache, *FELIX), os.path.join(osgi, "org.apache.felix.framework.jar"))
    sources = os.path.join(HERE, "osgi")
    subprocess.run(["javac", "-encoding", "UTF-8", "--release", "8", "-Xlint:-options", "-cp", framework + ":" + library_jar,
                    "-d", os.path.join(osgi, "classes")] + [os.path.join(root, name) for root, _, names in os.walk(sources)
                                                            for name in names if name.endswith(".java")], check=True)
    launcher = os.path.join(osgi, "launcher")
    probe = os.path.join(osgi, "probe")
    shutil.copytree(os.path.join(osgi, "classes"), launcher, ignore=shutil.ignore_patterns("probe"))
    shutil.copytree(os.path.join(osgi, "classes", "org", "tirk", "packaging", "probe"),
                    os.path.join(probe, "org", "tirk", "packaging", "probe"))
    launch_jar = jar(os.path.join(osgi, "launch.jar"), open(os.path.join(sources, "launch.mf")).read(), launcher)
    probe_jar = jar(os.path.join(osgi, "probe.jar"), open(os.path.join(sources, "probe.mf")).read(), probe)

    packagings = [
        ("a Spring Boot executable jar", ["-jar", windows(os.path.join(target, "app-1-boot.jar"))]),
        ("a Spring Boot executable jar with the classic loader",
         ["-jar", windows(os.path.join(target, "app-1-boot-classic.jar"))]),
        ("a shaded jar", ["-jar", windows(os.path.join(target, "app-1-shaded.jar"))]),
        ("classes in a folder", ["-jar", windows(folder_app)]),
        ("an OSGi bundle in Apache Felix", ["-jar", windows(launch_jar), windows(os.path.join(osgi, "storage")),
                                            windows(library_jar), windows(probe_jar)]),
    ]
    for name, arguments in packagings:
        output = os.path.join(work, "output.txt")
        # Each extracts into a folder of its own on drive C:, where no other account can change it.
        cache_folder = "C:\\packagings\\cache-" + re.sub(r"\W+", "-", name)
        status, _ = run(["wine", java] + QUIET + ["-Dtirk.console.cache=" + cache_folder,
                                                  "-Dtirk.console.debug=true"] + arguments, ENV, output, deadline=180)
        text = open(output, errors="replace").read()
        print(f"{name}:\n{text}")
        report.check(f"{name} loads and calls tirk-console on Java {feature}",
                     status == 0 and re.search(r"^loaded [1-9]\d*\s*$", text, re.M) is not None, text[-800:])
        report.check(f"{name} grants native access in its manifest: no restricted-method warning",
                     "WARNING: A restricted method" not in text, text[-800:])
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
