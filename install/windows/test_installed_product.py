#!/usr/bin/python3
"""The installed product at work under Wine: the Windows package installed
per user by msiexec in a fresh Wine prefix, and the installed
PelliportHost.exe started as a browser starts it, with the stand-in of the
desktop application (tools/orvanta-standin) listening at the port of the
user's registry setting. Checked: a capture (the notification, the list
file, the stored page and photo, the log), a domain request and an
identification request, an add-in error whose box is seen in Wine's relay
trace of MessageBoxW, `--check` and `--version`.

    test_installed_product.py --msi PelliportHost-<version>.msi --version X.Y.Z --prefix FOLDER

The prefix folder is made anew. Fails (never skips) when Wine or
python3-websockets is missing."""

import argparse
import base64
import json
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

from wine_session import ENVIRONMENT, WINE, run_tests_in_fresh_prefix, unix_path, windows_path, wine

ROOT = Path(__file__).resolve().parent.parent.parent
STANDIN = ROOT / "tools" / "orvanta-standin" / "orvanta_standin.py"
SAMPLES = ROOT / "tools" / "samples"
CAPTION = "Orvanta Browser Add-In | Fehler"
ORVANTA_KEY = r"HKCU\Software\Kelmarq\Orvanta"
# Wine traces the calls of the functions named here when WINEDEBUG has +relay.
RELAY_KEY = r"HKCU\Software\Wine\Debug"
ARGS = None


def sample(name):
    return json.loads((SAMPLES / name).read_text(encoding="utf-8"))


def frame(request):
    payload = json.dumps(request, ensure_ascii=False).encode("utf-8")
    return len(payload).to_bytes(4, "little") + payload


def logged(log, head):
    """The rest of the last log text that starts with the head."""
    found = re.findall(r"\]: " + re.escape(head) + r"(.*?)\r\n", log)
    return found[-1] if found else None


class InstalledProductTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(ENVIRONMENT["WINEPREFIX"]).parent / (Path(ENVIRONMENT["WINEPREFIX"]).name + "-work")
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.work.mkdir(parents=True)
        code = wine("msiexec", "/i", windows_path(ARGS.msi), "/qn").returncode
        if code != 0:
            raise AssertionError(f"msiexec /i failed with {code}")
        local = unix_path(wine("cmd", "/c", "echo %LOCALAPPDATA%").stdout.strip())
        cls.program = local / "Programs" / "Kelmarq" / "PelliportHost" / "PelliportHost.exe"
        cls.log = local / "Orvanta" / "PelliportLog.txt"
        cls.log.parent.mkdir(exist_ok=True)
        cls.record = cls.work / "notifications.jsonl"
        cls.standin_output = cls.work / "standin.txt"
        with open(cls.standin_output, "w", encoding="utf-8") as stream:
            cls.standin = subprocess.Popen(
                ["/usr/bin/python3", "-u", str(STANDIN), "--port", "0", "--record", str(cls.record)],
                stdin=subprocess.DEVNULL, stdout=stream, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 60
        while not (match := re.match(r"listening on 127\.0\.0\.1:(\d+)", cls.standin_output.read_text())):
            if cls.standin.poll() is not None or time.monotonic() > deadline:
                cls.tearDownClass()
                raise AssertionError("the stand-in did not start: " + cls.standin_output.read_text())
            time.sleep(0.1)
        cls.port = int(match.group(1))
        wine("reg", "add", ORVANTA_KEY, "/v", "WebSocketPort", "/t", "REG_DWORD", "/d", str(cls.port), "/f")

    @classmethod
    def tearDownClass(cls):
        cls.standin.terminate()
        cls.standin.wait(10)
        wine("msiexec", "/x", windows_path(ARGS.msi), "/qn")
        shutil.rmtree(cls.work, ignore_errors=True)

    def run_host(self, request, debug=None):
        """The installed program as Chromium starts it on Windows; the
        notifications and log lines it added."""
        before = len(self.notifications())
        log_before = self.log.read_bytes() if self.log.exists() else b""
        result = wine(str(self.program), "chrome-extension://abcdefghijklmnopabcdefghijklmnop/",
                      "--parent-window=0", stdin_bytes=frame(request), debug=debug)
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        self.assertEqual(result.stdout, "")
        log = self.log.read_bytes()[len(log_before):].decode("cp1252")
        self.assertIn("]: [PelliportHost] Start", log)
        self.assertTrue(log.endswith("]: [PelliportHost]|_Done!\r\n"), log[-500:])
        return result, self.notifications()[before:], log

    def notifications(self):
        if not self.record.exists():
            return []
        return [json.loads(line) for line in self.record.read_text(encoding="utf-8").splitlines()]

    def list_lines(self, windows_file):
        data = unix_path(windows_file).read_bytes()
        self.assertTrue(data.endswith(b"\r\n"), data)
        return data.decode("cp1252").split("\r\n")[:-1]

    def test_capture(self):
        request = sample("capture-request.json")
        _, received, log = self.run_host(request)
        self.assertEqual(len(received), 1, self.standin_output.read_text())
        sender, command, payload = received[0]["text"].split("\n")
        self.assertRegex(sender, r"^[^/\s]+/[^/\s]+$")
        self.assertEqual(command, "DO_XINGIMPORT")
        html, photo = logged(log, "[StartImport.HTML] "), logged(log, "[StartImport.Photo] ").split(" (Size: ")[0]
        self.assertEqual(self.list_lines(payload),
                         ["TYPE=XING", "URL=" + request["profilUrl"], "HTML=" + html, "FOTO=" + photo,
                          "FOTOURL=" + request["srcImg"]])
        page = unix_path(html).read_bytes().decode("cp1252")
        self.assertIn("<h1>Erika Mustermann</h1>", page)
        self.assertEqual(unix_path(photo).read_bytes(),
                         base64.b64decode(request["b64Pic"].split(",", 1)[1]))

    def test_domain_and_identification(self):
        domain = sample("domain-request.json")
        _, received, _ = self.run_host(domain)
        self.assertEqual(len(received), 1)
        _, command, payload = received[0]["text"].split("\n")
        self.assertEqual(command, "DO_GOOGLEPLACES")
        self.assertEqual(self.list_lines(payload), [domain["domain"]])

        identification = sample("identification-request.json")
        _, received, _ = self.run_host(identification)
        self.assertEqual([r["text"].split("\n")[1:] for r in received],
                         [["DO_VORANDTIMPORT", identification["URL"]]])

    def test_addin_error_shows_a_box(self):
        request = sample("addin-error-request.json")
        self.assertEqual(wine("reg", "add", RELAY_KEY, "/v", "RelayInclude", "/t", "REG_SZ",
                              "/d", "user32.MessageBoxW", "/f").returncode, 0)
        try:
            result, received, _ = self.run_host(request, debug="+relay")
        finally:
            wine("reg", "delete", RELAY_KEY, "/v", "RelayInclude", "/f")
        self.assertEqual(received, [])
        # Wine writes the strings' non-ASCII characters as \NNNN.
        title = "".join(c if c.isascii() else f"\\{ord(c):04x}" for c in request["OrvantaBrowserAddInErrorTitle"])
        calls = [line for line in result.stderr.splitlines() if "Call user32.MessageBoxW(" in line]
        self.assertEqual(len(calls), 1, result.stderr[-3000:])
        self.assertIn(f'L"{CAPTION}"', calls[0])
        self.assertIn(f'L"{title}"', calls[0])

    def test_check_and_version(self):
        version = wine(str(self.program), "--version")
        self.assertEqual(version.returncode, 0)
        self.assertIn(ARGS.version, version.stdout)
        check = wine(str(self.program), "--check")
        self.assertEqual(check.returncode, 0, check.stdout)
        for item in ("log file", "temporary folder", "port setting", "desktop application", "Chrome manifest",
                     "Edge manifest", "Firefox manifest", "browsers"):
            with self.subTest(item=item):
                self.assertRegex(check.stdout, rf"(?m)^OK\s+{re.escape(item)}\b")
        self.assertIn(f"127.0.0.1:{self.port}", check.stdout)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--prefix", required=True, type=Path, help="Wine prefix folder (made anew)")
    ARGS, rest = parser.parse_known_args()
    ARGS.msi = ARGS.msi.resolve()
    if shutil.which(WINE[0]) is None and not Path(WINE[0]).exists():
        print("Wine is not installed (tools/setup.sh installs it)")
        return 1
    if subprocess.run(["/usr/bin/python3", "-c", "import websockets"], capture_output=True).returncode != 0:
        print("python3-websockets is not installed (tools/setup.sh installs it)")
        return 1
    return run_tests_in_fresh_prefix(ARGS.prefix, [sys.argv[0], *rest])


if __name__ == "__main__":
    sys.exit(main())
