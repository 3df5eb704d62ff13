#!/usr/bin/env python3
"""Writes the cabinet test fixtures that gcab cannot make.

  cab_fixtures.py content DIR        the files gcab packs (tree of two levels)
  cab_fixtures.py handmade DIR       attribs.cab and the evil-*.cab cabinets
  cab_fixtures.py truncate SRC DST   DST = the first half of SRC

gcab stores every entry with the archive attribute only and turns "/" into
"\\" and drops ".." and leading "/" from the names it is given, so cabinets
with other attributes, "/" separators or escaping names are written here in
the documented uncompressed cabinet format:

  CFHEADER  "MSCF", reserved1 u32, cbCabinet u32, reserved2 u32,
            coffFiles u32, reserved3 u32, versionMinor u8 (3),
            versionMajor u8 (1), cFolders u16, cFiles u16, flags u16,
            setID u16, iCabinet u16                          (36 bytes)
  CFFOLDER  coffCabStart u32, cCFData u16, typeCompress u16 (0 = none)
  CFFILE    cbFile u32, uoffFolderStart u32, iFolder u16, date u16,
            time u16, attribs u16, szName (zero-terminated)   per entry
  CFDATA    csum u32 (0 = not checked), cbData u16, cbUncomp u16, bytes
            (at most 32768 bytes a block)

All numbers little-endian; one folder holds every entry's bytes in order.
"""
import os
import struct
import sys

# Stored date and time of every hand-made entry: 2009-06-15 13:45:32.
DOS_DATE = ((2009 - 1980) << 9) | (6 << 5) | 15
DOS_TIME = (13 << 11) | (45 << 5) | (32 // 2)
MAX_BLOCK = 32768
HEADER_SIZE = 36
FOLDER_SIZE = 8

READONLY, HIDDEN, SYSTEM, VOLUME, DIRECTORY, ARCHIVE, EXEC = 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40


def cabinet(entries):
    """entries: list of (stored name, bytes, attributes) -> cabinet bytes."""
    files = b""
    offset = 0
    for name, data, attribs in entries:
        files += struct.pack("<IIHHHH", len(data), offset, 0, DOS_DATE, DOS_TIME, attribs)
        files += name.encode("ascii") + b"\0"
        offset += len(data)
    payload = b"".join(data for _, data, _ in entries)
    blocks = [payload[i:i + MAX_BLOCK] for i in range(0, len(payload), MAX_BLOCK)] or [b""]
    data_start = HEADER_SIZE + FOLDER_SIZE + len(files)
    body = b"".join(struct.pack("<IHH", 0, len(b), len(b)) + b for b in blocks)
    total = data_start + len(body)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, HEADER_SIZE + FOLDER_SIZE, 0,
                         3, 1, 1, len(entries), 0, 0x5156, 0)
    folder = struct.pack("<IHH", data_start, len(blocks), 0)
    return header + folder + files + body


# Each evil cabinet holds a harmless entry, a refused one (its name leaves
# the destination or is too long), and another harmless entry that must not
# be written once the refused one has stopped the extraction.
EVIL_NAMES = {
    "evil-parent.cab": "..\\qv-cab-escaped.txt",
    "evil-nested.cab": "sub\\..\\..\\qv-cab-escaped.txt",
    "evil-slash.cab": "sub/../../qv-cab-escaped.txt",
    "evil-dots.cab": "sub\\...\\qv-cab-escaped.txt",
    "evil-absolute.cab": "\\qv-cab-escaped.txt",
    "evil-slashabsolute.cab": "/qv-cab-escaped.txt",
    "evil-drive.cab": "C:\\qv-cab-escaped.txt",
    "evil-driverelative.cab": "C:qv-cab-escaped.txt",
    # 250 characters: with any destination folder the path passes 259
    # characters, and a cut path would name another file.
    "evil-long.cab": "d" * 120 + "\\" + "f" * 125 + ".txt",
    # Devices, not files: Windows sends the bytes to the console, the null
    # device or a port, in any letter case and with any extension.
    "evil-con.cab": "con.txt",
    "evil-nul.cab": "sub\\Nul",
    "evil-com1.cab": "COM1",
    "evil-lpt9.cab": "lpt9.log",
    "evil-conout.cab": "CONOUT$",
}


def handmade(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    attribs = [
        ("readonly.txt", b"read-only entry\r\n", READONLY),
        ("hidden.txt", b"hidden entry\r\n", HIDDEN),
        ("system.txt", b"system entry\r\n", SYSTEM),
        ("archive.txt", b"archive entry\r\n", ARCHIVE),
        ("all.txt", b"read-only, hidden, system, archive\r\n", READONLY | HIDDEN | SYSTEM | ARCHIVE),
        ("extra.txt", b"exec, directory and volume bits besides read-only\r\n",
         EXEC | DIRECTORY | VOLUME | READONLY),
        ("fwd/slash/entry.txt", b"stored with forward slashes\r\n", ARCHIVE),
    ]
    write(os.path.join(out_dir, "attribs.cab"), cabinet(attribs))
    for cab_name, evil in EVIL_NAMES.items():
        entries = [("inside.txt", b"written before the escaping entry\r\n", ARCHIVE),
                   (evil, b"must never be written\r\n", ARCHIVE),
                   ("after.txt", b"after the escaping entry\r\n", ARCHIVE)]
        write(os.path.join(out_dir, cab_name), cabinet(entries))


def content(out_dir):
    """The tree gcab packs: one file at the top, one a level down, one two down;
    and two files with non-ASCII names (Korean, which code page 949 holds,
    and Thai, which it does not)."""
    os.makedirs(os.path.join(out_dir, "docs", "deep"), exist_ok=True)
    write(os.path.join(out_dir, "top.txt"), b"top level entry\r\n")
    write(os.path.join(out_dir, "한글.txt"), b"Korean name\r\n")
    write(os.path.join(out_dir, "ทดสอบ.txt"), b"Thai name\r\n")
    write(os.path.join(out_dir, "docs", "readme.txt"), b"one level down\r\n" * 40)
    # 70,000 bytes of a fixed pseudo-random sequence: several compressed
    # blocks, and content that must come back byte for byte.
    state = 12345
    data = bytearray()
    for _ in range(70000):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        data.append((state >> 16) & 0xFF)
    write(os.path.join(out_dir, "docs", "deep", "nested.bin"), bytes(data))


def truncate(src, dst):
    with open(src, "rb") as f:
        data = f.read()
    write(dst, data[:len(data) // 2])


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) == 3 and argv[1] == "content":
        content(argv[2])
    elif len(argv) == 3 and argv[1] == "handmade":
        handmade(argv[2])
    elif len(argv) == 4 and argv[1] == "truncate":
        truncate(argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
