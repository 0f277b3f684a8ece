#!/usr/bin/python3
"""End-to-end test of the built Linux host with a third-party WebSocket
server: the development stand-in of the desktop application
(tools/orvanta-standin, on Debian's python3-websockets) listens on a free
port, which the per-user port setting names; the host runs once per request
with the request as its native-messaging frame, for each sample request of
tools/samples/ and a few more. Checked: what the stand-in recorded (sender
line, command word, payload, the list file it read), the list files' exact
bytes, the stored page and photo, and the host's boxes on standard error.

    test_host_end_to_end.py --host build/linux/host/PelliportHost

Exits with 77 (skipped) when python3-websockets is not installed."""

import argparse
import base64
import json
import os
import pwd
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
STANDIN = ROOT / "tools" / "orvanta-standin" / "orvanta_standin.py"
SAMPLES = ROOT / "tools" / "samples"
PHOTO = ROOT / "import" / "testdata" / "baseline.jpg"
UTF8_SIGNATURE = b"\xef\xbb\xbf"
CAPTION = "Orvanta Browser Add-In | Fehler"
HOST = None  # set by main()

# The host's code page follows the locale: UTF-8 (65001, files with the
# signature) or anything else (Windows-1252).
LOCALES = {"C.UTF-8": "utf-8", "C": "cp1252"}


def encode_file(text, locale):
    """A text file's bytes as the host writes them in the locale."""
    encoding = LOCALES[locale]
    return (UTF8_SIGNATURE if encoding == "utf-8" else b"") + text.encode(encoding)


def unescape_page(html):
    """The second layer of escaping that the add-in puts on the page."""
    for escaped, plain in (('\\"', '"'), ("\\/", "/"), ("\\b", "\b"), ("\\f", "\f"), ("\\n", "\n"),
                           ("\\r", "\r"), ("\\t", "\t"), ("\\\\", "\\")):
        html = html.replace(escaped, plain)
    return html


def sample(name):
    return json.loads((SAMPLES / name).read_text(encoding="utf-8"))


def capture(url, html="<p>Erika M\u00fcller</p>"):
    photo = base64.b64encode(PHOTO.read_bytes()).decode("ascii")
    return {"html": html, "b64Pic": "data:image/jpeg;base64," + photo, "profilUrl": url,
            "srcImg": "https://img.example/erika.jpg", "protocol": ""}


# name, request, locale, what the desktop application gets: ("list", kind)
# for a list file, ("url", text) for a URL payload, None for nothing; boxes.
REQUESTS = [
    ("sample capture (XING)", sample("capture-request.json"), "C.UTF-8", ("list", "profile"), []),
    ("sample domain", sample("domain-request.json"), "C.UTF-8", ("list", "domain"), []),
    ("sample identification", sample("identification-request.json"), "C.UTF-8",
     ("url", sample("identification-request.json")["URL"]), []),
    ("sample add-in error", sample("addin-error-request.json"), "C.UTF-8", None,
     [sample("addin-error-request.json")["OrvantaBrowserAddInErrorTitle"]]),
    ("sample capture in Windows-1252", sample("capture-request.json"), "C", ("list", "profile"), []),
    ("LinkedIn", capture("https://de.linkedin.com/in/erika-m\u00fcller"), "C", ("list", "profile"), []),
    ("XING talent manager", capture("https://www.xing.com/xtm/profiles/4711"), "C.UTF-8", ("list", "profile"), []),
    ("freelance.de", capture("https://www.freelance.de/Freelancer/Erika"), "C", ("list", "profile"), []),
    ("Experteer", capture("https://www.experteer.com/recruiting/candidates/42",
                          '<html><head><meta name=\\"api_recruiting_candidate\\" content=\\"/api/candidates/42\\">'
                          '</head></html>'), "C.UTF-8", ("list", "experteer"), []),
    ("unknown site", capture("https://www.example.org/erika"), "C.UTF-8", None, []),
    ("domain of two lines", {"domain": "m\u00fcller-bau.example\r\nkelmarq.example", "protocol": "x"}, "C",
     ("list", "domain"), []),
    ("identification, URL with a blank and an umlaut",
     {"command": "DO_VORANDTIMPORT", "URL": "https://vorandt.example/a b/\u00fc"},
     "C", ("url", "https://vorandt.example/a b/\u00fc"), []),
]


def frame(request):
    payload = json.dumps(request, ensure_ascii=False, separators=(",", ":")).encode("utf-8")
    return struct.pack("<I", len(payload)) + payload


class Scratch:
    """The folders of the runs, the stand-in and its recording."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="pelliport-e2e-"))
        self.config = self.root / "config"
        self.record = self.root / "notifications.jsonl"
        self.standin = None
        self.standin_output = self.root / "standin.txt"

    def start_standin(self, count):
        with open(self.standin_output, "w", encoding="utf-8") as stream:
            self.standin = subprocess.Popen(
                ["/usr/bin/python3", "-u", str(STANDIN), "--port", "0", "--record", str(self.record),
                 "--count", str(count), "--timeout", "60"],
                stdin=subprocess.DEVNULL, stdout=stream, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            match = re.match(r"listening on 127\.0\.0\.1:(\d+)", self.standin_output.read_text(encoding="utf-8"))
            if match:
                setting = self.config / "Kelmarq" / "Orvanta" / "WebSocketPort"
                setting.parent.mkdir(parents=True, exist_ok=True)
                setting.write_text(match.group(1) + "\n", encoding="ascii")
                return
            if self.standin.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("the stand-in did not start: " + self.standin_output.read_text(encoding="utf-8"))

    def stop_standin(self):
        if self.standin is None:
            return
        try:
            self.standin.wait(10)
        except subprocess.TimeoutExpired:
            self.standin.terminate()
            self.standin.wait(5)

    def run_host(self, number, request, locale):
        """One host process with its own data and temporary folder."""
        folder = self.root / f"run{number}"
        data, temp = folder / "data", folder / "tmp"
        (data / "Orvanta").mkdir(parents=True)
        temp.mkdir()
        environment = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(folder),
                       "XDG_CONFIG_HOME": str(self.config), "XDG_DATA_HOME": str(data), "TMPDIR": str(temp),
                       "LC_ALL": locale}
        result = subprocess.run([str(HOST)], input=frame(request), env=environment, capture_output=True,
                                timeout=30)
        log = (data / "Orvanta" / "PelliportLog.txt").read_bytes().decode(LOCALES[locale])
        return {"result": result, "log": log, "temp": temp}


def logged(log, head):
    """The rest of the first log text that starts with the head."""
    match = re.search(r"\]: " + re.escape(head) + r"(.*?)\r\n", log)
    return match.group(1) if match else None


class HostWithStandIn(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Scratch()
        notifying = [r for r in REQUESTS if r[3] is not None]
        cls.scratch.start_standin(len(notifying))
        try:
            # One after the other, so that the notifications come in order.
            cls.runs = [cls.scratch.run_host(i, request, locale)
                        for i, (_, request, locale, _, _) in enumerate(REQUESTS)]
        finally:
            cls.scratch.stop_standin()
        cls.received = [json.loads(line) for line in cls.scratch.record.read_text(encoding="utf-8").splitlines()] \
            if cls.scratch.record.exists() else []

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch.root, ignore_errors=True)

    def expected_list(self, kind, request, run):
        """The list file's lines for the request."""
        if kind == "domain":
            return re.split(r"\r\n|\r|\n", request["domain"])
        if kind == "experteer":
            return ["TYPE=EXPERTEER", "URL=" + request["profilUrl"], "APIURL=/api/candidates/42"]
        url = request["profilUrl"]
        site = "XTM" if "xing.com/xtm" in url else "XING" if "xing.com" in url else \
            "LINKEDIN" if "linkedin.com" in url else "FREELANCEDE"
        return ["TYPE=" + site, "URL=" + url, "HTML=" + logged(run["log"], "[StartImport.HTML] "),
                "FOTO=" + logged(run["log"], "[StartImport.Photo] ").split(" (Size: ")[0],
                "FOTOURL=" + request["srcImg"]]

    def test_every_run_ends_normally(self):
        for (name, _, _, _, _), run in zip(REQUESTS, self.runs):
            with self.subTest(name):
                self.assertEqual(run["result"].returncode, 0)
                self.assertEqual(run["result"].stdout, b"")
                self.assertTrue(run["log"].endswith("]: [PelliportHost]|_Done!\r\n"), run["log"][-300:])

    def test_the_stand_in_gets_each_notification(self):
        sender = f"{socket.gethostname()}/{pwd.getpwuid(os.geteuid()).pw_name}"
        expected = []
        for (name, request, locale, sent, _), run in zip(REQUESTS, self.runs):
            if sent is None:
                continue
            lists = sorted(p for p in run["temp"].iterdir() if p.is_file())
            if sent[0] == "url":
                self.assertEqual(lists, [], name)
                expected.append((name, "DO_VORANDTIMPORT", sent[1], None))
            else:
                self.assertEqual(len(lists), 1, name)
                command = "DO_GOOGLEPLACES" if sent[1] == "domain" else "DO_XINGIMPORT"
                lines = self.expected_list(sent[1], request, run)
                expected.append((name, command, str(lists[0]) if lists else "",
                                 {"encoding": "utf-8" if LOCALES[locale] == "utf-8" else "windows-1252",
                                  "lines": lines}))
        self.assertEqual(len(self.received), len(expected), self.scratch.standin_output.read_text())
        for (name, command, payload, list_file), record in zip(expected, self.received):
            with self.subTest(name):
                self.assertEqual(record["text"], f"{sender}\n{command}\n{payload}")
                self.assertEqual(record["list_file"], list_file)

    def test_list_files_bytes(self):
        for (name, request, locale, sent, _), run in zip(REQUESTS, self.runs):
            if sent is None or sent[0] != "list":
                continue
            with self.subTest(name):
                (path,) = [p for p in run["temp"].iterdir() if p.is_file()]
                lines = self.expected_list(sent[1], request, run)
                self.assertEqual(path.read_bytes(), encode_file("".join(line + "\r\n" for line in lines), locale))

    def test_captured_page_and_photo_are_stored(self):
        for (name, request, locale, sent, _), run in zip(REQUESTS, self.runs):
            if "html" not in request:
                continue
            with self.subTest(name):
                photo = base64.b64decode(request["b64Pic"].split(",", 1)[1])
                html = Path(logged(run["log"], "[StartImport.HTML] "))
                picture = Path(logged(run["log"], "[StartImport.Photo] ").split(" (Size: ")[0])
                self.assertEqual(sorted(html.parent.iterdir()), sorted([html, picture]))
                self.assertEqual(html.read_bytes(), encode_file(unescape_page(request["html"]), locale))
                self.assertEqual(picture.read_bytes(), photo)
                if sent is None:
                    self.assertEqual([p for p in run["temp"].iterdir() if p.is_file()], [])

    def test_boxes_on_standard_error(self):
        for (name, _, _, _, boxes), run in zip(REQUESTS, self.runs):
            with self.subTest(name):
                self.assertEqual(run["result"].stderr.decode("utf-8"),
                                 "".join(f"{CAPTION}: {text}\n" for text in boxes))


def main():
    global HOST
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", required=True, help="the built PelliportHost")
    args, rest = parser.parse_known_args()
    HOST = Path(args.host).resolve()
    probe = subprocess.run(["/usr/bin/python3", "-c", "import websockets"], capture_output=True)
    if probe.returncode != 0:
        print("SKIPPED: needs Debian's python3-websockets for the stand-in")
        return 77
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    return 0 if result.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
