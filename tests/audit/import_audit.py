#!/usr/bin/env python3
"""Import audit of the shipped programs: which Windows can load them.

  import_audit.py --objdump OBJDUMP --allowed LIST --reasons TABLE
                  [--nt-only NAME]... PROGRAM...

Lists every function each program imports (per DLL, with counts) and checks
it against LIST (tests/audit/allowed-imports.txt: DLL!Function, the oldest
Windows NT that has it, whether Windows 95/98/Me export it, the sources);
beside each imported DLL it prints why a copy of it put beside the program or
in the current folder is not loaded instead, from TABLE
(tests/audit/import-reasons.txt: DLL | reason | source). Fails when
  - a program imports a DLL TABLE does not name (load it at run time from the
    system folder instead, platform/SystemLibrary.h);
  - a program imports a function LIST does not name (add it, with what its
    documentation gives, once you have checked it);
  - LIST gives a function an NT version newer than Windows 2000;
  - a program imports a function Windows 98 lacks (95/98/Me "no" or "Me"),
    unless it is named with --nt-only (a program only the NT family runs):
    look such a function up at run time behind the NT-family check;
  - a program lacks ASLR (dynamic base) or DEP (NX compatible);
  - a program asks the loader for a Windows newer than NT 4.0 and 95
    (operating-system or subsystem version above 4.0).
What it proves: every import exists on Windows 98, Me, 2000 and XP by the
documentation LIST cites. What it cannot: that those loaders accept the
files; nothing here runs them (Wine exports every function whatever version
it reports).
"""
import argparse
import re
import subprocess
import sys

# Oldest first. The NT floor the audit proves is 2000, the 9x floor 98.
NT_VERSIONS = ["3.1", "3.5", "3.51", "4.0", "2000", "XP", "Vista", "7"]
NT_FLOOR = "2000"
NINE_X = ["95", "98", "Me", "no"]
NINE_X_FLOOR = "98"
# The oldest loader the header may ask for: Windows 95 and NT 4.0 are 4.0.
LOADER_VERSION = (4, 0)
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100


def read_allowed(path):
    """DLL!Function -> (oldest NT, 95/98/Me, sources)."""
    allowed = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if line.lstrip().startswith("#") or not line.strip():
            continue
        fields = line.split(None, 3)
        if len(fields) != 4:
            raise SystemExit("%s:%d: expected 'DLL!Function NT 9x sources'" % (path, number))
        name, nt, nine_x, sources = fields
        if nt not in NT_VERSIONS:
            raise SystemExit("%s:%d: unknown NT version %r" % (path, number, nt))
        if nine_x not in NINE_X:
            raise SystemExit("%s:%d: unknown 95/98/Me entry %r" % (path, number, nine_x))
        dll, function = name.split("!", 1)
        allowed[dll.upper() + "!" + function] = (nt, nine_x, sources.strip())
    return allowed


def read_reasons(path):
    """DLL -> (reason, source) from the table of why imports cannot be planted."""
    reasons = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if line.lstrip().startswith("#") or not line.strip():
            continue
        fields = [field.strip() for field in line.split("|")]
        if len(fields) != 3 or not all(fields):
            raise SystemExit("%s:%d: expected 'DLL | reason | source'" % (path, number))
        reasons[fields[0].upper()] = (fields[1], fields[2])
    return reasons


def read_program(objdump, path):
    """(imports as DLL!Function, header fields) of one PE file."""
    text = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    imports, dll, in_imports = [], None, False
    header = {}
    for line in text.split("\n"):
        m = re.match(r"^(DllCharacteristics|MajorOSystemVersion|MinorOSystemVersion|"
                     r"MajorSubsystemVersion|MinorSubsystemVersion)\s+(\S+)", line)
        if m:
            header[m.group(1)] = int(m.group(2), 16 if m.group(1) == "DllCharacteristics" else 10)
        if line.startswith("The Import Tables"):
            in_imports = True
        elif in_imports and re.match(r"^(The |PE File Base)", line):
            in_imports = False
        if not in_imports:
            continue
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            continue
        m = re.match(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if m and dll:
            imports.append(dll + "!" + m.group(1))
    return sorted(set(imports)), header


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--allowed", required=True)
    parser.add_argument("--reasons", required=True)
    parser.add_argument("--nt-only", action="append", default=[],
                        help="file name of a program only the NT family runs")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    allowed = read_allowed(args.allowed)
    reasons = read_reasons(args.reasons)
    failures = []
    for name, (nt, _, _) in sorted(allowed.items()):
        if NT_VERSIONS.index(nt) > NT_VERSIONS.index(NT_FLOOR):
            failures.append("%s is listed as needing Windows %s" % (name, nt))

    imported = set()
    for program in args.programs:
        base = program.split("/")[-1]
        nt_only = base in args.nt_only
        imports, header = read_program(args.objdump, program)
        imported.update(imports)
        per_dll = {}
        for item in imports:
            per_dll.setdefault(item.split("!")[0], []).append(item)
        print("%s: %d functions from %d DLLs%s" % (base, len(imports), len(per_dll),
                                                   " (runs on the NT family only)" if nt_only else ""))
        for dll in sorted(per_dll):
            print("  %-14s %3d" % (dll, len(per_dll[dll])))
            if dll in reasons:
                print("      a planted copy: %s (source: %s)" % reasons[dll])
            else:
                failures.append("%s imports %s, which the table of reasons does not name: "
                                "a copy beside the program could be loaded instead" % (program, dll))
        oldest_nt, oldest_9x = NT_VERSIONS[0], NINE_X[0]
        for item in imports:
            if item not in allowed:
                failures.append("%s imports %s, which the list does not name" % (program, item))
                continue
            nt, nine_x, sources = allowed[item]
            oldest_nt = max(oldest_nt, nt, key=NT_VERSIONS.index)
            oldest_9x = max(oldest_9x, nine_x, key=NINE_X.index)
            if not nt_only and NINE_X.index(nine_x) > NINE_X.index(NINE_X_FLOOR):
                failures.append("%s imports %s, which Windows 95/98/Me lack (%s %s): look it up at "
                                "run time behind the NT-family check" % (program, item, nine_x, sources))
        flags = header.get("DllCharacteristics", 0)
        if not flags & DYNAMIC_BASE:
            failures.append("%s is not built for ASLR (dynamic base)" % program)
        if not flags & NX_COMPAT:
            failures.append("%s is not marked DEP compatible (NX)" % program)
        for field in ("OSystem", "Subsystem"):
            major = header.get("Major%sVersion" % field, 99)
            minor = header.get("Minor%sVersion" % field, 99)
            if (major, minor) > LOADER_VERSION:
                failures.append("%s asks for %s version %d.%d" % (program, field, major, minor))
        print("  ASLR %s, DEP %s, subsystem %d.%d" % (
            "yes" if flags & DYNAMIC_BASE else "NO", "yes" if flags & NX_COMPAT else "NO",
            header.get("MajorSubsystemVersion", 0), header.get("MinorSubsystemVersion", 0)))
        if nt_only:
            nine_x_text = "not needed"
        elif NINE_X.index(oldest_9x) > NINE_X.index(NINE_X_FLOOR):
            nine_x_text = "NOT all there"
        else:
            nine_x_text = oldest_9x + " or later"
        print("  its imports: NT %s or later; 95/98/Me: %s" % (oldest_nt, nine_x_text))

    run_time = sorted(name for name, (_, nine_x, _) in allowed.items()
                      if NINE_X.index(nine_x) > NINE_X.index(NINE_X_FLOOR) and name not in imported)
    print("listed as missing from Windows 98 and imported by none (loaded at run time): %d" % len(run_time))
    for name in run_time:
        print("  " + name)
    for failure in failures:
        print("FAIL " + failure)
    if failures:
        return 1
    print("every import is documented on Windows %s and Windows %s (so Me and XP) or older, "
          "except the NT-only programs' on 9x; every imported DLL has its reason" % (NINE_X_FLOOR, NT_FLOOR))
    return 0

if __name__ == "__main__":
    sys.exit(main())
