#!/usr/bin/env python3
"""qvcheck get against the loopback server: a 50 MB download whose MD5 must
match the served file, and a missing file that must fail with 404 and leave no
output file. The served file is made under the server's document root (in the
build tree) and kept for later runs; the downloaded copy is removed."""

import argparse
import hashlib
import os
import random
import subprocess
import sys
import time

SIZE = 50 * 1024 * 1024
NAME = "qvcheck-50mb.bin"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def make_served_file(path):
    """Deterministic bytes, made once; an existing file of the right size is reused."""
    if os.path.isfile(path) and os.path.getsize(path) == SIZE:
        return
    data = random.Random(20080101).randbytes(SIZE)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def qvcheck(args, port, path, out):
    started = time.time()
    done = subprocess.run([args.runner, args.qvcheck, "get", "127.0.0.1", path, str(port),
                           windows_path(out)], capture_output=True, text=True, timeout=240)
    return done.returncode, done.stdout.strip(), time.time() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qvcheck", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    with open(args.state) as f:
        port, root = f.read().split("\n")[:2]
    os.makedirs(args.work, exist_ok=True)
    served = os.path.join(root, NAME)
    make_served_file(served)
    expected = md5_of(served)
    failures = 0

    out = os.path.join(args.work, "download.bin")
    if os.path.exists(out):
        os.remove(out)
    rc, stdout, seconds = qvcheck(args, port, "/" + NAME, out)
    got = md5_of(out) if os.path.exists(out) else "<no file>"
    print("qvcheck get /%s: exit %d, printed \"%s\", %.1f s" % (NAME, rc, stdout, seconds))
    print("  served MD5     %s" % expected)
    print("  downloaded MD5 %s (%s bytes)" % (got, os.path.getsize(out) if os.path.exists(out) else "-"))
    if rc != 0 or stdout != "ok %d" % SIZE or got != expected:
        print("FAIL: expected exit 0, \"ok %d\" and equal digests" % SIZE)
        failures += 1
    if os.path.exists(out):
        os.remove(out)

    missing = os.path.join(args.work, "missing.bin")
    rc, stdout, _ = qvcheck(args, port, "no-such-file.bin", missing)
    print("qvcheck get no-such-file.bin: exit %d, printed \"%s\", file created: %s"
          % (rc, stdout, "yes" if os.path.exists(missing) else "no"))
    if rc != 1 or stdout != "fail 404" or os.path.exists(missing):
        print("FAIL: expected exit 1, \"fail 404\" and no file")
        failures += 1

    rc, _, _ = qvcheck(args, "80x", "/x", missing)
    print("qvcheck get with port 80x: exit %d" % rc)
    if rc != 2:
        print("FAIL: expected exit 2 for a bad port")
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
