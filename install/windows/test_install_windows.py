#!/usr/bin/python3
"""Tests of install.cmd and uninstall.cmd under Wine, with the built program,
which writes the manifests: the per-user registry keys of Chrome, Edge and
Firefox point at manifests beside the program that name it, both scripts can
run twice, and removal leaves nothing of ours.

    test_install_windows.py --host PelliportHost.exe --prefix FOLDER   (the Wine prefix; made when missing)

Exits with 77 (skipped) when Wine is not installed."""

import argparse
import json
import re
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

from wine_session import configure, run_tests, unix_path, windows_path, wine

HERE = Path(__file__).resolve().parent
HOST_NAME = "com.kelmarq.pelliport"
CHROME_ID = "obdkkbiimnafdifiaejoobggdijljjln"
FIREFOX_ID = "pelliport-test@kelmarq.example"
KEYS = {
    "Chrome": rf"HKCU\Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}",
    "Edge": rf"HKCU\Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}",
    "Firefox": rf"HKCU\Software\Mozilla\NativeMessagingHosts\{HOST_NAME}",
}
SKIPPED = 77
HOST = None  # the built PelliportHost.exe, from --host


def default_value(key):
    """The key's default value, or None when the key does not exist."""
    result = wine("reg", "query", key, "/ve")
    if result.returncode != 0:
        return None
    match = re.search(r"REG_SZ\s+(.*?)\s*$", result.stdout, re.MULTILINE)
    return match.group(1) if match else ""


def files_in(folder):
    return {p.name: p.read_bytes() for p in folder.iterdir()}


class WindowsInstallTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="pelliport-wine-")
        self.addCleanup(scratch.cleanup)
        self.root = Path(scratch.name)
        # A folder name with a blank and an ampersand, which cmd must keep quoted.
        self.folder = self.root / "Pelliport & Host"
        self.folder.mkdir()
        shutil.copy2(HOST, self.folder / "PelliportHost.exe")
        (self.folder / "readme.txt").write_text("keep")
        self.program = windows_path(self.folder / "PelliportHost.exe")
        # The scripts run from a folder of their own unless a test puts them
        # beside the program.
        self.scripts = self.root / "scripts"
        self.scripts.mkdir()
        for name in ("install.cmd", "uninstall.cmd"):
            shutil.copy(HERE / name, self.scripts / name)
        self.addCleanup(self.remove_keys)

    def remove_keys(self):
        for key in KEYS.values():
            wine("reg", "delete", key, "/f")

    def run_cmd(self, name, *args, folder=None):
        return wine("cmd", "/c", name, *args, cwd=folder or self.scripts)

    def install(self, *args, folder=None):
        return self.run_cmd("install.cmd", "--program", self.program, *args, folder=folder)

    def assert_installed(self, program, chrome_origins, firefox_ids):
        manifests = {}
        for browser, key in KEYS.items():
            with self.subTest(browser):
                value = default_value(key)
                self.assertIsNotNone(value, f"{key} missing")
                path = unix_path(value)
                self.assertEqual(path.parent, self.folder)
                manifest = json.loads(path.read_text(encoding="utf-8"))
                manifests[browser] = manifest
                self.assertRegex(manifest["name"], r"^[a-z0-9_]+(\.[a-z0-9_]+)*$")
                self.assertEqual(manifest["name"], HOST_NAME)
                self.assertEqual(manifest["type"], "stdio")
                self.assertEqual(manifest["path"], program)
        self.assertEqual(manifests["Chrome"], manifests["Edge"])
        self.assertEqual(manifests["Chrome"]["allowed_origins"], chrome_origins)
        self.assertEqual(manifests["Firefox"]["allowed_extensions"], firefox_ids)

    def assert_removed(self):
        for browser, key in KEYS.items():
            with self.subTest(browser):
                self.assertIsNone(default_value(key))
        self.assertEqual(sorted(files_in(self.folder)), ["PelliportHost.exe", "readme.txt"])

    def test_install_twice_then_uninstall_twice(self):
        args = ("--chrome-extension", CHROME_ID, "--chrome-extension", f"chrome-extension://{'a' * 32}/",
                "--firefox-extension", FIREFOX_ID)
        first = self.install(*args)
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        installed = files_in(self.folder)
        self.assertEqual(sorted(installed), sorted(["PelliportHost.exe", "readme.txt", f"{HOST_NAME}.json",
                                                    f"{HOST_NAME}.firefox.json"]))
        self.assert_installed(self.program,
                              [f"chrome-extension://{CHROME_ID}/", f"chrome-extension://{'a' * 32}/"],
                              [FIREFOX_ID])

        second = self.install(*args)
        self.assertEqual(second.returncode, 0, second.stdout + second.stderr)
        self.assertEqual(files_in(self.folder), installed)

        # Run from another folder than the program's: the keys lead to the manifests.
        for attempt in ("first", "second"):
            with self.subTest(attempt):
                result = self.run_cmd("uninstall.cmd")
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assert_removed()
        self.assertIn("not installed", result.stdout)

    def test_scripts_beside_the_program_need_no_program_option(self):
        for name in ("install.cmd", "uninstall.cmd"):
            shutil.copy(HERE / name, self.folder / name)
        result = self.run_cmd("install.cmd", "--chrome-extension", CHROME_ID, "--firefox-extension",
                              "{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}", folder=self.folder)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assert_installed(self.program, [f"chrome-extension://{CHROME_ID}/"],
                              ["{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}"])
        # With the keys gone already, uninstall still finds the manifests beside the program.
        self.remove_keys()
        result = self.run_cmd("uninstall.cmd", folder=self.folder)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(sorted(files_in(self.folder)),
                         ["PelliportHost.exe", "install.cmd", "readme.txt", "uninstall.cmd"])

    def test_uninstall_deletes_only_manifests_of_this_host(self):
        # A key of ours that points at somebody else's file: the key goes, the file stays.
        foreign = self.folder / "other.json"
        foreign.write_text("{}")
        self.assertEqual(wine("reg", "add", KEYS["Chrome"], "/ve", "/t", "REG_SZ", "/d",
                              windows_path(foreign), "/f").returncode, 0)
        other_key = r"HKCU\Software\Google\Chrome\NativeMessagingHosts\org.other.host"
        self.addCleanup(wine, "reg", "delete", other_key, "/f")
        self.assertEqual(wine("reg", "add", other_key, "/ve", "/t", "REG_SZ", "/d", "C:\\other.json",
                              "/f").returncode, 0)

        result = self.run_cmd("uninstall.cmd")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIsNone(default_value(KEYS["Chrome"]))
        self.assertTrue(foreign.exists())
        self.assertEqual(default_value(other_key), "C:\\other.json")

    def test_refusals_write_nothing(self):
        cases = [
            ("no extension", ("--program", self.program), "at least one"),
            ("missing program", ("--program", windows_path(self.root / "missing.exe"),
                                 "--chrome-extension", CHROME_ID), "no program"),
            ("folder as program", ("--program", windows_path(self.folder), "--chrome-extension", CHROME_ID),
             "no program"),
            ("short id", ("--program", self.program, "--chrome-extension", "abc"), "not a Chromium"),
            ("id with letters past p", ("--program", self.program, "--chrome-extension", "z" * 32),
             "not a Chromium"),
            ("upper-case id", ("--program", self.program, "--chrome-extension", CHROME_ID.upper()),
             "not a Chromium"),
            ("firefox id with a blank", ("--program", self.program, "--firefox-extension", "a b@c"),
             "not a Firefox"),
            ("firefox id of neither form", ("--program", self.program, "--firefox-extension", "plain"),
             "not a Firefox"),
            ("unknown option", ("--chrome", CHROME_ID), "unknown argument"),
        ]
        for name, args, message in cases:
            with self.subTest(name):
                result = self.run_cmd("install.cmd", *args)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(message, result.stderr)
                self.assert_removed()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True, help="Wine prefix folder (made when missing)")
    parser.add_argument("--host", required=True, type=Path, help="the built PelliportHost.exe")
    args, rest = parser.parse_known_args()
    global HOST
    HOST = args.host.resolve()
    if shutil.which("wine") is None:
        print("SKIPPED: Wine is not installed (tools/setup.sh installs it)")
        return SKIPPED
    configure(args.prefix)
    return run_tests([sys.argv[0], *rest])

if __name__ == "__main__":
    sys.exit(main())
