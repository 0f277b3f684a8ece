#!/usr/bin/python3
"""The built host started as the install script starts it and as browsers
start it: only the exact first argument --write-manifests writes the
manifests, into the browsers' per-user folders; the argument lists of
Chromium and Firefox leave them alone and have a request handled.

    test_write_manifests_mode.py --host build/linux/host/PelliportHost"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HOST = None
CHROME_ID = "obdkkbiimnafdifiaejoobggdijljjln"
FIREFOX_ID = "pelliport-test@kelmarq.example"
# Where the Chromium family and Firefox find the manifest, below the scratch folder.
CHROMIUM_FAMILY = ["config/BraveSoftware/Brave-Browser/NativeMessagingHosts/com.kelmarq.pelliport.json",
                   "config/chromium/NativeMessagingHosts/com.kelmarq.pelliport.json",
                   "config/google-chrome/NativeMessagingHosts/com.kelmarq.pelliport.json",
                   "config/microsoft-edge/NativeMessagingHosts/com.kelmarq.pelliport.json",
                   "config/vivaldi/NativeMessagingHosts/com.kelmarq.pelliport.json"]
FIREFOX = "home/.mozilla/native-messaging-hosts/com.kelmarq.pelliport.json"
MANIFESTS = sorted([*CHROMIUM_FAMILY, FIREFOX])
START_LINE = b"[PelliportHost] Start (Version 2022.1 09.03.2022)"


class WriteManifestsModeTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="pelliport-mode-")
        self.addCleanup(scratch.cleanup)
        root = Path(scratch.name)
        self.folder = root / "Pelliport Host"
        self.folder.mkdir()
        self.program = self.folder / "PelliportHost"
        shutil.copy2(HOST, self.program)
        (root / "data" / "Orvanta").mkdir(parents=True)
        (root / "temp").mkdir()
        self.log = root / "data" / "Orvanta" / "PelliportLog.txt"
        self.root = root
        (root / "home").mkdir()
        self.environment = dict(os.environ, XDG_DATA_HOME=str(root / "data"), XDG_CONFIG_HOME=str(root / "config"),
                                TMPDIR=str(root / "temp"), HOME=str(root / "home"))
        self.environment.pop("DISPLAY", None)
        self.environment.pop("WAYLAND_DISPLAY", None)

    def run_program(self, *arguments, stdin=b""):
        return subprocess.run([str(self.program), *arguments], input=stdin, capture_output=True,
                              env=self.environment, timeout=60)

    def manifests(self):
        return sorted(str(p.relative_to(self.root)) for p in self.root.rglob("*.json"))

    def test_writes_the_manifests_where_the_browsers_look(self):
        result = self.run_program("--write-manifests", "--chrome-extension", CHROME_ID,
                                  "--firefox-extension", FIREFOX_ID)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.manifests(), MANIFESTS)
        chromium_family = [json.loads((self.root / name).read_text(encoding="utf-8")) for name in CHROMIUM_FAMILY]
        chromium = chromium_family[0]
        firefox = json.loads((self.root / FIREFOX).read_text(encoding="utf-8"))
        for manifest in chromium_family:
            self.assertEqual(manifest, chromium)
        for manifest in (chromium, firefox):
            self.assertEqual(manifest["name"], "com.kelmarq.pelliport")
            self.assertEqual(manifest["type"], "stdio")
            self.assertEqual(Path(manifest["path"]), self.program)
        self.assertEqual(chromium["allowed_origins"], [f"chrome-extension://{CHROME_ID}/"])
        self.assertEqual(firefox["allowed_extensions"], [FIREFOX_ID])
        # The mode neither logs nor reads a request.
        self.assertFalse(self.log.exists())

        written = {name: (self.root / name).read_bytes() for name in MANIFESTS}
        refused = self.run_program("--write-manifests", "--chrome-extension", "abc")
        self.assertEqual(refused.returncode, 2)
        self.assertIn(b'not a Chromium extension id: "abc"', refused.stderr)
        self.assertEqual({name: (self.root / name).read_bytes() for name in MANIFESTS}, written)

    def test_browsers_arguments_have_a_request_handled(self):
        request = b'{"a":1}'
        runs = {
            "Chromium": [f"chrome-extension://{CHROME_ID}/"],
            "Chromium on Windows": [f"chrome-extension://{CHROME_ID}/", "--parent-window=0"],
            "Firefox": [str(self.folder / "com.kelmarq.pelliport.firefox.json"), FIREFOX_ID],
            "the option not first": [f"chrome-extension://{CHROME_ID}/", "--write-manifests"],
            "the option's name with more": ["--write-manifests=x", "--chrome-extension", CHROME_ID],
        }
        for count, (name, arguments) in enumerate(runs.items(), start=1):
            with self.subTest(name):
                result = self.run_program(*arguments, stdin=struct.pack("<I", len(request)) + request)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.manifests(), [])
                self.assertEqual(self.log.read_bytes().count(START_LINE), count)


def main():
    global HOST
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True, type=Path)
    args, rest = parser.parse_known_args()
    HOST = args.host.resolve()
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
