#!/usr/bin/env python3
"""Consumes tirk-console the way a Maven user does: a small project under tests/maven/consumer,
built by Debian's Maven with no network, resolves org.tirk.terminal:tirk-console:VERSION from
the repository that the build lays out, compiles against it and runs. Also checks the
repository's own files, that a corrupted checksum fails the build, and a release signed with a
throwaway key.

Usage: run_consumer.py REPOSITORY VERSION WORK_DIR REPORT.xml
"""
import hashlib
import os
import shutil
import subprocess
import tempfile
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402

ARTIFACT = "org/tirk/terminal/tirk-console"


def maven(work, repository, version, local):
    """Builds and runs the consumer against `repository`; returns (exit status, output)."""
    project = os.path.join(work, "consumer")
    shutil.rmtree(project, ignore_errors=True)
    shutil.copytree(os.path.join(HERE, "consumer"), project)
    command = ["mvn", "-B", "-o", "-s", os.path.join(HERE, "settings.xml"), "-Daether.offline.protocols=file",
               "-Dmaven.repo.local=" + local, "-Dtirk.repository=file://" + repository, "-Dtirk.version=" + version,
               "-f", os.path.join(project, "pom.xml"), "compile", "exec:exec"]
    result = subprocess.run(command, capture_output=True, text=True, timeout=600)
    return result.returncode, result.stdout + result.stderr


def main(repository, version, work, report_path):
    report = Report("maven_consumer")
    repository, work = os.path.abspath(repository), os.path.abspath(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    folder = os.path.join(repository, ARTIFACT, version)
    base = os.path.join(folder, f"tirk-console-{version}")

    files = [base + suffix for suffix in (".jar", "-sources.jar", "-javadoc.jar", ".pom")]
    files.append(os.path.join(repository, ARTIFACT, "maven-metadata.xml"))
    wrong = []
    for path in files:
        data = open(path, "rb").read() if os.path.exists(path) else None
        for algorithm in ("sha1", "md5"):
            recorded = open(f"{path}.{algorithm}").read().strip() if os.path.exists(f"{path}.{algorithm}") else ""
            if data is None or recorded != hashlib.new(algorithm, data).hexdigest():
                wrong.append(os.path.basename(path) + "." + algorithm)
    report.check("jar, sources, javadoc, POM and metadata, each with its .sha1 and .md5", not wrong, str(wrong))
    licence = open(os.path.join(HERE, "..", "..", "LICENSE"), "rb").read()
    jars = [base + suffix for suffix in (".jar", "-sources.jar", "-javadoc.jar")]
    report.check("every jar carries the licence as META-INF/LICENSE",
                 all(zipfile.ZipFile(jar).read("META-INF/LICENSE") == licence for jar in jars))
    pom = open(base + ".pom").read()
    report.check("the POM has what a public repository requires", all(
        tag in pom for tag in ("<name>", "<description>", "<url>https://", "<license>", "<developer>", "<scm>",
                               "<connection>scm:git:")), pom)
    with zipfile.ZipFile(base + "-sources.jar") as sources, zipfile.ZipFile(base + "-javadoc.jar") as javadoc:
        report.check("the sources jar holds the module and the classes' sources",
                     {"module-info.java", "org/tirk/terminal/tty/impl/WinConsoleNative.java"} <= set(sources.namelist()))
        report.check("the javadoc jar holds the public API's pages",
                     "org.tirk.terminal.console/org/tirk/terminal/tty/impl/WinConsoleNative.html" in javadoc.namelist())

    started = time.time()
    local = os.path.join(work, "local")
    status, output = maven(work, repository, version, local)
    print(output[-3000:])
    print(f"consumer build and run: {time.time() - started:.1f} s")
    report.check("a Maven project resolves the artifact offline, compiles against it and runs", status == 0,
                 f"exit status {status}")
    resolved = os.path.join(local, ARTIFACT, version, f"tirk-console-{version}.jar")
    report.check("Maven took the jar from this repository",
                 os.path.exists(resolved) and open(resolved, "rb").read() == open(base + ".jar", "rb").read())
    report.check("on Linux the run ends in the error naming the supported platforms",
                 "error: tirk-console supports windows-x86-64 and windows-aarch64 only" in output)

    corrupted = os.path.join(work, "corrupted")
    shutil.copytree(repository, corrupted)
    with open(os.path.join(corrupted, ARTIFACT, version, f"tirk-console-{version}.jar.sha1"), "w") as sha1:
        sha1.write("0" * 40)
    status, output = maven(work, corrupted, version, os.path.join(work, "local-corrupted"))
    report.check("a corrupted checksum fails the build", status != 0 and "Checksum validation failed" in output,
                 f"exit status {status}")
    signed_release(report, repository, version, work)
    report.finish(report_path)


def signed_release(report, repository, version, work):
    """Signs a copy of the repository as a release build does, with a key made for the purpose."""
    home = tempfile.mkdtemp(prefix="gnupg-")
    env = dict(os.environ, GNUPGHOME=home, TIRK_SIGNING_KEY="release-test@tirk.invalid")
    try:
        subprocess.run(["gpg", "--batch", "--quiet", "--passphrase", "", "--quick-gen-key",
                        "tirk-console release test <release-test@tirk.invalid>", "ed25519", "sign", "never"],
                       env=env, check=True, capture_output=True)
        signed = os.path.join(work, "signed")
        shutil.copytree(repository, signed)
        bundle = os.path.join(work, "bundle.zip")
        subprocess.run([os.path.join(HERE, "..", "..", "tools", "sign-release.sh"), signed, version, bundle],
                       env=env, check=True)
        folder = os.path.join(signed, ARTIFACT, version)
        artifacts = [os.path.join(folder, f"tirk-console-{version}{suffix}")
                     for suffix in (".jar", "-sources.jar", "-javadoc.jar", ".pom")]
        artifacts.append(os.path.join(signed, ARTIFACT, "maven-metadata.xml"))
        verify = lambda path: subprocess.run(["gpg", "--batch", "--verify", path + ".asc", path], env=env,  # noqa: E731
                                             capture_output=True).returncode == 0
        report.check("every file of the signed repository has a signature that gpg verifies",
                     all(verify(path) for path in artifacts), str([p for p in artifacts if not verify(p)]))
        with open(artifacts[0], "r+b") as jar:
            jar.seek(100)
            byte = jar.read(1)
            jar.seek(100)
            jar.write(bytes([byte[0] ^ 1]))
        report.check("and a jar changed after signing fails it", not verify(artifacts[0]))
        expected = {f"{ARTIFACT}/{version}/{os.path.basename(path)}{extension}"
                    for path in artifacts[:4] for extension in ("", ".sha1", ".md5", ".asc")}
        names = {name for name in zipfile.ZipFile(bundle).namelist() if not name.endswith("/")}
        report.check("the bundle holds the jars, the POM, their checksums and signatures, and nothing else",
                     names == expected, str(sorted(names ^ expected)))
    finally:
        subprocess.run(["gpgconf", "--kill", "all"], env=env)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
