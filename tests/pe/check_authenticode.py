#!/usr/bin/env python3
"""Checks the Authenticode signatures of both DLLs as the build signed them with a throwaway
certificate: they verify, they sign the unsigned builds' own Authenticode digests, signing again
gives the same bytes, bad credentials fail with one line and no file, and a time-stamp from a
local RFC 3161 authority (openssl ts behind Python's http.server) verifies.

Usage: check_authenticode.py WORK REPORT CERT KEY SIGNED_AT ARCH=UNSIGNED,SIGNED...
"""
import hashlib
import http.server
import os
import re
import shutil
import subprocess
import sys
import threading

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from junit import Report  # noqa: E402

SIGN = os.path.join(HERE, "..", "..", "tools", "authenticode-sign.sh")


def digest(path):
    """The Authenticode SHA-256: the file but its checksum, its certificate table's entry and the table."""
    data = open(path, "rb").read()
    pe = pefile.PE(data=data, fast_load=True)
    checksum = pe.OPTIONAL_HEADER.get_file_offset() + 64
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    entry, table = security.get_file_offset(), security.VirtualAddress or len(data)
    return hashlib.sha256(data[:checksum] + data[checksum + 4:entry] + data[entry + 8:table]).hexdigest()


def openssl(*arguments, cwd):
    subprocess.run(["openssl"] + list(arguments), cwd=cwd, check=True, capture_output=True)


def certificate(work, name, extensions, issuer=None):
    """A new key and certificate NAME.key and NAME.pem in `work`, self-signed or by `issuer`."""
    request = ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-subj", "/CN=" + name]
    if issuer is None:
        openssl(*request, "-x509", "-days", "30", "-out", name + ".pem", *sum((["-addext", e] for e in extensions), []),
                cwd=work)
        return
    openssl(*request, "-out", name + ".csr", cwd=work)
    open(os.path.join(work, name + ".ext"), "w").write("\n".join(extensions) + "\n")
    openssl("x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key", "-CAcreateserial",
            "-days", "30", "-extfile", name + ".ext", "-out", name + ".pem", cwd=work)


def time_stamp_authority(work):
    """An RFC 3161 authority on 127.0.0.1, answering with openssl ts; returns it and its URL."""
    certificate(work, "tsa-ca", ["basicConstraints=critical,CA:TRUE", "keyUsage=critical,keyCertSign"])
    certificate(work, "tsa", ["extendedKeyUsage=critical,timeStamping"], issuer="tsa-ca")
    open(os.path.join(work, "serial"), "w").write("01\n")
    open(os.path.join(work, "ts.cnf"), "w").write(
        "[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = serial\nsigner_cert = tsa.pem\nsigner_key = tsa.key\n"
        "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256, sha1\ness_cert_id_alg = sha256\n")

    class Reply(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            open(os.path.join(work, "query.tsq"), "wb").write(self.rfile.read(int(self.headers["Content-Length"])))
            openssl("ts", "-reply", "-config", "ts.cnf", "-queryfile", "query.tsq", "-out", "reply.tsr", cwd=work)
            reply = open(os.path.join(work, "reply.tsr"), "rb").read()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *arguments):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Reply)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_port}/"


def sign(cert, key, signed_at, url, unsigned, out, env=None):
    return subprocess.run([SIGN, "sign", cert, key, signed_at, url, unsigned, out], capture_output=True, text=True,
                          env=env)


def main(work, report_path, cert, key, signed_at, *dlls):
    report = Report("authenticode")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    pairs = [(arch, *paths.split(",")) for arch, paths in (dll.split("=") for dll in dlls)]
    for arch, unsigned, signed in pairs:
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], capture_output=True,
                                  text=True)
        report.check(f"the {arch} DLL's signature verifies against the signing certificate",
                     verified.returncode == 0 and "\nSignature verification: ok" in verified.stdout,
                     verified.stdout + verified.stderr)
        calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", verified.stdout)
        report.check(f"the {arch} DLL's signature signs the unsigned build's Authenticode digest",
                     digest(unsigned) == digest(signed) == (calculated.group(1).lower() if calculated else None),
                     f"{digest(unsigned)} {digest(signed)} {calculated and calculated.group(1)}")
        again = sign(cert, key, signed_at, "", unsigned, os.path.join(work, arch + ".dll"))
        report.check(f"signing the unsigned {arch} build again gives the same bytes",
                     again.returncode == 0 and open(os.path.join(work, arch + ".dll"), "rb").read()
                     == open(signed, "rb").read(), again.stderr)
        print(f"{arch}: {os.path.getsize(unsigned)} bytes unsigned, {os.path.getsize(signed)} signed")

    arch, unsigned, signed = pairs[0]
    certificate(work, "stranger", ["extendedKeyUsage=codeSigning"])
    certificate(work, "plain", ["keyUsage=digitalSignature"])
    for case, credentials, said in (("another key", (cert, os.path.join(work, "stranger.key")), "does not match"),
                                    ("a certificate not made for code signing",
                                     (os.path.join(work, "plain.pem"), os.path.join(work, "plain.key")), "code signing"),
                                    ("an unreadable key", (cert, os.path.join(work, "missing.key")), "cannot read")):
        out = os.path.join(work, "refused.dll")
        refused = sign(*credentials, signed_at, "", unsigned, out)
        report.check(f"{case} fails with one line and writes nothing", refused.returncode != 0 and not os.path.exists(out)
                     and len(refused.stderr.splitlines()) == 1 and said in refused.stderr, refused.stderr)

    openssl("pkcs12", "-export", "-in", cert, "-inkey", key, "-out", "signer.p12", "-passout", "pass:secret", cwd=work)
    pkcs12 = sign(os.path.join(work, "signer.p12"), "", signed_at, "", unsigned, os.path.join(work, "pkcs12.dll"),
                  dict(os.environ, TIRK_AUTHENTICODE_PASSWORD="secret"))
    report.check("a PKCS#12 file signs as its PEM certificate and key do", pkcs12.returncode == 0 and
                 open(os.path.join(work, "pkcs12.dll"), "rb").read() == open(signed, "rb").read(), pkcs12.stderr)

    server, url = time_stamp_authority(work)
    try:
        stamped = sign(cert, key, signed_at, url, unsigned, os.path.join(work, "stamped.dll"))
    finally:
        server.shutdown()
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-TSA-CAfile", os.path.join(work, "tsa-ca.pem"),
                               "-in", os.path.join(work, "stamped.dll")], capture_output=True, text=True)
    report.check("a time-stamp from a local RFC 3161 authority verifies against its CA",
                 stamped.returncode == 0 and verified.returncode == 0
                 and "Timestamp Server Signature verification: ok" in verified.stdout,
                 stamped.stderr + verified.stdout + verified.stderr)
    report.finish(report_path)


if __name__ == "__main__":
    main(*sys.argv[1:])
