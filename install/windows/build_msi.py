#!/usr/bin/python3
"""Builds a Windows package of PelliportHost from PelliportHost.wxs with wixl,
and mends what wixl leaves out with msitools' msiinfo and msibuild (Debian's
packages wixl and msitools; tools/setup.sh installs them): the per-user
package PelliportHost-<version>.msi, or with --scope machine the per-machine
package PelliportHost-<version>-machine.msi.

    build_msi.py --program build/windows/host/PelliportHost.exe [--scope user|machine]
                 [--output FILE] [--version X.Y.Z] [--chrome-extension IDS] [--firefox-extension IDS]

--scope              user (default): for the current user, no elevation;
                     machine: for all users, Program Files and HKEY_LOCAL_MACHINE
--version            default: the project's version in CMakeLists.txt
--output             default: the package's name (above) in the current folder
--chrome-extension   default allowed Chromium extensions (CHROME_EXTENSION_IDS)
--firefox-extension  default allowed Firefox extensions (FIREFOX_EXTENSION_IDS)
The ids are separated by commas; "" leaves that browser's list empty. Without
the options the defaults are the ids of the test extension of
install/test-extension. At installation, msiexec's CHROME_EXTENSION_IDS=...
and FIREFOX_EXTENSION_IDS=... replace them."""

import argparse
import base64
import hashlib
import json
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
WXS = HERE / "PelliportHost.wxs"
TEST_EXTENSION = ROOT / "install" / "test-extension" / "manifest.json"
TEST_FIREFOX_ID = "pelliport-test@kelmarq.example"
# What stands for an empty list in wixl's input (which cannot hold an empty
# value); the row is taken out of the package afterwards.
EMPTY = "none"
CHROMIUM_ID = re.compile(r"(chrome-extension://)?[a-p]{32}/?")
# name@domain or {guid}, of letters, digits and . _ + -
FIREFOX_ID = re.compile(r"[A-Za-z0-9._+{}-]*@[A-Za-z0-9._+@{}-]*|\{[A-Za-z0-9._+@{}-]*\}")
# msidbUpgradeAttributesVersionMaxInclusive
VERSION_MAX_INCLUSIVE = 512
# What ends each package's file name, by scope.
SCOPES = {"user": "", "machine": "-machine"}


def package_name(version, scope):
    return f"PelliportHost-{version}{SCOPES[scope]}.msi"


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*PelliportHost\s+VERSION\s+([0-9.]+)", text)
    if not match:
        sys.exit("build_msi.py: no project version in CMakeLists.txt")
    return match.group(1)


def check_version(version):
    """MSI versions: major.minor.build, at most 255.255.65535."""
    fields = version.split(".")
    if (len(fields) != 3 or not all(f.isdigit() for f in fields)
            or int(fields[0]) > 255 or int(fields[1]) > 255 or int(fields[2]) > 65535):
        sys.exit(f"build_msi.py: {version!r} is no MSI version (at most 255.255.65535)")


def test_extension_ids():
    """The test extension's ids: Chromium's id of its key (the first 128 bits
    of the key's SHA-256, written with the letters a to p), and its Firefox id."""
    manifest = json.loads(TEST_EXTENSION.read_text(encoding="utf-8"))
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    chromium = digest.translate(str.maketrans("0123456789abcdef", "abcdefghijklmnop"))
    gecko = manifest.get("browser_specific_settings", {}).get("gecko", {}).get("id", TEST_FIREFOX_ID)
    return chromium, gecko


def program_arch(program):
    """wixl's architecture for the program: from the machine field of its PE header."""
    data = program.read_bytes()
    if data[:2] != b"MZ" or len(data) < 0x40:
        sys.exit(f"build_msi.py: {program} is no Windows program")
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        sys.exit(f"build_msi.py: {program} is no Windows program")
    machine = struct.unpack_from("<H", data, offset + 4)[0]
    arches = {0x14C: "x86", 0x8664: "x64"}
    if machine not in arches:
        sys.exit(f"build_msi.py: {program} is for an unknown machine ({machine:#x})")
    return arches[machine]


def id_list(value, pattern, browser):
    ids = [i for i in re.split(r"[,;\s]+", value) if i]
    for i in ids:
        if not pattern.fullmatch(i):
            sys.exit(f"build_msi.py: not a {browser} extension id: {i!r}")
    return ",".join(ids)


def run(*command, cwd=None):
    result = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    if result.returncode != 0:
        sys.exit(f"build_msi.py: {' '.join(command)} failed ({result.returncode}):\n"
                 f"{result.stdout}{result.stderr}")
    return result.stdout


def patch_table(msi, table, work, change):
    """Exports a table, lets change() edit its rows (lists of fields), imports it again."""
    def export():
        lines = run("msiinfo", "export", str(msi), table).splitlines()
        return lines[:3], [line.split("\t") for line in lines[3:] if line]

    header, rows = export()
    wanted = change(rows)
    idt = work / f"{table}.idt"
    idt.write_bytes("\r\n".join(header + ["\t".join(row) for row in wanted]).encode("utf-8") + b"\r\n")
    run("msibuild", str(msi), "-i", str(idt))
    if export()[1] != wanted:
        sys.exit(f"build_msi.py: the table {table} of {msi} could not be changed")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, type=Path, help="the built PelliportHost.exe")
    parser.add_argument("--scope", choices=sorted(SCOPES), default="user")
    parser.add_argument("--version", default=None)
    parser.add_argument("--output", type=Path, default=None)
    parser.add_argument("--chrome-extension", default=None)
    parser.add_argument("--firefox-extension", default=None)
    args = parser.parse_args()

    version = args.version or project_version()
    check_version(version)
    output = (args.output or Path(package_name(version, args.scope))).resolve()
    if not args.program.is_file():
        sys.exit(f"build_msi.py: no program at {args.program}")
    # The product is 32-bit; the 64-bit build of the same program is packed
    # as a 64-bit package (where only 64-bit Windows programs can be tested).
    arch = program_arch(args.program)
    test_chromium, test_firefox = test_extension_ids()
    chromium = id_list(test_chromium if args.chrome_extension is None else args.chrome_extension,
                       CHROMIUM_ID, "Chromium")
    firefox = id_list(test_firefox if args.firefox_extension is None else args.firefox_extension,
                      FIREFOX_ID, "Firefox")
    if not chromium and not firefox:
        sys.exit("build_msi.py: give at least one extension id")

    with tempfile.TemporaryDirectory(prefix="pelliport-msi-") as scratch:
        work = Path(scratch)
        # wixl takes the files by names relative to where it runs.
        (work / "PelliportHost.exe").write_bytes(args.program.read_bytes())
        # The manifests' content until the installed program writes them: no
        # manifest a browser accepts.
        (work / "manifest-placeholder.json").write_text("{}\n", encoding="utf-8")
        built = work / output.name
        scope = ["-D", "PerMachine=1"] if args.scope == "machine" else []
        run("wixl", "--arch", arch, "-o", built.name, *scope,
            "-D", f"Version={version}",
            "-D", "ProgramFile=PelliportHost.exe",
            "-D", "ManifestPlaceholder=manifest-placeholder.json",
            "-D", f"ChromeExtensionIds={chromium or EMPTY}",
            "-D", f"FirefoxExtensionIds={firefox or EMPTY}",
            str(WXS), cwd=work)

        def include_same_version(rows):
            # Row fields: UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove, ActionProperty
            for row in rows:
                if row[6] == "WIX_UPGRADE_DETECTED":
                    row[4] = str(int(row[4]) | VERSION_MAX_INCLUSIVE)
            return rows

        def mend_properties(rows):
            kept = [row for row in rows
                    if not (row[0] in ("CHROME_EXTENSION_IDS", "FIREFOX_EXTENSION_IDS") and row[1] == EMPTY)]
            for row in kept:
                if row[0] == "SecureCustomProperties":
                    row[1] += ";CHROME_EXTENSION_IDS;FIREFOX_EXTENSION_IDS"
            return kept

        patch_table(built, "Upgrade", work, include_same_version)
        patch_table(built, "Property", work, mend_properties)
        output.parent.mkdir(parents=True, exist_ok=True)
        output.write_bytes(built.read_bytes())
    print(f"built {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
