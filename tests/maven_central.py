"""Jars from Maven Central, each pinned by its SHA-256 and fetched once.

As a program: maven_central.py FOLDER PATH SHA256 keeps the jar at PATH in FOLDER."""
import hashlib
import os
import urllib.request


def fetch(folder, path, sha256):
    """The jar at `path` on Maven Central, kept in `folder` once it has the pinned SHA-256."""
    jar = os.path.join(folder, os.path.basename(path))
    if not os.path.exists(jar):
        data = urllib.request.urlopen("https://repo1.maven.org/maven2/" + path, timeout=120).read()
        if hashlib.sha256(data).hexdigest() != sha256:
            raise SystemExit(f"{path} from Maven Central does not have the pinned SHA-256 {sha256}")
        os.makedirs(folder, exist_ok=True)
        open(jar, "wb").write(data)
    return jar


if __name__ == "__main__":
    import sys
    fetch(*sys.argv[1:])
