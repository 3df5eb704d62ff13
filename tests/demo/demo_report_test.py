#!/usr/bin/env python3
"""The demo's report (tests/demo/demo_report.py) passes an install only when
the wizard reached its success page and every published file is in the
install folder with the published digest, and names what is wrong otherwise.
The release is made with the real qvpublish; the install folder, the
driver's facts and nginx's log are laid out as a demo run leaves them.

    demo_report_test.py QVPUBLISH
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPORT = os.path.join(HERE, "demo_report.py")
QVPUBLISH = None  # from the command line

CHANNEL_ROOT = "/TKAS/AccessFile/Update5/Personal/KorvaneFree"
INSTALL = "C:\\Program Files (x86)\\Dravik\\KorvaneV5\\KorvaneFree"
# name -> (channel, target folder, content)
FILES = {
    "QVUpdate.exe": ("Program", "", b"MZ updater " * 50),
    "QVCtx.dll": ("Program", "%BASE%", b"MZ shell extension " * 40),
    "QVSkinEng.dat": ("Program", "", b"english texts " * 20),
    "QVEngine.dll": ("VP", "%VP%", b"engine " * 30),
    "QVPattern.ver": ("VP", "", b"2025061202\n"),
}
LOG = (
    '2025-06-10T09:00:00+00:00 127.0.0.1 "GET {root}/QVConfig.dat HTTP/1.1" 200 272 "v5.0.0.1"\n'
    '2025-06-10T09:00:00+00:00 127.0.0.1 "POST {root}/News/QVNews.txt?DUMMY=0000 HTTP/1.1" 200 180 "v5.0.0.1"\n'
    '2025-06-10T09:00:01+00:00 127.0.0.1 "GET {root}/Program/QVPatch.dat HTTP/1.1" 200 900 "v5.0.0.1"\n'
).format(root=CHANNEL_ROOT)
FACTS = [
    ["page", "welcome", "/demo/screens/1-welcome.png"],
    ["page", "licence", "/demo/screens/2-licence.png"],
    ["page", "install", "/demo/screens/3-install.png"],
    ["bar", "48", "52"],
    ["status", "QVUpdate.exe 파일을 다운로드 중입니다."],
    ["page", "success", "/demo/screens/4-success.png"],
    ["result", "success", "8400"],
    ["updater", "yes"],
    ["folder", INSTALL],
    ["product", "SuccessUpdate", "REG_DWORD", "1"],
    ["product", "DBUpdateDate", "REG_SZ", "2025061202"],
    ["uninstall", "DisplayName", "REG_SZ", "Korvane Free"],
    ["run", "KorvaneFree", "REG_SZ", '"' + INSTALL + '\\QVUpdate.exe" /run'],
    ["link", "desktop", "Korvane Free.lnk", INSTALL + "\\QVUpdate.exe", ""],
    ["link", "programs", "Korvane Free 제거.lnk", INSTALL + "\\QVUpdate.exe", "/uninstall"],
    ["service", "QVService", "stopped", "automatic", '"' + INSTALL + '\\QVServiceNt.exe"'],
    ["end"],
]


def qvpublish(*args, stdin=None):
    subprocess.run([QVPUBLISH, *args], input=stdin, check=True, capture_output=True, text=True)


class DemoReport(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-report-")
        self.docroot = os.path.join(self.work, "docroot")
        self.prefix = os.path.join(self.work, "prefix")
        # Wine's C: drive, as the report reaches it.
        self.install = os.path.join(self.prefix, "dosdevices", "c:", "Program Files (x86)", "Dravik", "KorvaneV5",
                                    "KorvaneFree")
        os.makedirs(os.path.join(self.install, "VP"))
        self.publish()
        for name, (channel, target, content) in FILES.items():
            folder = "VP" if channel == "VP" or target == "%VP%" else ""
            self.write(os.path.join(folder, name), content)
        for channel, folder in (("Program", ""), ("VP", "VP")):
            shutil.copy(self.served(channel + "/QVPatch.dat"), os.path.join(self.install, folder, "QVPatch.dat"))
        for name, link in (("QVNewsLink.dat", "notice.html"), ("QVEventLink.dat", "event.html")):
            row = json.dumps([{"kind": 3, "text": "http://127.0.0.1:18780" + CHANNEL_ROOT + "/News/" + link}])
            qvpublish("table", "make", "--mode", "2", os.path.join(self.install, name), stdin=row + "\n")
        self.log = os.path.join(self.work, "access.log")
        with open(self.log, "w") as f:
            f.write(LOG)
        self.facts = [list(fact) for fact in FACTS]

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def publish(self):
        for channel in ("Program", "VP"):
            source = os.path.join(self.work, "source-" + channel)
            os.makedirs(source)
            files = []
            for name, (file_channel, target, content) in FILES.items():
                if file_channel != channel:
                    continue
                with open(os.path.join(source, name), "wb") as f:
                    f.write(content)
                files.append({"source": name, "targetFolder": target, "releaseStamp": "2025061201",
                              "package": "plain", "remoteFolder": "skins" if name.endswith(".dat") else ""})
            manifest = {"channel": "KorvaneFree " + channel, "basePath": CHANNEL_ROOT + "/" + channel, "files": files}
            if channel == "Program":
                manifest["deletes"] = [{"targetFolder": "", "fileName": "QVLiveUpdate.exe"}]
            with open(os.path.join(source, "channel.json"), "w") as f:
                json.dump(manifest, f)
            qvpublish("channel", os.path.join(source, "channel.json"), self.served(channel))

    def served(self, relative):
        return os.path.join(self.docroot, CHANNEL_ROOT.lstrip("/"), relative)

    def write(self, relative, content):
        with open(os.path.join(self.install, relative), "wb") as f:
            f.write(content)

    def report(self):
        facts = os.path.join(self.work, "driver-report.txt")
        with open(facts, "w", encoding="utf-8") as f:
            f.write("".join("\t".join(fact) + "\n" for fact in self.facts))
        result = subprocess.run([sys.executable, REPORT, "--facts", facts, "--prefix", self.prefix,
                                 "--qvpublish", QVPUBLISH, "--docroot", self.docroot, "--access-log", self.log,
                                 "--server", "127.0.0.1:18780"], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.stderr, "")
        return result.returncode, result.stdout, result.stdout.splitlines()[-1]

    def line_of(self, output, name):
        return next(line for line in output.splitlines() if line.strip().startswith(name))

    def test_a_complete_install_passes_and_lists_every_file_against_the_release(self):
        code, output, summary = self.report()
        self.assertEqual(code, 0, output)
        self.assertEqual(summary, "demo: passed (result page: success, 5 files installed, digests match, "
                                  "3 requests served by nginx, install 8.4 s)")
        for name in ("QVUpdate.exe", "QVCtx.dll", "QVSkinEng.dat", "VP/QVEngine.dll", "VP/QVPattern.ver",
                     "QVPatch.dat", "VP/QVPatch.dat"):
            self.assertTrue(self.line_of(output, name).endswith("yes"), name)
        self.assertIn("absent, as asked", self.line_of(output, "QVLiveUpdate.exe"))
        self.assertIn("5 of 5 published files installed with the published digest", output)
        self.assertIn("QVNewsLink.dat: http://127.0.0.1:18780" + CHANNEL_ROOT + "/News/notice.html", output)
        self.assertIn("QVService: stopped, automatic start", output)
        self.assertIn("Korvane Free 제거.lnk", output)
        self.assertIn("POST  " + CHANNEL_ROOT + "/News/QVNews.txt?DUMMY=0000", output)

    def test_a_changed_file_fails_and_is_named(self):
        self.write("VP/QVEngine.dll", b"engine, damaged")
        code, output, summary = self.report()
        self.assertEqual(code, 1)
        self.assertTrue(self.line_of(output, "VP/QVEngine.dll").endswith("NO"))
        self.assertEqual(summary, "demo: FAILED (VP/QVEngine.dll differs from the release)")

    def test_a_missing_file_fails(self):
        os.remove(os.path.join(self.install, "QVCtx.dll"))
        code, _, summary = self.report()
        self.assertEqual((code, summary), (1, "demo: FAILED (QVCtx.dll was not installed)"))

    def test_a_file_the_release_deletes_must_be_gone(self):
        self.write("QVLiveUpdate.exe", b"an old updater")
        code, output, summary = self.report()
        self.assertEqual(code, 1)
        listed = [line for line in output.splitlines() if line.strip().startswith("QVLiveUpdate.exe")]
        self.assertTrue(listed[0].endswith("NO (the release deletes it)"), listed)
        self.assertIn("delete record of the Program list: still there", listed[1])
        self.assertEqual(summary, "demo: FAILED (QVLiveUpdate.exe is still there: the release deletes it)")

    def test_the_failure_page_fails_the_demo(self):
        self.facts[self.facts.index(["result", "success", "8400"])] = ["result", "failure", "1200"]
        code, output, summary = self.report()
        self.assertEqual(code, 1)
        self.assertIn("result page     failure (1.2 s after Next on the licence page)", output)
        self.assertEqual(summary, "demo: FAILED (result page: failure)")

    def test_a_driver_that_did_not_finish_fails(self):
        self.facts = self.facts[:5]
        code, _, summary = self.report()
        self.assertEqual(code, 1)
        self.assertTrue(summary.startswith("demo: FAILED (result page: none"), summary)
        self.assertIn("the driver did not finish its report", _)

    def test_a_step_the_driver_could_not_do_fails(self):
        self.facts.insert(-1, ["error", "no screenshot of the install page with its bar mid-way"])
        code, _, summary = self.report()
        self.assertEqual((code, summary),
                         (1, "demo: FAILED (no screenshot of the install page with its bar mid-way)"))

    def test_an_unregistered_service_or_missing_shortcuts_fail(self):
        self.facts = [f for f in self.facts if f[0] != "link"]
        self.facts[[f[0] for f in self.facts].index("service")] = ["service", "QVService", "absent", "", ""]
        code, _, summary = self.report()
        self.assertEqual((code, summary), (1, "demo: FAILED (no shortcuts)"))

    def test_an_error_status_in_the_access_log_fails(self):
        with open(self.log, "a") as f:
            f.write('2025-06-10T09:00:02+00:00 127.0.0.1 "GET %s/VP/QVPatch.dat HTTP/1.1" 404 146 "-"\n'
                    % CHANNEL_ROOT)
        code, output, summary = self.report()
        self.assertEqual(code, 1)
        self.assertIn("GET   " + CHANNEL_ROOT + "/VP/QVPatch.dat", output)
        self.assertEqual(summary, "demo: FAILED (1 request(s) answered with an error status)")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    QVPUBLISH = sys.argv.pop(1)
    unittest.main(verbosity=2)
