#!/usr/bin/env python3
"""The reference server configurations at work: the sample release served on
loopback by nginx, Apache httpd and lighttpd with their configurations from
server/, checked and installed by qvcheck under Wine.

  release_servers_test.py --qvcheck EXE --runner WINE-RUN --qvpublish TOOL
                          --product DIR --make-release SCRIPT --servers DIR --work DIR

For each server: the news file answers a POST, a missing file 404, and
"qvcheck check" and "qvcheck install" of the program channel succeed, name no
proxy and warn of nothing. Then Apache as it answers by
default (serve-release.sh --stock): "qvcheck check" still succeeds and warns
of the missing Cache-Control once per file the access log shows fetched.
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from release_e2e_test import CONFIG_PATH, PROGRAM_PATH, check, failures, result_of, run_qvcheck, warnings, winpath  # noqa: E402

# (name, starter below the servers folder, extra starter arguments, reference behaviour)
SERVERS = [
    ("nginx", "nginx/serve-release.sh", [], True),
    ("apache", "apache/serve-release.sh", [], True),
    ("lighttpd", "lighttpd/serve-release.sh", [], True),
    ("apache-stock", "apache/serve-release.sh", ["--stock"], False),
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return str(s.getsockname()[1])


def logged_gets(access_log):
    """The paths of the GET requests answered 2xx in a qvrelease-format access log."""
    with open(access_log) as f:
        return [m.group(1) for m in re.finditer(r'"GET (\S+) HTTP/[0-9.]+" 2[0-9][0-9] ', f.read())]


def answer(port, path, data=None):
    """(status, body) of a GET, or of a POST with data, never through a proxy."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open("http://127.0.0.1:%s%s" % (port, path), data=data, timeout=10) as reply:
            return reply.status, reply.read()
    except urllib.error.HTTPError as error:
        return error.code, b""


def busy_answer(port, connections, path):
    """The status of a GET while `connections` other clients hold a connection open."""
    held = []
    try:
        for _ in range(connections):
            held.append(socket.create_connection(("127.0.0.1", int(port)), timeout=10))
        return answer(port, path)[0]
    finally:
        for connection in held:
            connection.close()


def try_server(args, name, starter, extra, reference, root):
    port = free_port()
    state = os.path.join(args.work, name)
    started = subprocess.run([starter, "start", root, port, state] + extra, capture_output=True, text=True)
    check(started.returncode == 0, "%s starts (%s)" % (name, started.stderr.strip()))
    if started.returncode != 0:
        return
    try:
        # The news answer to the installer's POST, and a plain 404.
        news = open(os.path.join(root + CONFIG_PATH, "News", "QVNews.txt"), "rb").read()
        check(answer(port, CONFIG_PATH + "/News/QVNews.txt?DUMMY=0000", b"") == (200, news),
              "%s: the news file answers a POST" % name)
        check(answer(port, PROGRAM_PATH + "/missing.cab")[0] == 404, "%s: a missing file answers 404" % name)
        if name == "nginx":
            # Many installs at once: a worker's connections must not run out.
            check(busy_answer(port, 300, PROGRAM_PATH + "/QVPatch.dat") == 200,
                  "nginx answers with 300 other connections open")
            with open(os.path.join(state, "logs", "error.log")) as f:
                check("worker_connections are not enough" not in f.read(), "nginx has connections enough")
        base = os.path.join(args.work, name + "-base")
        os.makedirs(base)
        code, out, _err = run_qvcheck(args, ["check", "127.0.0.1", PROGRAM_PATH, port, winpath(base)])
        print("--- qvcheck check through %s\n%s---" % (name, out))
        result = result_of(out)
        check(code == 0 and result is not None and result & 0x10, "%s: check finds updates (%s)" % (name, result))
        check(out.startswith("proxy: none (direct)\n"), "%s: check names the proxy: none" % name)
        if reference:
            check(not warnings(out), "%s: check warns of nothing (%s)" % (name, warnings(out)))
            code, out, _err = run_qvcheck(args, ["install", "127.0.0.1", PROGRAM_PATH, port, winpath(base)])
            check(code == 0 and result_of(out) == 0, "%s: install answers 0 (%s)" % (name, result_of(out)))
            check(not warnings(out), "%s: install warns of nothing (%s)" % (name, warnings(out)))
            check(os.path.isfile(os.path.join(base, "QVPatch.dat")), "%s: install completes" % name)
        else:
            missing = sorted(line.split(": ")[1] for line in warnings(out) if '"Cache-Control: no-cache"' in line)
            fetched = sorted(logged_gets(os.path.join(state, "logs", "access.log")))
            check(fetched and missing == fetched and len(warnings(out)) == len(fetched),
                  "%s: one Cache-Control warning per file fetched (%s; fetched %s)" % (name, missing, fetched))
    finally:
        subprocess.run([starter, "stop", state])


def main():
    p = argparse.ArgumentParser()
    for name in ("qvcheck", "runner", "qvpublish", "product", "make-release", "servers", "work"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    root = os.path.join(args.work, "release")
    os.makedirs(root)
    # The release's own server entries are not used: check and install are
    # given the server.
    subprocess.run(["sh", args.make_release, args.qvpublish, args.product, root, "127.0.0.1", "80"], check=True,
                   stdout=subprocess.DEVNULL)
    for name, starter, extra, reference in SERVERS:
        try_server(args, name, os.path.join(args.servers, starter), extra, reference, root)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
