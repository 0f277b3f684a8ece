#!/usr/bin/python3
"""The Windows packages installed, upgraded and removed by msiexec under Wine,
in a fresh Wine prefix. For each package (per user, per machine): the files,
the browsers' keys, the manifests the installed program writes, a request
that the installed program handles and its self-check, an upgrade, a
rebuild of the same version, a refused downgrade, a failing upgrade, and a
removal that leaves nothing of ours and everything else. And both packages
installed at once, each removed while the other stays.

    test_msi_windows.py --msi PelliportHost-<version>.msi --machine-msi PelliportHost-<version>-machine.msi
                        --program PelliportHost.exe --version X.Y.Z --prefix FOLDER [-k PerUser|PerMachine|BothPackages]

The prefix folder is made anew; win32 and win64 prefixes alike (WINEARCH).
Fails (never skips) when Wine or wixl is missing."""

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

from wine_session import ENVIRONMENT, WINE, run_tests_in_fresh_prefix, unix_path, windows_path, wine

HERE = Path(__file__).resolve().parent
BUILD_MSI = HERE / "build_msi.py"
TEST_EXTENSION = HERE.parent / "test-extension" / "manifest.json"
HOST_NAME = "com.kelmarq.pelliport"
PRODUCT_NAME = "PelliportHost - Orvanta Browser Add-In Host"
BROWSER_KEYS = {
    "Chrome": rf"Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}",
    "Edge": rf"Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}",
    "Firefox": rf"Software\Mozilla\NativeMessagingHosts\{HOST_NAME}",
}
MANIFEST_FILES = {"Chrome": f"{HOST_NAME}.json", "Edge": f"{HOST_NAME}.json", "Firefox": f"{HOST_NAME}.firefox.json"}
ORVANTA_KEY = r"HKCU\Software\Kelmarq\Orvanta"
FIREFOX_TEST_ID = "pelliport-test@kelmarq.example"
START_LINE = "[PelliportHost] Start (Version 2022.1 09.03.2022)"
# msiexec's ERROR_INSTALL_FAILURE; Wine's exit code keeps its low 8 bits.
INSTALL_FAILURE = 1603
ARGS = None


def views(key):
    """The key in each registry view: a 32-bit package's machine keys lie in
    the 32-bit view, which a 64-bit reg.exe reaches under WOW6432Node; the
    browsers read both views."""
    if key.startswith("HKLM\\Software\\"):
        return [key, key.replace("HKLM\\Software\\", "HKLM\\Software\\WOW6432Node\\", 1)]
    return [key]


def key_exists(key):
    return any(wine("reg", "query", view).returncode == 0 for view in views(key))


def reg_value(key, name=None):
    """A REG_SZ value (the default value without a name) in whichever view holds it, or None."""
    for view in views(key):
        result = wine("reg", "query", view, *(["/v", name] if name else ["/ve"]))
        if result.returncode == 0:
            match = re.search(r"REG_SZ\s+(.*?)\s*$", result.stdout, re.MULTILINE)
            return match.group(1) if match else None
    return None


def folder_of(variable):
    """A folder that Wine names by an environment variable; None when it has no such variable."""
    value = wine("cmd", "/c", f"echo %{variable}%").stdout.strip()
    return None if not value or "%" in value else unix_path(value)


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


def installed_products():
    """The product codes of our entries in the installed programs."""
    listing = wine("uninstaller", "--list").stdout
    return sorted(code.upper() for line in listing.splitlines() if PRODUCT_NAME in line
                  for code in re.findall(r"\{[0-9A-Fa-f-]{36}\}", line))


class Scope:
    """What one package installs where: its folders, its keys, its package."""

    def __init__(self, name):
        self.name = name
        self.machine = name == "machine"
        root = "HKLM" if self.machine else "HKCU"
        self.keys = {browser: f"{root}\\{key}" for browser, key in BROWSER_KEYS.items()}
        self.vendor_key = f"{root}\\Software\\Kelmarq"
        self.our_key = f"{self.vendor_key}\\PelliportHost"
        # Other programs' keys beside ours, which the package must leave alone.
        self.foreign_keys = [key.replace(HOST_NAME, "org.other.host") for key in self.keys.values()]
        if self.machine:
            # The 32-bit Program Files folder: Program Files (x86) in a win64 prefix.
            self.base = folder_of("ProgramFiles(x86)") or folder_of("ProgramFiles")
            self.kelmarq = self.base / "Kelmarq"
        else:
            self.base = folder_of("LOCALAPPDATA") / "Programs"
            self.kelmarq = self.base / "Kelmarq"
        self.folder = self.kelmarq / "PelliportHost"

    def package(self):
        return ARGS.machine_msi if self.machine else ARGS.msi

    def manifests(self):
        return {browser: json.loads(unix_path(reg_value(key)).read_text(encoding="utf-8"))
                for browser, key in self.keys.items()}

    def assert_installed(self, test, program_bytes, origins, firefox_ids):
        test.assertEqual(sorted(p.name for p in self.folder.iterdir()),
                         ["PelliportHost.exe", f"{HOST_NAME}.firefox.json", f"{HOST_NAME}.json"])
        test.assertEqual((self.folder / "PelliportHost.exe").read_bytes(), program_bytes)
        program = reg_value(self.our_key, "Program")
        test.assertEqual(unix_path(program), self.folder / "PelliportHost.exe")
        for browser, key in self.keys.items():
            with test.subTest(scope=self.name, browser=browser):
                value = reg_value(key)
                test.assertIsNotNone(value, key)
                test.assertEqual(unix_path(value), self.folder / MANIFEST_FILES[browser])
        manifests = self.manifests()
        for browser, manifest in manifests.items():
            with test.subTest(scope=self.name, browser=browser):
                test.assertEqual(manifest["name"], HOST_NAME)
                test.assertEqual(manifest["type"], "stdio")
                # The installed program by its absolute path.
                test.assertTrue(re.match(r"^[A-Za-z]:\\", manifest["path"]), manifest["path"])
                test.assertEqual(manifest["path"].lower(), program.lower())
                test.assertTrue(unix_path(manifest["path"]).is_file())
        test.assertEqual(manifests["Chrome"], manifests["Edge"])
        test.assertEqual(manifests["Chrome"]["allowed_origins"], origins)
        test.assertEqual(manifests["Firefox"]["allowed_extensions"], firefox_ids)

    def existing(self):
        """What was there before the package, which its removal must leave as it was."""
        return self.base.exists(), key_exists(self.vendor_key)

    def assert_removed(self, test, existing):
        test.assertFalse(self.kelmarq.exists(), self.kelmarq)
        test.assertEqual(self.existing(), existing)
        for key in [*self.keys.values(), self.our_key]:
            with test.subTest(scope=self.name, removed=key):
                test.assertFalse(key_exists(key))


class Lifecycle:
    """One package from installation to removal; SCOPE names it."""

    SCOPE = None

    @classmethod
    def setUpClass(cls):
        cls.scope = Scope(cls.SCOPE)
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
        cls.packages = {"built": cls.scope.package()}
        cls.programs = {"built": ARGS.program.read_bytes()}
        for name, version in versions.items():
            # Each package with a program of its own (bytes appended, which
            # Windows ignores), to tell which one is installed.
            program = packages / name / "PelliportHost.exe"
            program.parent.mkdir()
            cls.programs[name] = cls.programs["built"] + f"\0test build {name}\0".encode()
            program.write_bytes(cls.programs[name])
            cls.packages[name] = packages / name / f"{name}.msi"
            subprocess.run([sys.executable, str(BUILD_MSI), "--program", str(program), "--scope", cls.SCOPE,
                            "--version", version, "--output", str(cls.packages[name])], check=True,
                           capture_output=True)
        cls.codes = {name: product_code(msi) for name, msi in cls.packages.items()}
        cls.local_app_data = folder_of("LOCALAPPDATA")

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def msiexec(self, action, name, *properties):
        return wine("msiexec", action, windows_path(self.packages[name]), "/qn", *properties).returncode

    def assert_installed(self, product, origins, firefox_ids):
        self.assertEqual(installed_products(), [self.codes[product]])
        self.scope.assert_installed(self, self.programs[product], origins, firefox_ids)

    def run_installed_program(self, *arguments):
        return wine(str(self.scope.folder / "PelliportHost.exe"), *arguments, stdin_bytes=frame('{"a":1}'))

    def check_rows(self):
        """The installed program's self-check: its rows by item."""
        report = wine(str(self.scope.folder / "PelliportHost.exe"), "--check").stdout
        print(f"\n--- PelliportHost.exe --check, installed {self.scope.name}:\n{report}", file=sys.stderr)
        return {line[6:29].strip(): line[29:].strip() for line in report.splitlines() if len(line) > 29}

    def test_lifecycle(self):
        scope = self.scope
        chromium_id = chromium_test_id()
        test_origins = [f"chrome-extension://{chromium_id}/"]
        for key in scope.foreign_keys:
            self.assertEqual(wine("reg", "add", key, "/ve", "/t", "REG_SZ", "/d", r"C:\other\host.json",
                                  "/f").returncode, 0)
        self.assertEqual(wine("reg", "add", ORVANTA_KEY, "/v", "WebSocketPort", "/t", "REG_DWORD", "/d", "5414",  # 0x1526
                              "/f").returncode, 0)
        existing = scope.existing()

        # A silent installation with the test extensions' ids, the package's defaults.
        self.assertEqual(self.msiexec("/i", "built"), 0)
        self.assert_installed("built", test_origins, [FIREFOX_TEST_ID])

        # The installed program's self-check finds it registered for each browser.
        rows = self.check_rows()
        hive = "HKEY_LOCAL_MACHINE" if scope.machine else "HKEY_CURRENT_USER"
        for browser in BROWSER_KEYS:
            with self.subTest(check=browser):
                self.assertTrue(rows.get(f"{browser} manifest", "").startswith(hive), rows)
                self.assertIn("the path names this program", rows.get(f"{browser} program", ""))
        self.assertIn("Chrome, Edge, Firefox", rows.get("browsers", ""))

        # The installed program handles a request when a browser starts it
        # (Chromium's and Firefox's arguments on Windows), and writes no manifest.
        (self.local_app_data / "Orvanta").mkdir(exist_ok=True)
        manifests = {p.name: p.read_bytes() for p in scope.folder.glob("*.json")}
        runs = {
            "Chromium": (f"chrome-extension://{chromium_id}/", "--parent-window=0"),
            "Firefox": (reg_value(scope.keys["Firefox"]), FIREFOX_TEST_ID),
        }
        log = self.local_app_data / "Orvanta" / "PelliportLog.txt"
        before = log.read_bytes().decode("cp1252") if log.exists() else ""
        for browser, arguments in runs.items():
            with self.subTest(request_from=browser):
                result = self.run_installed_program(*arguments)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, "")
        logged = log.read_bytes().decode("cp1252")[len(before):]
        self.assertEqual(logged.count(START_LINE), 2, logged)
        self.assertEqual(logged.count("[PelliportHost]|_Done!"), 2, logged)
        self.assertEqual({p.name: p.read_bytes() for p in scope.folder.glob("*.json")}, manifests)

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
        installed = {p.name: p.read_bytes() for p in scope.folder.iterdir()}

        # An upgrade whose program refuses to write the manifests (an id no
        # browser accepts) fails and leaves nothing half installed. The old
        # version was removed before (see PelliportHost.wxs), so it is
        # installed again.
        self.assertNotEqual(self.msiexec("/i", "failing", "CHROME_EXTENSION_IDS=abc"), 0)
        self.assertEqual(installed_products(), [])
        scope.assert_removed(self, existing)
        self.assertEqual(self.msiexec("/i", "higher"), 0)
        self.assert_installed("higher", test_origins, [FIREFOX_TEST_ID])
        self.assertEqual({p.name: p.read_bytes() for p in scope.folder.iterdir()}, installed)

        # An older one is refused and changes nothing.
        code = self.msiexec("/i", "lower")
        self.assertIn(code, (INSTALL_FAILURE, INSTALL_FAILURE & 0xFF))
        self.assert_installed("higher", test_origins, [FIREFOX_TEST_ID])
        self.assertEqual({p.name: p.read_bytes() for p in scope.folder.iterdir()}, installed)

        # Removal leaves nothing of ours, and every other key.
        self.assertEqual(self.msiexec("/x", "higher"), 0)
        self.assertEqual(installed_products(), [])
        scope.assert_removed(self, existing)
        for key in scope.foreign_keys:
            with self.subTest(kept=key):
                self.assertEqual(reg_value(key), r"C:\other\host.json")
        self.assertIn("0x1526", wine("reg", "query", ORVANTA_KEY, "/v", "WebSocketPort").stdout)


class PerUserLifecycleTest(Lifecycle, unittest.TestCase):
    SCOPE = "user"


class PerMachineLifecycleTest(Lifecycle, unittest.TestCase):
    SCOPE = "machine"


class BothPackagesTest(unittest.TestCase):
    """The per-user and the per-machine package installed at once: separate
    products, and removing one leaves the other as it was."""

    def test_each_removed_leaves_the_other(self):
        user, machine = Scope("user"), Scope("machine")
        codes = {"user": product_code(ARGS.msi), "machine": product_code(ARGS.machine_msi)}
        msi = {"user": windows_path(ARGS.msi), "machine": windows_path(ARGS.machine_msi)}
        program = ARGS.program.read_bytes()
        origins = [f"chrome-extension://{chromium_test_id()}/"]
        existing = {"user": user.existing(), "machine": machine.existing()}

        def install(name):
            self.assertEqual(wine("msiexec", "/i", msi[name], "/qn").returncode, 0)

        def remove(name):
            self.assertEqual(wine("msiexec", "/x", msi[name], "/qn").returncode, 0)

        install("user")
        install("machine")
        self.assertEqual(installed_products(), sorted(codes.values()))
        user.assert_installed(self, program, origins, [FIREFOX_TEST_ID])
        machine.assert_installed(self, program, origins, [FIREFOX_TEST_ID])

        remove("machine")
        self.assertEqual(installed_products(), [codes["user"]])
        machine.assert_removed(self, existing["machine"])
        user.assert_installed(self, program, origins, [FIREFOX_TEST_ID])

        install("machine")
        remove("user")
        self.assertEqual(installed_products(), [codes["machine"]])
        user.assert_removed(self, existing["user"])
        machine.assert_installed(self, program, origins, [FIREFOX_TEST_ID])

        remove("machine")
        self.assertEqual(installed_products(), [])
        machine.assert_removed(self, existing["machine"])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True, type=Path, help="the per-user package")
    parser.add_argument("--machine-msi", required=True, type=Path, help="the per-machine package")
    parser.add_argument("--program", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--prefix", required=True, type=Path, help="Wine prefix folder (made anew)")
    parser.add_argument("--wine", default=WINE[0], help="the Wine loader (default: tools/wine.sh)")
    ARGS, rest = parser.parse_known_args()
    ARGS.msi, ARGS.machine_msi, ARGS.program = ARGS.msi.resolve(), ARGS.machine_msi.resolve(), ARGS.program.resolve()
    WINE[0] = ARGS.wine
    for tool, package in ((WINE[0], "wine"), ("wixl", "wixl"), ("msiinfo", "msitools")):
        if shutil.which(tool) is None:
            print(f"{tool} is not installed (Debian's package {package}; tools/setup.sh installs it)")
            return 1
    for msi, target in ((ARGS.msi, "PelliportHost_msi"), (ARGS.machine_msi, "PelliportHost_machine_msi")):
        if not msi.is_file():
            print(f"no package at {msi}: build it with cmake --build <build folder> --target {target}")
            return 1
    return run_tests_in_fresh_prefix(ARGS.prefix, [sys.argv[0], *rest])


if __name__ == "__main__":
    sys.exit(main())
