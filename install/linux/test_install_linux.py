#!/usr/bin/python3
"""Tests of install.sh and uninstall.sh in a scratch HOME, with the built
host as the program that writes the manifests: where the manifests go, what
they say, that both scripts can run twice, and that nothing else in HOME
changes.

    test_install_linux.py --host build/linux/host/PelliportHost"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
HOST = None  # the built host, from --host
HOST_NAME = "com.kelmarq.pelliport"
CHROME_ID = "obdkkbiimnafdifiaejoobggdijljjln"
FIREFOX_ID = "pelliport-test@kelmarq.example"

CHROMIUM = Path(".config/chromium/NativeMessagingHosts") / f"{HOST_NAME}.json"
CHROME = Path(".config/google-chrome/NativeMessagingHosts") / f"{HOST_NAME}.json"
FIREFOX = Path(".mozilla/native-messaging-hosts") / f"{HOST_NAME}.json"


def snapshot(root):
    """Every file and folder below root, with the files' contents."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs:
            found[str(Path(folder, name).relative_to(root)) + "/"] = None
        for name in files:
            path = Path(folder, name)
            found[str(path.relative_to(root))] = path.read_bytes()
    return found


class InstallTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.root = Path(scratch.name)
        self.home = self.root / "home"
        # An existing profile with another host's manifest and a file of the user's.
        (self.home / CHROMIUM.parent).mkdir(parents=True)
        (self.home / CHROMIUM.parent / "org.other.host.json").write_text("{}")
        (self.home / ".config/user-settings").write_text("keep")
        self.program = self.root / "Pelliport Host" / "PelliportHost"
        self.program.parent.mkdir()
        shutil.copy2(HOST, self.program)

    def run_script(self, name, *args, env=None, cwd=None):
        environ = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.home)}
        environ.update(env or {})
        return subprocess.run(["bash", str(HERE / name), *args], env=environ, cwd=cwd,
                              capture_output=True, text=True, timeout=60)

    def install(self, *args, **kwargs):
        return self.run_script("install.sh", "--program", str(self.program), *args, **kwargs)

    def manifest(self, relative):
        return json.loads((self.home / relative).read_text(encoding="utf-8"))

    def test_install_writes_one_manifest_per_browser_and_nothing_else(self):
        before = snapshot(self.home)
        result = self.install("--chrome-extension", CHROME_ID, "--firefox-extension", FIREFOX_ID)
        self.assertEqual(result.returncode, 0, result.stderr)

        for relative, key, allowed in [(CHROMIUM, "allowed_origins", [f"chrome-extension://{CHROME_ID}/"]),
                                       (CHROME, "allowed_origins", [f"chrome-extension://{CHROME_ID}/"]),
                                       (FIREFOX, "allowed_extensions", [FIREFOX_ID])]:
            with self.subTest(str(relative)):
                manifest = self.manifest(relative)
                self.assertRegex(manifest["name"], r"^[a-z0-9_]+(\.[a-z0-9_]+)*$")
                self.assertEqual(manifest["name"], HOST_NAME)
                self.assertEqual(manifest["type"], "stdio")
                self.assertEqual(manifest["path"], str(self.program))
                self.assertEqual(manifest[key], allowed)
                self.assertEqual(set(manifest), {"name", "description", "path", "type", key})

        added = set(snapshot(self.home)) - set(before)
        self.assertEqual(added, {str(CHROMIUM), str(CHROME), str(FIREFOX), ".config/google-chrome/",
                                 str(CHROME.parent) + "/", ".mozilla/", str(FIREFOX.parent) + "/"})
        self.assertEqual({k: v for k, v in snapshot(self.home).items() if k in before}, before)

    def test_install_twice_then_uninstall_twice(self):
        before = snapshot(self.home)
        args = ("--chrome-extension", f"chrome-extension://{CHROME_ID}/", "--chrome-extension",
                "a" * 32, "--firefox-extension", "{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}")
        self.assertEqual(self.install(*args).returncode, 0)
        first = snapshot(self.home)
        self.assertEqual(self.install(*args).returncode, 0)
        self.assertEqual(snapshot(self.home), first)
        self.assertEqual(self.manifest(CHROME)["allowed_origins"],
                         [f"chrome-extension://{CHROME_ID}/", f"chrome-extension://{'a' * 32}/"])

        for attempt in ("first", "second"):
            with self.subTest(attempt):
                result = self.run_script("uninstall.sh")
                self.assertEqual(result.returncode, 0, result.stderr)
                # The other host's manifest keeps the Chromium folder; the folders
                # made for Chrome and Firefox go again.
                self.assertEqual(snapshot(self.home), before)
        self.assertIn("not installed", result.stdout)

    def test_only_the_families_given_get_a_manifest(self):
        cases = [
            (("--chrome-extension", CHROME_ID), {CHROMIUM, CHROME}),
            (("--firefox-extension", FIREFOX_ID), {FIREFOX}),
        ]
        for args, expected in cases:
            with self.subTest(args):
                self.assertEqual(self.install(*args).returncode, 0)
                present = {p for p in (CHROMIUM, CHROME, FIREFOX) if (self.home / p).exists()}
                self.assertEqual(present, expected)
                self.assertEqual(self.run_script("uninstall.sh").returncode, 0)

    def test_profiles_under_xdg_config_home_when_it_is_absolute(self):
        config = self.root / "config"
        cases = [(str(config), config), ("relative/config", self.home / ".config")]
        for value, base in cases:
            with self.subTest(value):
                env = {"XDG_CONFIG_HOME": value}
                self.assertEqual(self.install("--chrome-extension", CHROME_ID, env=env).returncode, 0)
                self.assertTrue((base / "chromium/NativeMessagingHosts" / f"{HOST_NAME}.json").is_file())
                self.assertTrue((base / "google-chrome/NativeMessagingHosts" / f"{HOST_NAME}.json").is_file())
                self.assertEqual(self.run_script("uninstall.sh", env=env).returncode, 0)
                self.assertFalse((base / "google-chrome").exists())

    def test_program_path_is_made_absolute_and_escaped(self):
        odd = self.root / 'odd "name" \\ here' / "PelliportHost"
        odd.parent.mkdir()
        shutil.copy2(HOST, odd)
        result = self.run_script("install.sh", "--program", f"{odd.parent.name}/PelliportHost",
                                 "--chrome-extension", CHROME_ID, cwd=self.root)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.manifest(CHROMIUM)["path"], str(odd))

    def test_refusals_leave_home_unchanged(self):
        not_executable = self.root / "PelliportHost.txt"
        not_executable.write_text("")
        cases = [
            ("no extension", ("--program", str(self.program)), "at least one"),
            ("short id", ("--program", str(self.program), "--chrome-extension", "abc"), "not a Chromium"),
            ("id with letters past p", ("--program", str(self.program), "--chrome-extension", "z" * 32),
             "not a Chromium"),
            ("upper-case id", ("--program", str(self.program), "--chrome-extension", CHROME_ID.upper()),
             "not a Chromium"),
            ("firefox id with a quote", ("--program", str(self.program), "--firefox-extension", 'a"b@c'),
             "not a Firefox"),
            ("missing program", ("--program", str(self.root / "missing"), "--chrome-extension", CHROME_ID),
             "no executable"),
            ("program not executable", ("--program", str(not_executable), "--chrome-extension", CHROME_ID),
             "no executable"),
            ("unknown option", ("--chrome", CHROME_ID), "unknown argument"),
            ("option without value", ("--program",), "needs a path"),
        ]
        before = snapshot(self.home)
        for name, args, message in cases:
            with self.subTest(name):
                result = self.run_script("install.sh", *args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr)
                self.assertEqual(snapshot(self.home), before)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", required=True, type=Path, help="the built PelliportHost")
    options, rest = parser.parse_known_args()
    HOST = options.host.resolve()
    unittest.main(argv=[sys.argv[0], *rest])
