#!/usr/bin/python3
"""Tests of the Windows packages as built, read on this machine with msitools
and pefile (no Windows needed): the program in each package is the built one
and says what it is; the per-user package installs for the current user, the
per-machine one for all users; each keeps one product per version line, and
runs the installed program to write the manifests.

    test_msi_package.py --msi PelliportHost-<version>.msi --machine-msi PelliportHost-<version>-machine.msi
                        --program PelliportHost.exe --version X.Y.Z"""

import argparse
import base64
import hashlib
import json
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD_MSI = HERE / "build_msi.py"
TEST_EXTENSION = HERE.parent / "test-extension" / "manifest.json"
ARGS = None

# The Windows versions of the application manifest's supportedOS.
SUPPORTED_OS = {
    "Windows 7": "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
    "Windows 8": "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
    "Windows 8.1": "1f676c76-80e1-4239-95bb-83d0f6d0da78",
    "Windows 10 and 11": "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",
}


def table(msi, name):
    """The rows of a table as dictionaries of its column names."""
    lines = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def properties(msi):
    return {row["Property"]: row["Value"] for row in table(msi, "Property")}


def summary(msi):
    return subprocess.run(["msiinfo", "suminfo", str(msi)], capture_output=True, text=True, check=True).stdout


def folder_path(msi, folder="INSTALLDIR"):
    """The folder's names from the root, the root folder by its property."""
    directories = {row["Directory"]: row for row in table(msi, "Directory")}
    path = []
    while folder != "TARGETDIR":
        parent = directories[folder]["Directory_Parent"]
        path.insert(0, directories[folder]["DefaultDir"] if parent != "TARGETDIR" else folder)
        folder = parent
    return path


# Registry roots of the Registry table.
HKCU, HKLM = "1", "2"


def packages():
    """Each package with the registry root of its scope."""
    return [("per user", ARGS.msi, HKCU), ("per machine", ARGS.machine_msi, HKLM)]


def test_chromium_id():
    manifest = json.loads(TEST_EXTENSION.read_text(encoding="utf-8"))
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return digest.translate(str.maketrans("0123456789abcdef", "abcdefghijklmnop"))


class PackageTest(unittest.TestCase):
    def test_product_and_version(self):
        # A package of the program's architecture.
        import pefile  # Debian's python3-pefile
        with pefile.PE(str(ARGS.program), fast_load=True) as pe:
            intel = pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
        for scope, msi, _ in packages():
            with self.subTest(scope):
                props = properties(msi)
                self.assertEqual(props["ProductVersion"], ARGS.version)
                self.assertIn("Template: Intel;1033" if intel else "Template: x64;1033", summary(msi))
                self.assertEqual(props["Manufacturer"], "Kelmarq")
                self.assertEqual(props["ProductName"], "PelliportHost - Orvanta Browser Add-In Host")
                # The test defaults of the allowed extensions, which msiexec's public
                # properties replace; secure, so that a managed installation passes them on.
                self.assertEqual(props["CHROME_EXTENSION_IDS"], test_chromium_id())
                self.assertEqual(props["FIREFOX_EXTENSION_IDS"], "pelliport-test@kelmarq.example")
                secure = props["SecureCustomProperties"].split(";")
                for name in ("CHROME_EXTENSION_IDS", "FIREFOX_EXTENSION_IDS", "WIX_UPGRADE_DETECTED",
                             "WIX_DOWNGRADE_DETECTED"):
                    self.assertIn(name, secure)

    def test_per_user_without_elevation(self):
        self.assertNotIn("ALLUSERS", properties(ARGS.msi))
        word_count = int(next(line for line in summary(ARGS.msi).splitlines() if line.startswith("Source:")).split()[1])
        self.assertTrue(word_count & 8, "the package asks for elevation")
        self.assertEqual(folder_path(ARGS.msi), ["LocalAppDataFolder", "Programs", "Kelmarq", "PelliportHost"])
        # Per-user components keep their key path in HKEY_CURRENT_USER.
        registry = {row["Registry"]: row for row in table(ARGS.msi, "Registry")}
        for component in table(ARGS.msi, "Component"):
            with self.subTest(component["Component"]):
                self.assertEqual(registry[component["KeyPath"]]["Root"], HKCU)
        # Every folder of ours is removed with the package.
        removed = {row["DirProperty"] for row in table(ARGS.msi, "RemoveFile") if row["FileName"] == ""}
        self.assertEqual(removed, {"LocalProgramsFolder", "KelmarqFolder", "INSTALLDIR"})

    def test_per_machine_for_all_users(self):
        self.assertEqual(properties(ARGS.machine_msi)["ALLUSERS"], "1")
        word_count = int(next(line for line in summary(ARGS.machine_msi).splitlines()
                              if line.startswith("Source:")).split()[1])
        self.assertFalse(word_count & 8, "a per-machine package needs elevation")
        # The 32-bit Program Files folder, whatever the Windows.
        self.assertEqual(folder_path(ARGS.machine_msi), ["ProgramFilesFolder", "Kelmarq", "PelliportHost"])
        registry = {row["Registry"]: row for row in table(ARGS.machine_msi, "Registry")}
        self.assertEqual({row["Root"] for row in registry.values()}, {HKLM})
        for component in table(ARGS.machine_msi, "Component"):
            with self.subTest(component["Component"]):
                self.assertEqual(registry[component["KeyPath"]]["Root"], HKLM)
        removed = {row["DirProperty"] for row in table(ARGS.machine_msi, "RemoveFile") if row["FileName"] == ""}
        self.assertEqual(removed, {"KelmarqFolder", "INSTALLDIR"})

    def test_the_two_packages_are_separate_products(self):
        """Both may be installed at once: neither upgrades the other, and no
        component is shared between their folders."""
        user, machine = properties(ARGS.msi), properties(ARGS.machine_msi)
        self.assertNotEqual(user["UpgradeCode"].upper(), machine["UpgradeCode"].upper())
        for name in ("WIX_UPGRADE_DETECTED", "WIX_DOWNGRADE_DETECTED"):
            with self.subTest(name):
                codes = {row["UpgradeCode"].upper() for row in table(ARGS.machine_msi, "Upgrade")
                         if row["ActionProperty"] == name}
                self.assertEqual(codes, {machine["UpgradeCode"].upper()})
        user_ids = {row["ComponentId"].upper() for row in table(ARGS.msi, "Component")}
        machine_ids = {row["ComponentId"].upper() for row in table(ARGS.machine_msi, "Component")}
        self.assertEqual(user_ids & machine_ids, set())

    def test_files_and_keys(self):
        for scope, msi, root in packages():
            with self.subTest(scope):
                files = {row["File"]: row for row in table(msi, "File")}
                names = {row["FileName"]: key for key, row in files.items()}
                self.assertEqual(sorted(names), ["PelliportHost.exe", "com.kelmarq.pelliport.firefox.json",
                                                 "com.kelmarq.pelliport.json"])
                components = {row["Component"]: row for row in table(msi, "Component")}
                for key in names.values():
                    self.assertEqual(components[files[key]["Component_"]]["Directory_"], "INSTALLDIR")
                keys = {(row["Root"], row["Key"], row["Name"]): row["Value"] for row in table(msi, "Registry")}
                host = "NativeMessagingHosts\\com.kelmarq.pelliport"
                self.assertEqual(keys[(root, f"Software\\Google\\Chrome\\{host}", "")],
                                 f"[#{names['com.kelmarq.pelliport.json']}]")
                self.assertEqual(keys[(root, f"Software\\Microsoft\\Edge\\{host}", "")],
                                 f"[#{names['com.kelmarq.pelliport.json']}]")
                self.assertEqual(keys[(root, f"Software\\Mozilla\\{host}", "")],
                                 f"[#{names['com.kelmarq.pelliport.firefox.json']}]")

                # The program in the package is the one built.
                with tempfile.TemporaryDirectory() as scratch:
                    subprocess.run(["msiextract", "-C", scratch, str(msi)], check=True, capture_output=True)
                    extracted = list(Path(scratch).rglob("PelliportHost.exe"))
                    self.assertEqual(len(extracted), 1)
                    self.assertEqual(extracted[0].read_bytes(), ARGS.program.read_bytes())

    def test_upgrade_same_version_and_downgrade(self):
        for scope, msi, _ in packages():
            with self.subTest(scope):
                rows = {row["ActionProperty"]: row for row in table(msi, "Upgrade")}
                upgrade, downgrade = rows["WIX_UPGRADE_DETECTED"], rows["WIX_DOWNGRADE_DETECTED"]
                # Every version up to this one's, itself included (512), is removed first.
                self.assertEqual((upgrade["VersionMin"], upgrade["VersionMax"]), ("", ARGS.version))
                self.assertTrue(int(upgrade["Attributes"]) & 512,
                                "a rebuild of the same version would install beside it")
                self.assertFalse(int(upgrade["Attributes"]) & 2)
                # A newer one is only detected (2), this version itself not (no 256)...
                self.assertEqual((downgrade["VersionMin"], downgrade["VersionMax"]), (ARGS.version, ""))
                self.assertEqual(int(downgrade["Attributes"]) & (2 | 256), 2)
                # ...and refuses the installation with a message.
                conditions = {row["Condition"]: row["Description"] for row in table(msi, "LaunchCondition")}
                self.assertIn("neuere Version", conditions["NOT WIX_DOWNGRADE_DETECTED"])
                sequence = {row["Action"]: int(row["Sequence"]) for row in table(msi, "InstallExecuteSequence")}
                self.assertLess(sequence["FindRelatedProducts"], sequence["LaunchConditions"])
                # The old product is removed before the new one is installed.
                self.assertLess(sequence["RemoveExistingProducts"], sequence["InstallInitialize"])

    def test_installed_program_writes_the_manifests(self):
        for scope, msi, root in packages():
            with self.subTest(scope):
                actions = {row["Action"]: row for row in table(msi, "CustomAction")}
                action = actions["WriteBrowserManifests"]
                kind = int(action["Type"])
                # 18: an installed file run as a program; 1024: deferred, so that the
                # file is in place; its exit code counts (no 64); 2048: with the
                # installer's rights, not the user's, for the per-machine package,
                # whose folder only administrators change.
                self.assertEqual(kind & 0x3F, 18)
                self.assertTrue(kind & 1024)
                self.assertFalse(kind & 64)
                self.assertEqual(bool(kind & 2048), root == HKLM)
                files = {row["File"]: row["FileName"] for row in table(msi, "File")}
                self.assertEqual(files[action["Source"]], "PelliportHost.exe")
                self.assertTrue(action["Target"].startswith("--write-manifests "), action["Target"])
                self.assertIn('"[CHROME_EXTENSION_IDS]"', action["Target"])
                self.assertIn('"[FIREFOX_EXTENSION_IDS]"', action["Target"])
                rows = {row["Action"]: row for row in table(msi, "InstallExecuteSequence")}
                at = int(rows["WriteBrowserManifests"]["Sequence"])
                self.assertLess(int(rows["InstallFiles"]["Sequence"]), at)
                self.assertLess(at, int(rows["InstallFinalize"]["Sequence"]))
                self.assertEqual(rows["WriteBrowserManifests"]["Condition"], 'NOT REMOVE~="ALL"')

    def test_build_options(self):
        with tempfile.TemporaryDirectory() as scratch:
            def build(*options):
                return subprocess.run([sys.executable, str(BUILD_MSI), "--program", str(ARGS.program), *options],
                                      cwd=scratch, capture_output=True, text=True)

            for scope, name in (("user", "PelliportHost-1.2.3.msi"), ("machine", "PelliportHost-1.2.3-machine.msi")):
                with self.subTest(scope):
                    result = build("--scope", scope, "--version", "1.2.3", "--chrome-extension", "",
                                   "--firefox-extension", "a@b, {c}")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    props = properties(Path(scratch) / name)
                    self.assertEqual(props["ProductVersion"], "1.2.3")
                    self.assertEqual(props.get("ALLUSERS"), "1" if scope == "machine" else None)
                    self.assertNotIn("CHROME_EXTENSION_IDS", props)
                    self.assertEqual(props["FIREFOX_EXTENSION_IDS"], "a@b,{c}")
            for options, message in [(("--version", "256.0.0"), "no MSI version"),
                                     (("--version", "1.2"), "no MSI version"),
                                     (("--chrome-extension", "abc"), "not a Chromium extension id"),
                                     (("--firefox-extension", "plain"), "not a Firefox extension id"),
                                     (("--chrome-extension", "", "--firefox-extension", ""), "at least one"),
                                     (("--scope", "everyone"), "invalid choice")]:
                with self.subTest(options):
                    result = build(*options, "--output", "refused.msi")
                    self.assertNotEqual(result.returncode, 0)
                    self.assertIn(message, result.stderr)
                    self.assertFalse((Path(scratch) / "refused.msi").exists())


class ProgramTest(unittest.TestCase):
    """The program's version resource and application manifest, as its PE file holds them."""

    def setUp(self):
        import pefile  # Debian's python3-pefile
        self.pe = pefile.PE(str(ARGS.program))
        self.addCleanup(self.pe.close)

    def test_version_resource(self):
        strings = {}
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for entry in info.StringTable:
                    strings.update({k.decode(): v.decode() for k, v in entry.entries.items()})
        self.assertEqual(strings["FileVersion"], ARGS.version)
        self.assertEqual(strings["ProductVersion"], ARGS.version)
        self.assertEqual(strings["CompanyName"], "Kelmarq")
        self.assertEqual(strings["OriginalFilename"], "PelliportHost.exe")
        self.assertIn("Orvanta Browser Add-In Host", strings["ProductName"])
        self.assertIn("Orvanta Browser Add-In Host", strings["FileDescription"])
        major, minor, patch = (int(f) for f in ARGS.version.split("."))
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), ((major << 16) | minor, patch << 16))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), ((major << 16) | minor, patch << 16))

    def test_application_manifest(self):
        import pefile
        manifests = []
        for kind in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
                for name in kind.directory.entries:
                    for language in name.directory.entries:
                        data = language.data.struct
                        manifests.append((name.id, self.pe.get_data(data.OffsetToData, data.Size).decode("utf-8")))
        self.assertEqual([m[0] for m in manifests], [1], "one manifest, for the process")
        text = manifests[0][1]
        self.assertIn('<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', text)
        for system, guid in SUPPORTED_OS.items():
            with self.subTest(system):
                self.assertIn(f'<supportedOS Id="{{{guid}}}"/>', text)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True, type=Path, help="the per-user package")
    parser.add_argument("--machine-msi", required=True, type=Path, help="the per-machine package")
    parser.add_argument("--program", required=True, type=Path)
    parser.add_argument("--version", required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.msi, ARGS.machine_msi, ARGS.program = ARGS.msi.resolve(), ARGS.machine_msi.resolve(), ARGS.program.resolve()
    for msi, target in ((ARGS.msi, "PelliportHost_msi"), (ARGS.machine_msi, "PelliportHost_machine_msi")):
        if not msi.is_file():
            print(f"no package at {msi}: build it with cmake --build <build folder> --target {target} "
                  "(it needs wixl, which tools/setup.sh installs)")
            return 1
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
