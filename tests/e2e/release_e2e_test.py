#!/usr/bin/env python3
"""End to end: the sample release made by qvpublish, served on loopback, read
and installed by the engine through qvcheck under Wine.

  release_e2e_test.py --qvcheck EXE --runner WINE-RUN --qvpublish TOOL
                      --product DIR --make-release SCRIPT --state SERVER-STATE --work DIR

Checks, in order:
  1. qvcheck config: the configuration fields equal the cells qvpublish dumps.
  2. qvcheck check on the program channel: updates available, one todo line per
     file record, and the delete record carried out; it names the proxy (none)
     and, the server sending no Cache-Control, warns once per file it fetched.
  3. qvcheck install of the program channel: every file placed with the
     content of its source, "QVPatch.dat" copied; a second install answers 8;
     with "Cache-Control: no-cache" on every release file, no warning.
  4. Damage on the engine-database channel, each time into a fresh folder,
     with the debugger output captured (WINEDEBUG=+debugstr):
       a package whose bytes differ from its digest -> "Failed Md5 : <name>", 0x4
       a file altered after extraction (package intact) -> "Warring Infection",
           and the file is not installed
       a package missing on the server -> "Failed Download : <name>", 0x4
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import urllib.request

CONFIG_PATH = "/TKAS/AccessFile/Update5/Personal/KorvaneFree"
PROGRAM_PATH = CONFIG_PATH + "/Program"
VP_PATH = CONFIG_PATH + "/VP"
# The sample release key (tests and demo only); the sample release is signed with it.
SAMPLE_KEY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server",
                          "sample-release-key.SAMPLE-ONLY")
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message)
    if not condition:
        failures.append(message)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_qvcheck(args, words, debug=False):
    env = dict(os.environ)
    if debug:
        env["QV_DEBUGSTR"] = "1"
    result = subprocess.run([args.runner, args.qvcheck] + words, capture_output=True, env=env, timeout=240)
    out = result.stdout.decode("cp949", "replace").replace("\r\n", "\n")
    err = result.stderr.decode("utf-8", "replace")
    return result.returncode, out, err


def debug_text(stderr):
    """Concatenates what the program wrote with OutputDebugStringA."""
    text = ""
    for m in re.finditer(r'OutputDebugStringA "((?:[^"\\]|\\.)*)"', stderr):
        text += m.group(1).encode("latin-1", "replace").decode("unicode_escape")
    return text


def control(port, name, payload=None):
    """A control request to the loopback test server (never through a proxy)."""
    data = None if payload is None else json.dumps(payload).encode("utf-8")
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open("http://127.0.0.1:%s/_qv/%s" % (port, name), data=data, timeout=10) as answer:
        return answer.read().decode("utf-8")


def fetched_paths(port):
    """The paths of the GET requests the server has recorded."""
    log = [json.loads(line) for line in control(port, "log").splitlines() if line.strip()]
    return [entry["target"] for entry in log if entry["method"] == "GET"]


def warnings(out):
    return [line for line in out.splitlines() if line.startswith("warning: ")]


def dump(args, path):
    out = subprocess.run([args.qvpublish, "table", "dump", path], capture_output=True, check=True).stdout
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]


def result_of(out):
    m = re.search(r"^result (0x[0-9A-F]+)$", out, re.M)
    return int(m.group(1), 16) if m else None


def install_folder(prefix):
    # A 32-bit program in a 64-bit prefix installs under "Program Files (x86)".
    names = ("Program Files (x86)", "Program Files")
    if os.environ.get("QV_TARGET_ARCH", "i686") != "i686":
        names = ("Program Files",)
    for pf in names:
        path = os.path.join(prefix, "drive_c", pf)
        if os.path.isdir(path):
            return os.path.join(path, "Dravik", "KorvaneV5", "KorvaneFree")
    return None


def main():
    p = argparse.ArgumentParser()
    for name in ("qvcheck", "runner", "qvpublish", "product", "make-release", "state", "work"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args()

    with open(args.state) as f:
        port, root = f.read().split("\n")[:2]
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    subprocess.run(["sh", args.make_release, args.qvpublish, args.product, root, "127.0.0.1", port], check=True,
                   stdout=subprocess.DEVNULL)
    served = root + CONFIG_PATH

    # 1. The configuration step.
    base = os.path.join(args.work, "config")
    code, out, err = run_qvcheck(args, ["config", "127.0.0.1", CONFIG_PATH, port, winpath(base)])
    check(code == 0, "qvcheck config exits 0 (%d)" % code)
    fields = [line.split("=", 1)[1] for line in out.splitlines() if "=" in line]
    cells = dump(args, os.path.join(served, "QVConfig.dat"))[0]
    check(len(fields) == 81 and len(cells) == 81, "81 fields and 81 cells (%d, %d)" % (len(fields), len(cells)))
    mismatched = [i + 1 for i, (field, cell) in enumerate(zip(fields, cells))
                  if field != (cell["text"] if "text" in cell else str(cell["number"]))]
    check(not mismatched, "every configuration field equals its cell (differ: %s)" % mismatched)
    check(os.path.isfile(os.path.join(base, "QVConfig.dat")), "QVConfig.dat copied into the base folder")
    key_id = open(SAMPLE_KEY + ".pub").read().strip()[:16]
    check("signature: key %s serial 1\n" % key_id in out, "qvcheck names the key and serial it verified")

    # A signature made with stock OpenSSL verifies; one made for another
    # channel does not, and qvcheck says which check failed.
    config_sig = os.path.join(served, "QVConfig.dat.sig")
    signed = open(config_sig, "rb").read()
    header = ("QVSIG 1\nkey %s\nchannel config\nserial 7\n" % key_id).encode("ascii")
    tbs = os.path.join(args.work, "config.tbs")
    with open(tbs, "wb") as f:
        f.write(header + open(os.path.join(served, "QVConfig.dat"), "rb").read())
    signature = subprocess.run(["openssl", "pkeyutl", "-sign", "-rawin", "-inkey", SAMPLE_KEY + ".pem", "-in", tbs],
                               capture_output=True, check=True).stdout
    with open(config_sig, "wb") as f:
        f.write(header + b"signature " + signature.hex().encode("ascii") + b"\n")
    code, out, err = run_qvcheck(args, ["config", "127.0.0.1", CONFIG_PATH, port, winpath(os.path.join(args.work, "c7"))])
    check(code == 0 and "signature: key %s serial 7\n" % key_id in out, "an openssl pkeyutl signature verifies")
    shutil.copyfile(os.path.join(served, "Program", "QVPatch.dat.sig"), config_sig)
    code, out, err = run_qvcheck(args, ["config", "127.0.0.1", CONFIG_PATH, port, winpath(os.path.join(args.work, "cx"))])
    check(code != 0 and "signature: signed for another channel\n" in out, "a program list's signature is refused")
    with open(config_sig, "wb") as f:
        f.write(signed)

    # 2. A check of the program channel.
    base = os.path.join(args.work, "program")
    os.makedirs(base)
    with open(os.path.join(base, "QVLiveUpdate.exe"), "w") as f:
        f.write("obsolete")
    control(port, "reset", {})
    code, out, err = run_qvcheck(args, ["check", "127.0.0.1", PROGRAM_PATH, port, winpath(base)])
    check(out.startswith("proxy: none (direct)\n"), "check first names the proxy: none")
    # The test server sends no Cache-Control: each file fetched is warned about, once.
    missing = sorted(line.split(": ")[1] for line in warnings(out) if '"Cache-Control: no-cache"' in line)
    fetched = sorted(fetched_paths(port))
    check(fetched and missing == fetched and len(warnings(out)) == len(fetched),
          "one Cache-Control warning per file fetched (%s; fetched %s)" % (warnings(out), fetched))
    result = result_of(out)
    check(result is not None and result & 0x10 and result & 0x20, "check finds updates with a service restart (%s)" % result)
    todo = [line.split()[1] for line in out.splitlines() if line.startswith("todo ")]
    records = [row for row in dump(args, os.path.join(served, "Program", "QVPatch.dat"))[1:]
               if row[10]["number"] == 0]
    check(sorted(todo) == sorted(r[3]["text"] for r in records), "one todo line per file record (%s)" % todo)
    check(not os.path.exists(os.path.join(base, "QVLiveUpdate.exe")), "the delete record is carried out by the check")

    # 3. The install of the program channel, every release file sent as the
    # reference servers send it.
    no_cache = [{"path": "/" + os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"),
                 "headers": [["Cache-Control", "no-cache"]]}
                for folder, _dirs, names in os.walk(served) for name in names]
    control(port, "behave", no_cache)
    code, out, err = run_qvcheck(args, ["install", "127.0.0.1", PROGRAM_PATH, port, winpath(base)])
    check(result_of(out) == 0, "install answers 0 (%s)" % result_of(out))
    check(out.startswith("proxy: none (direct)\n") and not warnings(out),
          "with Cache-Control: no-cache the install warns of nothing (%s)" % warnings(out))
    progress = [line for line in out.splitlines() if line.startswith("progress ")]
    check(progress and progress[-1].split()[-2:] == ["100", "100"], "the last progress report is 100/100")
    for name in ("QVUpdate.exe", "QVServiceNt.exe", "QVService.exe", "QVCtx.dll"):
        with open(os.path.join(args.product, name), "rb") as f:
            want = f.read()
        placed = os.path.join(base, name)
        check(os.path.isfile(placed) and open(placed, "rb").read() == want, "%s placed with its content" % name)
    for name in ("QVSkinKor.dat", "QVSkinEng.dat", "KorvaneFree.ico", "QVUninstall.ico", "QVPatch.dat"):
        check(os.path.isfile(os.path.join(base, name)), "%s placed" % name)
    code, out, err = run_qvcheck(args, ["install", "127.0.0.1", PROGRAM_PATH, port, winpath(base)])
    check(result_of(out) == 8, "a second install answers 8 (%s)" % result_of(out))
    control(port, "reset", {})

    # 4. Damage on the engine-database channel ("%VP%": the prefix's install folder).
    vp = os.path.join(install_folder(os.environ["QV_WINEPREFIX"]), "VP")
    vp_served = os.path.join(served, "VP")
    pristine = os.path.join(args.work, "vp-pristine")
    shutil.copytree(vp_served, pristine)

    def fresh(name):
        shutil.rmtree(vp, ignore_errors=True)
        shutil.rmtree(vp_served)
        shutil.copytree(pristine, vp_served)
        folder = os.path.join(args.work, name)
        os.makedirs(folder)
        return folder

    base = fresh("vp-md5")
    # Damaged in place (same length: a longer package fails as a download).
    with open(os.path.join(vp_served, "QVPattern.ver"), "r+b") as f:
        f.seek(-1, os.SEEK_END)
        last = f.read(1)
        f.seek(-1, os.SEEK_END)
        f.write(bytes([last[0] ^ 0xFF]))
    code, out, err = run_qvcheck(args, ["install", "--channel", "database", "127.0.0.1", VP_PATH, port, winpath(base)], debug=True)
    check(result_of(out) == 4, "damaged package: install answers 4 (%s)" % result_of(out))
    check("Failed Md5 : QVPattern.ver\n" in debug_text(err), "debugger shows \"Failed Md5 : QVPattern.ver\"")
    check(not os.path.exists(os.path.join(base, "QVPatch.dat")), "damaged package: QVPatch.dat not copied")

    base = fresh("vp-infection")
    rows = dump(args, os.path.join(vp_served, "QVPatch.dat"))
    for row in rows[1:]:
        if row[3]["text"] == "QVEngine.dll":
            row[1]["text"] = "0" * 32  # the extracted file no longer matches; the cabinet does
    lines = "\n".join(json.dumps(row) for row in rows) + "\n"
    subprocess.run([args.qvpublish, "table", "make", "--mode", "2", os.path.join(vp_served, "QVPatch.dat.new")],
                   input=lines.encode("utf-8"), check=True)
    os.replace(os.path.join(vp_served, "QVPatch.dat.new"), os.path.join(vp_served, "QVPatch.dat"))
    # The vendor signs the list it publishes, wrong digest and all.
    subprocess.run([args.qvpublish, "sign", "--key", SAMPLE_KEY + ".pem", "--channel", "database", "--serial", "1",
                    os.path.join(vp_served, "QVPatch.dat")], check=True, stdout=subprocess.DEVNULL)
    code, out, err = run_qvcheck(args, ["install", "--channel", "database", "127.0.0.1", VP_PATH, port, winpath(base)], debug=True)
    check(result_of(out) == 4, "altered file: install answers 4 (%s)" % result_of(out))
    check("Warring Infection : QVEngine.dll\n" in debug_text(err), "debugger shows \"Warring Infection : QVEngine.dll\"")
    check(not os.path.exists(os.path.join(vp, "QVEngine.dll")), "altered file: not installed")
    check(not os.path.exists(os.path.join(base, "QVPatch.dat")), "altered file: QVPatch.dat not copied")

    base = fresh("vp-download")
    os.remove(os.path.join(vp_served, "patterns", "QVPattern.dat.cab"))
    code, out, err = run_qvcheck(args, ["install", "--channel", "database", "127.0.0.1", VP_PATH, port, winpath(base)], debug=True)
    check(result_of(out) == 4, "missing package: install answers 4 (%s)" % result_of(out))
    check("Failed Download : QVPattern.dat\n" in debug_text(err), "debugger shows \"Failed Download : QVPattern.dat\"")
    check(os.path.isfile(os.path.join(vp, "QVEngine.dll")), "missing package: the other files installed")

    shutil.rmtree(vp, ignore_errors=True)
    shutil.rmtree(vp_served)
    shutil.copytree(pristine, vp_served)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
