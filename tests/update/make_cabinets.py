#!/usr/bin/env python3
"""Makes the cabinet packages of the engine install tests with gcab.

  make_cabinets.py OUTDIR

Writes into OUTDIR:
  engine.dat.cab   one entry "engine.dat" (about 40 KB of text), stored date
                   2007-03-15 09:30:04
  readonly.cab     one entry "ro.dat" stored with the read-only attribute
                   (gcab always stores 0x20, so the attribute word is patched)
  hangul.cab       one entry "한글.dll" (a Korean name: gcab stores it
                   in UTF-8 and sets the name's UTF-8 attribute 0x80)
  smuggler.cab     "engine.dat" and a "QVPatch.dat" of its own: a cabinet that
                   must be checked before its entries reach the work folder
  zeros.cab        one entry "zeros.dat", 2 MiB of zero bytes, compressed
                   (MSZIP) to a few kilobytes: it fills a small disk
  files/           the plain contents, for the tests to digest and compare
Every stored time is set through the files' mtime before gcab runs; gcab
writes it as local time, and the tests run with TZ=UTC.
"""
import os
import subprocess
import sys
import time

STAMP = "2007-03-15 09:30:04"
READ_ONLY = 0x01
ARCHIVE = 0x20
HANGUL = "한글.dll"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def set_stamp(path):
    t = time.mktime(time.strptime(STAMP, "%Y-%m-%d %H:%M:%S"))
    os.utime(path, (t, t))


def cabinet(outdir, name, entries, compress=False):
    """entries: list of file names under outdir/files, stored without folders."""
    files = os.path.join(outdir, "files")
    target = os.path.join(outdir, name)
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(["gcab", "-c", "--nopath"] + (["-z"] if compress else []) + [target] +
                   [os.path.join(files, e) for e in entries], check=True)
    return target


def patch_attributes(cab, entry, attributes):
    """Sets the attribute word of a CFFILE entry (the two bytes before its name)."""
    with open(cab, "rb") as f:
        data = bytearray(f.read())
    at = data.find(entry.encode("ascii") + b"\0")
    if at < 2:
        sys.exit("entry %s not found in %s" % (entry, cab))
    data[at - 2:at] = attributes.to_bytes(2, "little")
    write(cab, bytes(data))


def main():
    outdir = sys.argv[1]
    files = os.path.join(outdir, "files")
    os.makedirs(files, exist_ok=True)
    engine = b"".join(b"engine database line %05d\n" % i for i in range(1500))
    write(os.path.join(files, "engine.dat"), engine)
    write(os.path.join(files, "ro.dat"), b"read-only rules\n" * 10)
    for name in ("engine.dat", "ro.dat"):
        set_stamp(os.path.join(files, name))
    cabinet(outdir, "engine.dat.cab", ["engine.dat"])
    ro = cabinet(outdir, "readonly.cab", ["ro.dat"])
    patch_attributes(ro, "ro.dat", READ_ONLY | ARCHIVE)
    write(os.path.join(files, "QVPatch.dat"), b"smuggled list\n")
    cabinet(outdir, "smuggler.cab", ["engine.dat", "QVPatch.dat"])
    write(os.path.join(files, HANGUL), b"Korean name\n")
    cabinet(outdir, "hangul.cab", [HANGUL])
    write(os.path.join(files, "zeros.dat"), bytes(2 * 1024 * 1024))
    cabinet(outdir, "zeros.cab", ["zeros.dat"], compress=True)


if __name__ == "__main__":
    os.environ["TZ"] = "UTC"
    time.tzset()
    main()
