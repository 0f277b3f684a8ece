#!/usr/bin/python3
"""The Windows package installed, upgraded and removed by msiexec under Wine,
in a fresh Wine prefix: the files, the browsers' keys, the manifests the
installed program writes, a request that the installed program handles, an
upgrade, a rebuild of the same version, a refused downgrade, and a removal
that leaves nothing of ours and everything else.

    test_msi_windows.py --msi PelliportHost-<version>.msi --program PelliportHost.exe
                        --version X.Y.Z --prefix FOLDER

The prefix folder is made anew. Fails (never skips) when Wine or wixl is missing."""

import argparse
import base64
import hashlib
import json
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from wine_session import ENVIRONMENT, WINE, configure, run_tests, unix_path, windows_path, wine

HERE = Path(__file__).resolve().parent
BUILD_MSI = HERE / "build_msi.py"
TEST_EXTENSION = HERE.parent / "test-extension" / "manifest.json"
HOST_NAME = "com.kelmarq.pelliport"
PRODUCT_NAME = "PelliportHost - Orvanta Browser Add-In Host"
KEYS = {
    "Chrome": rf"HKCU\Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}",
    "Edge": rf"HKCU\Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}",
    "Firefox": rf"HKCU\Software\Mozilla\NativeMessagingHosts\{HOST_NAME}",
}
OUR_KEY = r"HKCU\Software\Kelmarq\PelliportHost"
# Other programs' keys beside ours, which the package must leave alone.
FOREIGN_KEYS = [key.replace(HOST_NAME, "org.other.host") for key in KEYS.values()]
ORVANTA_KEY = r"HKCU\Software\Kelmarq\Orvanta"
FIREFOX_TEST_ID = "pelliport-test@kelmarq.example"
START_LINE = "[PelliportHost] Start (Version 2022.1 09.03.2022)"
# msiexec's ERROR_INSTALL_FAILURE; Wine's exit code keeps its low 8 bits.
INSTALL_FAILURE = 1603
ARGS = None


def key_exists(key):
    return wine("reg", "query", key).returncode == 0


def reg_value(key, name=None):
    """A REG_SZ value (the default value without a name), or None."""
    result = wine("reg", "query", key, *(["/v", name] if name else ["/ve"]))
    if result.returncode != 0:
        return None
    match = re.search(r"REG_SZ\s+(.*?)\s*$", result.stdout, re.MULTILINE)
    return match.group(1) if match else None


def chromium_test_id():
    manifest = json.loads(TEST_EXTENSION.read_text(encoding="utf-8"))
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return digest.translate(str.maketrans("0123456789abcdef", "abcdefghijklmnop"))


def product_code(msi):
    lines = subprocess.run(["msiinfo", "export", str(msi), "Property"], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    return dict(line.split("\t", 1) for line in lines[3:] if "\t" in line)["ProductCode"].upper()


def frame(payload):
    data = payload.encode("utf-8")
    return struct.pack("<I", len(data)) + data


class MsiLifecycleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="pelliport-msi-")
        packages = Path(cls.scratch.name)
        major, minor, patch = (int(f) for f in ARGS.version.split("."))
        if patch > 0:
            lower = f"{major}.{minor}.{patch - 1}"
        elif minor > 0:
            lower = f"{major}.{minor - 1}.0"
        else:
            lower = f"{major - 1}.0.0"
        versions = {"rebuilt": ARGS.version, "higher": f"{major}.{minor}.{patch + 1}",
                    "failing": f"{major}.{minor}.{patch + 2}", "lower": lower}
        cls.packages = {"built": ARGS.msi}
        cls.programs = {"built": ARGS.program.read_bytes()}
        for name, version in versions.items():
            # Each package with a program of its own (bytes appended, which
            # Windows ignores), to tell which one is installed.
            program = packages / name / "PelliportHost.exe"
            program.parent.mkdir()
            cls.programs[name] = cls.programs["built"] + f"\0test build {name}\0".encode()
            program.write_bytes(cls.programs[name])
            cls.packages[name] = packages / name / f"PelliportHost-{version}.msi"
            subprocess.run([sys.executable, str(BUILD_MSI), "--program", str(program), "--version", version,
                            "--output", str(cls.packages[name])], check=True, capture_output=True)
        cls.codes = {name: product_code(msi) for name, msi in cls.packages.items()}
        local = wine("cmd", "/c", "echo %LOCALAPPDATA%").stdout.strip()
        cls.local_app_data = unix_path(local)
        cls.folder = cls.local_app_data / "Programs" / "Kelmarq" / "PelliportHost"

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def msiexec(self, action, name, *properties):
        return wine("msiexec", action, windows_path(self.packages[name]), "/qn", *properties).returncode

    def installed_products(self):
        """The product codes of our entries in the installed programs."""
        listing = wine("uninstaller", "--list").stdout
        return sorted(code.upper() for line in listing.splitlines() if PRODUCT_NAME in line
                      for code in re.findall(r"\{[0-9A-Fa-f-]{36}\}", line))

    def manifests(self):
        return {browser: json.loads(unix_path(reg_value(key)).read_text(encoding="utf-8"))
                for browser, key in KEYS.items()}

    def assert_installed(self, product, origins, firefox_ids):
        self.assertEqual(self.installed_products(), [self.codes[product]])
        self.assertEqual(sorted(p.name for p in self.folder.iterdir()),
                         ["PelliportHost.exe", f"{HOST_NAME}.firefox.json", f"{HOST_NAME}.json"])
        self.assertEqual((self.folder / "PelliportHost.exe").read_bytes(), self.programs[product])
        program = reg_value(OUR_KEY, "Program")
        self.assertEqual(unix_path(program), self.folder / "PelliportHost.exe")
        for browser, key in KEYS.items():
            with self.subTest(browser=browser):
                value = reg_value(key)
                self.assertIsNotNone(value, key)
                expected = "com.kelmarq.pelliport.firefox.json" if browser == "Firefox" else "com.kelmarq.pelliport.json"
                self.assertEqual(unix_path(value), self.folder / expected)
        manifests = self.manifests()
        for browser, manifest in manifests.items():
            with self.subTest(browser=browser):
                self.assertEqual(manifest["name"], HOST_NAME)
                self.assertEqual(manifest["type"], "stdio")
                # The installed program by its absolute path.
                self.assertTrue(re.match(r"^[A-Za-z]:\\", manifest["path"]), manifest["path"])
                self.assertEqual(manifest["path"].lower(), program.lower())
                self.assertTrue(unix_path(manifest["path"]).is_file())
        self.assertEqual(manifests["Chrome"], manifests["Edge"])
        self.assertEqual(manifests["Chrome"]["allowed_origins"], origins)
        self.assertEqual(manifests["Firefox"]["allowed_extensions"], firefox_ids)

    def run_installed_program(self, *arguments):
        return wine(str(self.folder / "PelliportHost.exe"), *arguments, stdin_bytes=frame('{"a":1}'))

    def test_lifecycle(self):
        chromium_id = chromium_test_id()
        test_origins = [f"chrome-extension://{chromium_id}/"]
        programs_existed = (self.local_app_data / "Programs").exists()
        for key in FOREIGN_KEYS:
            self.assertEqual(wine("reg", "add", key, "/ve", "/t", "REG_SZ", "/d", r"C:\other\host.json",
                                  "/f").returncode, 0)
        self.assertEqual(wine("reg", "add", ORVANTA_KEY, "/v", "WebSocketPort", "/t", "REG_DWORD", "/d", "5414",  # 0x1526
                              "/f").returncode, 0)

        # A silent installation with the test extensions' ids, the package's defaults.
        self.assertEqual(self.msiexec("/i", "built"), 0)
        self.assert_installed("built", test_origins, [FIREFOX_TEST_ID])

        # The installed program handles a request when a browser starts it
        # (Chromium's and Firefox's arguments on Windows), and writes no manifest.
        (self.local_app_data / "Orvanta").mkdir(exist_ok=True)
        manifests = {p.name: p.read_bytes() for p in self.folder.glob("*.json")}
        runs = {
            "Chromium": (f"chrome-extension://{chromium_id}/", "--parent-window=0"),
            "Firefox": (reg_value(KEYS["Firefox"]), FIREFOX_TEST_ID),
        }
        for browser, arguments in runs.items():
            with self.subTest(request_from=browser):
                result = self.run_installed_program(*arguments)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, "")
        log = (self.local_app_data / "Orvanta" / "PelliportLog.txt").read_bytes().decode("cp1252")
        self.assertEqual(log.count(START_LINE), 2, log)
        self.assertEqual(log.count("[PelliportHost]|_Done!"), 2, log)
        self.assertEqual({p.name: p.read_bytes() for p in self.folder.glob("*.json")}, manifests)

        # A rebuild of the same version replaces the installed one; the
        # allowed extensions given as public properties.
        other_id = "a" * 31 + "p"
        guid = "{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}"
        self.assertEqual(self.msiexec("/i", "rebuilt", f"CHROME_EXTENSION_IDS={chromium_id},{other_id}",
                                      f"FIREFOX_EXTENSION_IDS={guid}"), 0)
        self.assert_installed("rebuilt", test_origins + [f"chrome-extension://{other_id}/"], [guid])

        # A newer version replaces it in place.
        self.assertEqual(self.msiexec("/i", "higher"), 0)
        self.assert_installed("higher", test_origins, [FIREFOX_TEST_ID])
        installed = {p.name: p.read_bytes() for p in self.folder.iterdir()}

        # An upgrade whose program refuses to write the manifests (an id no
        # browser accepts) fails and leaves nothing half installed. The old
        # version was removed before (see PelliportHost.wxs), so it is
        # installed again.
        self.assertNotEqual(self.msiexec("/i", "failing", "CHROME_EXTENSION_IDS=abc"), 0)
        self.assertEqual(self.installed_products(), [])
        self.assertFalse((self.local_app_data / "Programs" / "Kelmarq").exists())
        for key in [*KEYS.values(), OUR_KEY]:
            with self.subTest(left_by_failure=key):
                self.assertFalse(key_exists(key))
        self.assertEqual(self.msiexec("/i", "higher"), 0)
        self.assert_installed("higher", test_origins, [FIREFOX_TEST_ID])
        self.assertEqual({p.name: p.read_bytes() for p in self.folder.iterdir()}, installed)

        # An older one is refused and changes nothing.
        code = self.msiexec("/i", "lower")
        self.assertIn(code, (INSTALL_FAILURE, INSTALL_FAILURE & 0xFF))
        self.assert_installed("higher", test_origins, [FIREFOX_TEST_ID])
        self.assertEqual({p.name: p.read_bytes() for p in self.folder.iterdir()}, installed)

        # Removal leaves nothing of ours, and every other key.
        self.assertEqual(self.msiexec("/x", "higher"), 0)
        self.assertEqual(self.installed_products(), [])
        self.assertFalse((self.local_app_data / "Programs" / "Kelmarq").exists())
        self.assertEqual((self.local_app_data / "Programs").exists(), programs_existed)
        for key in [*KEYS.values(), OUR_KEY]:
            with self.subTest(removed=key):
                self.assertFalse(key_exists(key))
        for key in FOREIGN_KEYS:
            with self.subTest(kept=key):
                self.assertEqual(reg_value(key), r"C:\other\host.json")
        self.assertIn("0x1526", wine("reg", "query", ORVANTA_KEY, "/v", "WebSocketPort").stdout)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True, type=Path)
    parser.add_argument("--program", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--prefix", required=True, type=Path, help="Wine prefix folder (made anew)")
    parser.add_argument("--wine", default=WINE[0], help="the Wine loader (default: tools/wine.sh)")
    ARGS, rest = parser.parse_known_args()
    ARGS.msi, ARGS.program = ARGS.msi.resolve(), ARGS.program.resolve()
    WINE[0] = ARGS.wine
    for tool, package in ((WINE[0], "wine"), ("wixl", "wixl"), ("msiinfo", "msitools")):
        if shutil.which(tool) is None:
            print(f"{tool} is not installed (Debian's package {package}; tools/setup.sh installs it)")
            return 1
    if not ARGS.msi.is_file():
        print(f"no package at {ARGS.msi}: build it with cmake --build <build folder> --target PelliportHost_msi")
        return 1
    prefix = ARGS.prefix.resolve()
    configure(prefix)
    # A fresh prefix: no server of an earlier run may hold the old one.
    subprocess.run(["wineserver", "-k"], env=ENVIRONMENT, check=False, stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    return run_tests([sys.argv[0], *rest])

if __name__ == "__main__":
    sys.exit(main())
