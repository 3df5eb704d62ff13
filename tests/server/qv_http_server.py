#!/usr/bin/env python3
"""Loopback HTTP server for the tests: serves a document root, records every
request and misbehaves on demand. Python 3 standard library only.

Commands
  qv_http_server.py start --root DIR --state FILE [--port N]
      Starts a detached server on 127.0.0.1 and port N (default: a free
      port), waits until it answers, and returns. An old server named by FILE
      is stopped first.
  qv_http_server.py stop --state FILE
      Stops the server named by FILE and removes FILE.
  qv_http_server.py serve --root DIR [--port N] [--state FILE]
      Runs the server in the foreground (port 0 = a free port).

State file (written once the socket listens): three lines, the port, the
document root (absolute Linux path) and the server's process id. Test programs
find it through QV_BINARY_DIR (see QvHttpServer.cmake). Server errors go to
FILE.log.

Serving: GET and POST of /a/b?q answer the file ROOT/a/b (query ignored,
percent-escapes decoded, nothing outside ROOT) with status 200 and a
Content-Length, or 404. Every response closes the connection.

Control requests (not recorded):
  GET  /_qv/log      the record, one JSON object per line:
                     {"method", "target" (raw path with query), "headers"
                     (every header line as received, in order), "body_length"}
  GET  /_qv/log?format=text
                     the same as text: "REQUEST <method> <target>", then one
                     "H <header line>" per header, then "BODY <n>"
  POST /_qv/reset    empties the record and forgets every behaviour
  POST /_qv/behave   JSON object (or list of them) configuring one path:
      "path"        path without query the behaviour applies to (required)
      "status"      status code to answer (default 200)
      "reason"      reason phrase (default "Test")
      "body"        body text (sent as UTF-8), or
      "body_hex"    body bytes in hexadecimal (for NUL and other bytes);
                    without either, the file under the root is sent (or "")
      "length"      "auto" (default): true Content-Length;
                    "none": no Content-Length, the body ends at the close;
                    a number: announce this Content-Length, send the body
                    (or as much of it as fits) and close
      "headers"     list of [name, value] pairs added to the response
      "chunk"       bytes per write (default 65536)
      "delay_ms"    pause before every write after the first (slow chunks)
      "drip_head"   true: the status line and headers go out in the same
                    chunks and pauses as the body
      "silent"      true: read the request, answer nothing, hold the
                    connection (see "hold_ms")
      "stop_after"  send only this many body bytes, whatever the length
                    says, then hold the connection
      "hold_ms"     keep the connection open this long after the last byte
                    (or until the client closes it) before closing; default
                    0, or 60000 with "silent" or "stop_after"
  GET  /_qv/shutdown stops the server
"""

import argparse
import json
import os
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time
import http.client
import urllib.parse

CONTROL_PREFIX = "/_qv/"
MAX_HEADER_LINES = 200


class State:
    """Record and behaviours, shared by the handler threads."""

    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.lock = threading.Lock()
        self.log = []
        self.behaviours = {}

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def behaviour(self, path):
        with self.lock:
            return self.behaviours.get(path)


class Handler(socketserver.StreamRequestHandler):
    timeout = 30

    def handle(self):
        request_line = self.rfile.readline(65537)
        if not request_line:
            return
        parts = request_line.decode("latin-1").rstrip("\r\n").split()
        if len(parts) != 3:
            self.respond(400, b"bad request line\n")
            return
        method, target, _version = parts
        headers = []
        length = 0
        while len(headers) < MAX_HEADER_LINES:
            line = self.rfile.readline(65537).decode("latin-1").rstrip("\r\n")
            if not line:
                break
            headers.append(line)
            name, _, value = line.partition(":")
            if name.strip().lower() == "content-length":
                try:
                    length = max(0, int(value.strip()))
                except ValueError:
                    length = 0
        body = self.rfile.read(length) if length else b""
        path = urllib.parse.unquote(target.split("?", 1)[0])
        state = self.server.state
        if path.startswith(CONTROL_PREFIX):
            self.control(state, method, path, target, body)
            return
        state.record({"method": method, "target": target, "headers": headers,
                      "body_length": len(body)})
        self.serve(state, method, path)

    # -- control requests ------------------------------------------------
    def control(self, state, method, path, target, body):
        name = path[len(CONTROL_PREFIX):]
        if name == "log":
            with state.lock:
                log = list(state.log)
            if "format=text" in target:
                lines = []
                for entry in log:
                    lines.append("REQUEST %s %s" % (entry["method"], entry["target"]))
                    lines.extend("H " + h for h in entry["headers"])
                    lines.append("BODY %d" % entry["body_length"])
                text = "".join(line + "\n" for line in lines)
                self.respond(200, text.encode("latin-1"))
            else:
                text = "".join(json.dumps(entry) + "\n" for entry in log)
                self.respond(200, text.encode("utf-8"))
        elif name == "reset" and method == "POST":
            with state.lock:
                state.log.clear()
                state.behaviours.clear()
            self.respond(200, b"reset\n")
        elif name == "behave" and method == "POST":
            try:
                config = json.loads(body.decode("utf-8"))
                items = config if isinstance(config, list) else [config]
                for item in items:
                    check_behaviour(item)
            except (ValueError, TypeError, KeyError) as error:
                self.respond(400, ("bad behaviour: %s\n" % error).encode("utf-8"))
                return
            with state.lock:
                for item in items:
                    state.behaviours[item["path"]] = item
            self.respond(200, b"ok\n")
        elif name == "shutdown":
            self.respond(200, b"bye\n")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self.respond(404, b"unknown control request\n")

    # -- ordinary requests -------------------------------------------------
    def serve(self, state, method, path):
        behaviour = state.behaviour(path)
        body = None
        if behaviour and "body" in behaviour:
            body = behaviour["body"].encode("utf-8")
        elif behaviour and "body_hex" in behaviour:
            body = bytes.fromhex(behaviour["body_hex"])
        local = os.path.realpath(os.path.join(state.root, path.lstrip("/")))
        inside = local == state.root or local.startswith(state.root + os.sep)
        if body is None and not behaviour:
            if method not in ("GET", "POST") or not inside or not os.path.isfile(local):
                self.respond(404, b"not found\n")
                return
            self.respond_file(local)
            return
        if body is None:
            body = open(local, "rb").read() if inside and os.path.isfile(local) else b""
        self.respond(int(behaviour.get("status", 200)), body, behaviour)

    def respond_file(self, local):
        size = os.path.getsize(local)
        self.send_head(200, "OK", [("Content-Length", str(size))])
        with open(local, "rb") as f:
            while True:
                block = f.read(65536)
                if not block:
                    break
                self.wfile.write(block)

    def respond(self, status, body, behaviour=None):
        behaviour = behaviour or {}
        holding = behaviour.get("silent") or "stop_after" in behaviour
        hold = int(behaviour.get("hold_ms", 60000 if holding else 0)) / 1000.0
        if behaviour.get("silent"):
            self.hold(hold)
            return
        extra = [tuple(pair) for pair in behaviour.get("headers", [])]
        length = behaviour.get("length", "auto")
        if length == "auto":
            extra.append(("Content-Length", str(len(body))))
        elif length != "none":
            extra.append(("Content-Length", str(int(length))))
            body = body[:int(length)]
        if "stop_after" in behaviour:
            body = body[:int(behaviour["stop_after"])]
        chunk = max(1, int(behaviour.get("chunk", 65536)))
        delay = int(behaviour.get("delay_ms", 0)) / 1000.0
        head = self.head_bytes(status, behaviour.get("reason", "Test"), extra)
        if behaviour.get("drip_head"):
            self.write_paced(head + body, chunk, delay)
        else:
            self.wfile.write(head)
            self.write_paced(body, chunk, delay)
        if hold:
            self.hold(hold)

    def write_paced(self, data, chunk, delay):
        for at in range(0, len(data), chunk):
            if at and delay:
                time.sleep(delay)
            self.wfile.write(data[at:at + chunk])
            self.wfile.flush()

    def hold(self, seconds):
        """Keeps the connection open until the client closes it or seconds pass."""
        self.wfile.flush()
        deadline = time.time() + seconds
        try:
            while True:
                left = deadline - time.time()
                if left <= 0:
                    return
                self.connection.settimeout(left)
                if not self.connection.recv(4096):
                    return
        except (socket.timeout, OSError):
            return

    @staticmethod
    def head_bytes(status, reason, headers):
        lines = ["HTTP/1.1 %d %s" % (status, reason), "Connection: close",
                 "Content-Type: application/octet-stream"]
        lines.extend("%s: %s" % (name, value) for name, value in headers)
        return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")

    def send_head(self, status, reason, headers):
        self.wfile.write(self.head_bytes(status, reason, headers))


def check_behaviour(item):
    if not isinstance(item, dict) or not str(item["path"]).startswith("/"):
        raise ValueError("each behaviour needs a path beginning with /")
    if "body_hex" in item:
        bytes.fromhex(item["body_hex"])
    length = item.get("length", "auto")
    if length not in ("auto", "none"):
        int(length)
    for number in ("stop_after", "hold_ms"):
        if number in item:
            int(item[number])


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that hangs up mid-response is part of the tests, not news.
        error = sys.exc_info()[1]
        if not isinstance(error, (ConnectionError, socket.timeout)):
            super().handle_error(request, client_address)


# -- command line ---------------------------------------------------------

def read_state(path):
    try:
        with open(path) as f:
            port, root, pid = f.read().split("\n")[:3]
        return int(port), root, int(pid)
    except (OSError, ValueError):
        return None


def local_get(port, path):
    """GET on the loopback server, never through a proxy."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        connection.request("GET", path)
        return connection.getresponse().read()
    finally:
        connection.close()


def serve(args):
    os.makedirs(args.root, exist_ok=True)
    server = Server(("127.0.0.1", args.port), Handler)
    server.state = State(args.root)
    port = server.server_address[1]
    if args.state:
        temp = args.state + ".tmp"
        with open(temp, "w") as f:
            f.write("%d\n%s\n%d\n" % (port, server.state.root, os.getpid()))
        os.replace(temp, args.state)
    else:
        print("serving %s on 127.0.0.1:%d" % (server.state.root, port), flush=True)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    server.serve_forever()
    server.server_close()
    return 0


def stop(args):
    found = read_state(args.state)
    if found:
        port, _root, pid = found
        try:
            local_get(port, "/_qv/shutdown")
        except (OSError, http.client.HTTPException):
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
    for path in (args.state, args.state + ".tmp"):
        if os.path.exists(path):
            os.remove(path)
    return 0


def start(args):
    stop(args)
    os.makedirs(os.path.dirname(os.path.abspath(args.state)), exist_ok=True)
    log = open(args.state + ".log", "ab")
    # Detached from the caller's pipes and session so CTest does not wait on it.
    subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--root", args.root,
                      "--state", args.state, "--port", str(args.port)], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                     start_new_session=True, close_fds=True)
    deadline = time.time() + 15
    while time.time() < deadline:
        found = read_state(args.state)
        if found:
            try:
                local_get(found[0], "/_qv/log")
                print("test server on 127.0.0.1:%d serving %s" % (found[0], found[1]))
                return 0
            except (OSError, http.client.HTTPException):
                pass
        time.sleep(0.05)
    print("test server did not start; see %s.log" % args.state, file=sys.stderr)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--root")
    parser.add_argument("--state")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    if args.command != "stop" and not args.root:
        parser.error("--root is required")
    if args.command != "serve" and not args.state:
        parser.error("--state is required")
    return {"start": start, "stop": stop, "serve": serve}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
