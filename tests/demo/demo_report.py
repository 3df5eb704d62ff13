#!/usr/bin/env python3
"""The demo's report (scripts/demo.sh): what the install did, in a few readable
sections, from the driver's facts file (tests/demo/DemoDriver.cpp), the Wine
prefix's files, the published release (read with `qvpublish table dump`) and
nginx's access log.

Prints the report and, last, one summary line "demo: passed (...)" or
"demo: FAILED (...)"; exits 0 only when the wizard reached its success page
and every published file is installed with the published digest.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys

CHANNEL_ROOT = "TKAS/AccessFile/Update5/Personal/KorvaneFree"
# Channel folder on the server -> folder under the install folder its files go to.
CHANNELS = (("Program", ""), ("VP", "VP"))
# Target folder placeholders of a patch list -> folder under the install folder.
PLACEHOLDERS = {"%BASE%": "", "%VP%": "VP", "%VC%": "VC", "%KV%": "KV", "%PP%": "PP"}
# The access log format of server/nginx/qvsetup-release.conf.in (log_format qvrelease).
ACCESS_LINE = re.compile(r'^(\S+) (\S+) "(\S+) (\S+)[^"]*" (\d{3}) (\d+) "([^"]*)"$')


def read_facts(path):
    """The driver's facts: a list of (kind, [fields]) and whether it finished."""
    facts = []
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                facts.append((fields[0], fields[1:]))
    except OSError:
        return [], False
    return facts, bool(facts) and facts[-1][0] == "end"


def linux_path(prefix, windows_path):
    """C:\\a\\b -> PREFIX/dosdevices/c:/a/b (Wine's drive mapping)."""
    drive, _, rest = windows_path.partition(":")
    return os.path.join(prefix, "dosdevices", drive.lower() + ":", *[p for p in rest.split("\\") if p])


def find_case_insensitive(folder, relative):
    """The file folder/relative, each part matched without regard to case."""
    path = folder
    for part in [p for p in relative.replace("\\", "/").split("/") if p]:
        try:
            names = {n.lower(): n for n in os.listdir(path)}
        except OSError:
            return None
        if part.lower() not in names:
            return None
        path = os.path.join(path, names[part.lower()])
    return path


def md5(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(65536), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def dump_table(qvpublish, path):
    """Rows of a table file through `qvpublish table dump`: lists of texts or numbers."""
    result = subprocess.run([qvpublish, "table", "dump", path], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"qvpublish table dump {path}: {result.stderr.strip()}")
    rows = []
    for line in result.stdout.splitlines():
        rows.append([cell.get("text", cell.get("number")) for cell in json.loads(line)])
    return rows


def published_files(qvpublish, docroot):
    """Every file and delete record of both channels as
    (relative install path, digest or None for a delete record, channel)."""
    records = []
    for channel, base in CHANNELS:
        rows = dump_table(qvpublish, os.path.join(docroot, CHANNEL_ROOT, channel, "QVPatch.dat"))
        for row in rows[1:]:
            if len(row) != 11:
                continue
            target, name, deleted = row[2], row[3], row[10] == 1
            if target in PLACEHOLDERS:
                folder = PLACEHOLDERS[target]
            elif target == "":
                folder = base
            else:
                folder = None  # an absolute folder: outside the install folder
            relative = name if folder in (None, "") else folder + "/" + name
            records.append((relative, None if deleted else row[1], channel))
    return records


def section(title):
    print()
    print(f"== {title}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--facts", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--qvpublish", required=True)
    parser.add_argument("--docroot", required=True)
    parser.add_argument("--access-log", required=True)
    parser.add_argument("--log-from", type=int, default=0, help="byte offset of the installer's first line")
    parser.add_argument("--server", required=True, help="HOST:PORT nginx listens on")
    parser.add_argument("--signed", action="store_true",
                        help="the installer trusts the release key: every manifest must be signed and its serial recorded")
    args = parser.parse_args()

    problems = []
    facts, finished = read_facts(args.facts)
    if not finished:
        problems.append("the driver did not finish its report" if facts else "the driver wrote no report")
    of = lambda kind: [fields for k, fields in facts if k == kind]

    # The run.
    results = of("result")
    result, install_ms = (results[-1][0], int(results[-1][1])) if results else ("none", 0)
    section("the wizard")
    print(f"  result page     {result}" + (f" ({install_ms / 1000:.1f} s after Next on the licence page)"
                                           if result != "none" else ""))
    print(f"  pages reached   {', '.join(p[0] for p in of('page'))}")
    for page in of("page"):
        if len(page) > 1 and page[1]:
            print(f"  screenshot      {page[0]:8} {page[1]}")
    for before, after in of("bar"):
        print(f"  install shot    bar at {before}%" + (f" ({after}% once taken)" if after != before else ""))
    for status in of("status"):
        print(f"  status line     {status[0]}")
    updater = of("updater")
    if updater:
        print(f"  Done started the updater: {updater[0][0]}")
    if result != "success":
        problems.insert(0, f"result page: {result}")

    # Files.
    folders = of("folder")
    install_windows = folders[0][0] if folders else ""
    install = linux_path(args.prefix, install_windows) if install_windows else ""
    try:
        release = published_files(args.qvpublish, args.docroot)
    except (RuntimeError, OSError, ValueError) as error:
        release = []
        problems.append(str(error))
    digests = {rel.lower(): digest for rel, digest, _ in release if digest}
    deleted = {rel.lower() for rel, digest, _ in release if not digest}
    # The patch lists are kept in the install folder as served.
    for channel, base in CHANNELS:
        served = os.path.join(args.docroot, CHANNEL_ROOT, channel, "QVPatch.dat")
        if os.path.exists(served):
            digests[(base + "/qvpatch.dat" if base else "qvpatch.dat").lower()] = md5(served)
    section(f"files installed in {install_windows or '(unknown)'}")
    installed = 0
    matching = 0
    if install and os.path.isdir(install):
        print(f"  {'file':28} {'bytes':>7}  {'MD5':32}  same as the release")
        for dirpath, _, names in sorted(os.walk(install)):
            for name in sorted(names, key=str.lower):
                path = os.path.join(dirpath, name)
                relative = os.path.relpath(path, install).replace(os.sep, "/")
                digest = md5(path)
                expected = digests.get(relative.lower())
                if relative.lower() in deleted:
                    same = "NO (the release deletes it)"
                elif expected is None:
                    same = "- (written by the install)"
                else:
                    same = "yes" if expected == digest else "NO"
                print(f"  {relative:28} {os.path.getsize(path):7}  {digest}  {same}")
    else:
        problems.append("no install folder")
    for relative, digest, channel in release:
        path = find_case_insensitive(install, relative) if install else None
        if digest is None:
            print(f"  {relative:28} {'':7}  delete record of the {channel} list: "
                  f"{'still there' if path else 'absent, as asked'}")
            if path:
                problems.append(f"{relative} is still there: the release deletes it")
            continue
        if not path:
            problems.append(f"{relative} was not installed")
        elif md5(path) != digest:
            problems.append(f"{relative} differs from the release")
            installed += 1
        else:
            installed += 1
            matching += 1
    published = sum(1 for _, digest, _ in release if digest)
    print(f"  {matching} of {published} published files installed with the published digest")

    # Registration with Windows.
    def values(kind, title):
        section(title)
        rows = of(kind)
        for name, kind_name, value in rows:
            print(f"  {name:20} {kind_name:14} {value}")
        if not rows:
            print("  (none)")
        return rows

    if not values("product", "registry HKLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree"):
        problems.append("no values under the product key")
    section("shortcuts")
    links = of("link")
    for place, name, target, arguments in links:
        where = "common desktop" if place == "desktop" else "common programs\\Korvane Free"
        print(f"  {where:30} {name:24} -> {target}{' ' + arguments if arguments else ''}")
    if not links:
        print("  (none)")
        problems.append("no shortcuts")
    if not values("uninstall", "uninstall entry HKLM\\...\\CurrentVersion\\Uninstall\\KorvaneFree"):
        problems.append("no uninstall entry")
    if not values("run", "Run values HKLM\\...\\CurrentVersion\\Run"):
        problems.append("no Run value")
    section("service")
    services = of("service")
    for name, state, start, binary in services:
        print(f"  {name}: {state}, {start} start, {binary}")
        if state == "absent":
            problems.append(f"service {name} is not registered")
        elif state == "stopped" and start == "automatic":
            print("  (registered for automatic start and not started: it starts with Windows,"
                  " or with the setup program's next run)")
    for clsid, server in of("shellext"):
        print(f"  shell extension {clsid} -> {server}")

    for error in of("error"):
        problems.append(error[0])

    section("news and event links")
    for name in ("QVNewsLink.dat", "QVEventLink.dat"):
        path = find_case_insensitive(install, name) if install else None
        if not path:
            print(f"  {name}: missing")
            problems.append(f"{name} is missing")
            continue
        try:
            rows = dump_table(args.qvpublish, path)
            print(f"  {name}: " + "; ".join(" | ".join(str(c) for c in row) for row in rows))
        except RuntimeError as error:
            problems.append(str(error))

    # The signed release: each manifest's signature file as served, and the
    # serial the installer recorded once it had verified it.
    serials = {name: value for name, _, value in of("product")}
    if args.signed:
        section("signed release: signature files served, serials the installer accepted")
    for channel, manifest, value_name in (("config", "QVConfig.dat", "ReleaseSerialConfig"),
                                          ("program", "Program/QVPatch.dat", "ReleaseSerialProgram"),
                                          ("database", "VP/QVPatch.dat", "ReleaseSerialDatabase")):
        if not args.signed:
            break
        sig = os.path.join(args.docroot, CHANNEL_ROOT, manifest + ".sig")
        try:
            lines = open(sig, "rb").read().decode("ascii").split("\n")
            key, serial = lines[1].split(" ", 1)[1], lines[3].split(" ", 1)[1]
        except (OSError, UnicodeDecodeError, IndexError):
            print(f"  {channel:9} no readable {manifest}.sig")
            problems.append(f"{manifest}.sig is not served")
            continue
        accepted = serials.get(value_name, "(not recorded)")
        print(f"  {channel:9} key {key} serial {serial}: {value_name} = {accepted}")
        if accepted != serial:
            problems.append(f"the installer did not record serial {serial} of the {channel} manifest")

    # The server's side.
    section(f"nginx access log ({args.server}): method, path, status, bytes")
    requests = []
    try:
        with open(args.access_log, "rb") as f:
            f.seek(args.log_from)
            lines = f.read().decode("utf-8", "replace").splitlines()
    except OSError:
        lines = []
    for line in lines:
        match = ACCESS_LINE.match(line)
        if not match:
            print(f"  (unread) {line}")
            continue
        method, path, status, size = match.group(3), match.group(4), match.group(5), match.group(6)
        requests.append((method, path, int(status)))
        print(f"  {method:5} {path:80} {status} {size:>6}")
    if not requests:
        problems.append("nginx served no request")
    signatures = [r for r in requests if r[1].endswith(".sig")]
    if args.signed and len(signatures) != 3:
        problems.append(f"{len(signatures)} signature files requested, not 3")
    errors = [r for r in requests if r[2] >= 400]
    if errors:
        problems.append(f"{len(errors)} request(s) answered with an error status")

    print()
    if problems:
        print("problems:")
        for problem in problems:
            print(f"  - {problem}")
        print(f"demo: FAILED ({problems[0]})")
        return 1
    print(f"demo: passed (result page: {result}, {installed} files installed, digests match, "
          f"{len(requests)} requests served by nginx, install {install_ms / 1000:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
