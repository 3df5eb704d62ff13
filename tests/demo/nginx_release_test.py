#!/usr/bin/env python3
"""nginx with the reference configuration (server/nginx/qvsetup-release.conf.in),
started by server/nginx/serve-release.sh, answers what the installer asks
the way the installer needs: files whole with their length and unchanged,
the news file to a POST, nothing written, nothing listed, every request in
an access log the demo's report reads."""
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
SERVE = os.path.join(SOURCE, "server", "nginx", "serve-release.sh")
sys.path.insert(0, HERE)
import demo_report  # noqa: E402  (the report's access-log format)

ROOT = "/TKAS/AccessFile/Update5/Personal/KorvaneFree"
NEWS = (b"NEWS|http://127.0.0.1/TKAS/AccessFile/Update5/Personal/KorvaneFree/News/notice.html\n"
        b"EVENT|http://127.0.0.1/TKAS/AccessFile/Update5/Personal/KorvaneFree/News/event.html\n")
# Compressible and larger than one network packet: gzip or chunking would show.
BIG = b"".join(b"row %06d of a patch list that compresses well\n" % i for i in range(4000))
INSTALLER_HEADERS = {"MAC": "00-11-22-33-44-55", "VPVER": "2025061202", "VCVER": "5.0", "PROGVER": "v5.0.0.1",
                     "Content-Type": "application/x-www-form-urlencoded"}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def serve(*args):
    return subprocess.run([SERVE, *args], capture_output=True, text=True, timeout=60)


def make_tree(root):
    files = {
        ROOT + "/QVConfig.dat": os.urandom(272),
        ROOT + "/Program/QVPatch.dat": os.urandom(1489),
        ROOT + "/Program/big.dat": BIG,
        ROOT + "/News/QVNews.txt": NEWS,
    }
    for path, data in files.items():
        os.makedirs(os.path.dirname(root + path), exist_ok=True)
        with open(root + path, "wb") as f:
            f.write(data)
    return files


class ReleaseServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="qv-nginx-")
        cls.root = os.path.join(cls.work, "docroot")
        cls.dir = os.path.join(cls.work, "nginx")
        cls.files = make_tree(cls.root)
        site = os.path.join(cls.work, "site-check.conf")
        with open(site, "w") as f:
            f.write("location = /site-check {\n    return 204;\n}\n")
        cls.port = free_port()
        started = serve("start", cls.root, str(cls.port), cls.dir, "--site", site)
        if started.returncode != 0:
            shutil.rmtree(cls.work, ignore_errors=True)
            raise RuntimeError("serve-release.sh start failed: " + started.stderr)

    @classmethod
    def tearDownClass(cls):
        serve("stop", cls.dir)
        shutil.rmtree(cls.work, ignore_errors=True)

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            connection.close()

    def logged(self, method, path, count):
        """The access log's lines of `method path`, read as the demo's report
        reads them, once there are `count` of them (nginx writes a line when
        it has finished a request, which may be just after the client has its
        reply)."""
        found = []
        for _ in range(100):
            with open(os.path.join(self.dir, "logs", "access.log"), encoding="utf-8") as f:
                lines = f.read().splitlines()
            parsed = [demo_report.ACCESS_LINE.match(line) for line in lines]
            self.assertTrue(all(parsed), lines)
            found = [(m.group(3), m.group(4), int(m.group(5)), int(m.group(6))) for m in parsed
                     if (m.group(3), m.group(4)) == (method, path)]
            if len(found) >= count:
                break
            time.sleep(0.05)
        self.assertEqual(len(found), count, found)
        return found

    def test_a_file_comes_whole_with_its_length_never_compressed_or_chunked(self):
        status, headers, body = self.request("GET", ROOT + "/Program/big.dat",
                                             headers={"Accept-Encoding": "gzip, deflate"})
        self.assertEqual(status, 200)
        self.assertEqual(body, BIG)
        self.assertEqual(headers.get("content-length"), str(len(BIG)))
        self.assertNotIn("transfer-encoding", headers)
        self.assertNotIn("content-encoding", headers)
        self.assertEqual(headers.get("content-type"), "application/octet-stream")
        self.assertEqual(headers.get("cache-control"), "no-cache")

    def test_head_gives_the_length_without_a_body(self):
        status, headers, body = self.request("HEAD", ROOT + "/QVConfig.dat")
        self.assertEqual((status, body), (200, b""))
        self.assertEqual(headers.get("content-length"), "272")

    def test_the_news_file_answers_the_installers_post(self):
        for body in (None, b"", b"DUMMY=0000"):
            status, headers, answer = self.request("POST", ROOT + "/News/QVNews.txt?DUMMY=0000", body=body,
                                                   headers=INSTALLER_HEADERS)
            self.assertEqual(status, 200, body)
            self.assertEqual(answer, NEWS)
            self.assertEqual(headers.get("content-length"), str(len(NEWS)))
            self.assertNotIn("transfer-encoding", headers)
        # The log keeps the method the client used and the status it got.
        self.assertEqual(self.logged("POST", ROOT + "/News/QVNews.txt?DUMMY=0000", 3),
                         [("POST", ROOT + "/News/QVNews.txt?DUMMY=0000", 200, len(NEWS))] * 3)

    def test_the_news_file_answers_get_too(self):
        status, headers, answer = self.request("GET", ROOT + "/News/QVNews.txt?DUMMY=0000")
        self.assertEqual((status, answer), (200, NEWS))
        self.assertEqual(headers.get("content-type"), "text/plain")

    def test_the_tree_is_read_only(self):
        for method, path in (("PUT", "/Program/QVPatch.dat"), ("DELETE", "/Program/QVPatch.dat"),
                             ("PUT", "/Program/new.dat"), ("POST", "/QVConfig.dat"),
                             ("PUT", "/News/QVNews.txt"), ("DELETE", "/News/QVNews.txt")):
            status, _, _ = self.request(method, ROOT + path, body=b"replaced")
            self.assertIn(status, (403, 405), method + " " + path)
        for path, data in self.files.items():
            with open(self.root + path, "rb") as f:
                self.assertEqual(f.read(), data, path)
        self.assertFalse(os.path.exists(self.root + ROOT + "/Program/new.dat"))

    def test_folders_are_not_listed(self):
        for path in ("/", ROOT + "/", ROOT + "/Program/", ROOT + "/Program"):
            status, _, body = self.request("GET", path)
            self.assertEqual(status, 404, path)
            self.assertNotIn(b"QVPatch.dat", body)
            self.assertNotIn(b"nginx/", body)  # no version in error pages either

    def test_a_missing_file_is_404_and_logged(self):
        status, _, _ = self.request("GET", ROOT + "/Program/missing.cab")
        self.assertEqual(status, 404)
        self.assertEqual(self.logged("GET", ROOT + "/Program/missing.cab", 1)[0][2], 404)

    def test_site_additions_join_the_server(self):
        status, _, _ = self.request("GET", "/site-check")
        self.assertEqual(status, 204)

    def test_a_second_start_on_the_same_port_is_refused(self):
        other = os.path.join(self.work, "second")
        refused = serve("start", self.root, str(self.port), other)
        self.assertEqual(refused.returncode, 1)
        self.assertIn(f"port {self.port} is already in use", refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(other, "nginx.pid")))
        status, _, _ = self.request("HEAD", ROOT + "/QVConfig.dat")  # the first still serves
        self.assertEqual(status, 200)


class StartAndStop(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-nginx-")
        self.root = os.path.join(self.work, "docroot")
        make_tree(self.root)

    def tearDown(self):
        serve("stop", os.path.join(self.work, "nginx"))
        shutil.rmtree(self.work, ignore_errors=True)

    def test_a_port_someone_else_listens_on_is_named_with_its_holder(self):
        with socket.socket() as holder:
            holder.bind(("127.0.0.1", 0))
            holder.listen()
            port = holder.getsockname()[1]
            for command in (["check", str(port)], ["start", self.root, str(port), os.path.join(self.work, "nginx")]):
                result = serve(*command)
                self.assertEqual(result.returncode, 1, command)
                self.assertIn(f"serve-release: port {port} is already in use", result.stderr)
                self.assertIn("python", result.stderr)

    def test_a_missing_nginx_is_named(self):
        result = serve("check", str(free_port()), "--nginx", os.path.join(self.work, "no-nginx"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("nginx not found", result.stderr)
        result = subprocess.run([SERVE, "check", str(free_port())], capture_output=True, text=True,
                                env=dict(os.environ, PATH="/nowhere"), timeout=60)
        if not os.path.exists("/usr/sbin/nginx"):  # the fall-back place would find it
            self.assertEqual(result.returncode, 1)
            self.assertIn("nginx not found in PATH", result.stderr)

    def test_stop_ends_nginx_and_frees_the_port(self):
        port = free_port()
        folder = os.path.join(self.work, "nginx")
        self.assertEqual(serve("start", self.root, str(port), folder).returncode, 0)
        with open(os.path.join(folder, "nginx.pid")) as f:
            pid = int(f.read())
        self.assertEqual(serve("stop", folder).returncode, 0)
        state = subprocess.run(["ps", "-o", "stat=", "-p", str(pid)], capture_output=True, text=True).stdout
        self.assertTrue(state.strip() in ("",) or state.strip().startswith("Z"), state)
        with socket.socket() as probe:
            self.assertNotEqual(probe.connect_ex(("127.0.0.1", port)), 0)
        self.assertEqual(serve("check", str(port)).returncode, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
