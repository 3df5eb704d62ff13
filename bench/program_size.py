#!/usr/bin/env python3
"""Size of a shipped program, section by section.

  program_size.py --objdump OBJDUMP [--limit BYTES] PROGRAM...

Prints each section's size and the file's size. With --limit, exits non-zero
when a program's file is larger than BYTES, so that a change that drags in a
heavy part of a runtime library (streams, locales, float formatting) is
noticed when it lands.
"""
import argparse
import os
import re
import subprocess
import sys


def sections(objdump, path):
    text = subprocess.run([objdump, "-h", path], capture_output=True, text=True, check=True).stdout
    found = []
    for line in text.split("\n"):
        m = re.match(r"^\s+\d+\s+(\S+)\s+([0-9a-f]+)\s", line)
        if m:
            found.append((m.group(1), int(m.group(2), 16)))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    status = 0
    for path in args.programs:
        size = os.path.getsize(path)
        print("%s: %d bytes (%.1f KB)" % (os.path.basename(path), size, size / 1024.0))
        for name, bytes_ in sections(args.objdump, path):
            print("  %-10s %8d" % (name, bytes_))
        if args.limit and size > args.limit:
            print("FAIL %s is %d bytes, over the limit of %d" % (path, size, args.limit))
            status = 1
        elif args.limit:
            print("  within the limit of %d bytes (%d to spare)" % (args.limit, args.limit - size))
    return status


if __name__ == "__main__":
    sys.exit(main())
