#!/usr/bin/env python3
"""Import audit of the shipped programs: which Windows can load them.

  import_audit.py --objdump OBJDUMP --allowed LIST --reasons TABLE PROGRAM...

Lists every function each program imports (per DLL, with counts) and checks
it against LIST (tests/audit/allowed-imports.txt: DLL!Function and the oldest
Windows that has it); beside each imported DLL it prints why a copy of it
put beside the program or in the current folder is not loaded instead, from
TABLE (tests/audit/import-reasons.txt: DLL | reason | source). Fails when
  - a program imports a DLL TABLE does not name (load it at run time from the
    system folder instead, platform/SystemLibrary.h);
  - a program imports a function LIST does not name (add it, with the oldest
    version its documentation gives, once you have checked it);
  - LIST gives a function a version newer than Windows XP;
  - a program lacks ASLR (dynamic base) or DEP (NX compatible);
  - a program asks the loader for a Windows newer than XP (operating-system
    or subsystem version above 5.1).
"""
import argparse
import re
import subprocess
import sys

# Oldest first; the floor the audit proves is XP.
VERSIONS = ["95", "NT4", "98", "2000", "XP", "Vista", "7"]
FLOOR = "XP"
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100


def read_allowed(path):
    allowed = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        name, version = line.split()
        if version not in VERSIONS:
            raise SystemExit("%s:%d: unknown version %r" % (path, number, version))
        dll, function = name.split("!", 1)
        allowed[dll.upper() + "!" + function] = version
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
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    allowed = read_allowed(args.allowed)
    reasons = read_reasons(args.reasons)
    failures = []
    for name, version in sorted(allowed.items()):
        if VERSIONS.index(version) > VERSIONS.index(FLOOR):
            failures.append("%s is listed as needing Windows %s" % (name, version))

    for program in args.programs:
        imports, header = read_program(args.objdump, program)
        per_dll = {}
        for item in imports:
            per_dll.setdefault(item.split("!")[0], []).append(item)
        print("%s: %d functions from %d DLLs" % (program.split("/")[-1], len(imports), len(per_dll)))
        for dll in sorted(per_dll):
            print("  %-14s %3d" % (dll, len(per_dll[dll])))
            if dll in reasons:
                print("      a planted copy: %s (source: %s)" % reasons[dll])
            else:
                failures.append("%s imports %s, which the table of reasons does not name: "
                                "a copy beside the program could be loaded instead" % (program, dll))
        for item in imports:
            if item not in allowed:
                failures.append("%s imports %s, which the list does not name" % (program, item))
        flags = header.get("DllCharacteristics", 0)
        if not flags & DYNAMIC_BASE:
            failures.append("%s is not built for ASLR (dynamic base)" % program)
        if not flags & NX_COMPAT:
            failures.append("%s is not marked DEP compatible (NX)" % program)
        for field in ("OSystem", "Subsystem"):
            major = header.get("Major%sVersion" % field, 99)
            minor = header.get("Minor%sVersion" % field, 99)
            if (major, minor) > (5, 1):
                failures.append("%s asks for %s version %d.%d" % (program, field, major, minor))
        print("  ASLR %s, DEP %s, subsystem %d.%d" % (
            "yes" if flags & DYNAMIC_BASE else "NO", "yes" if flags & NX_COMPAT else "NO",
            header.get("MajorSubsystemVersion", 0), header.get("MinorSubsystemVersion", 0)))

    for failure in failures:
        print("FAIL " + failure)
    if failures:
        return 1
    print("every import is documented on Windows %s or older; every imported DLL has its reason" % FLOOR)
    return 0


if __name__ == "__main__":
    sys.exit(main())
