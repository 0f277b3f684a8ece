#!/usr/bin/python3
"""Tests of install.sh and uninstall.sh with the built host as the program
that writes the manifests: for the current user in a scratch HOME, and with
--system for every user (as root only; see SystemFolders for where those
manifests land): where the manifests go, what they say, who may read them,
that both scripts can run twice, and that nothing else changes.

    test_install_linux.py --host build/linux/host/PelliportHost"""

import argparse
import json
import os
import shutil
import stat
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

MANIFEST = f"{HOST_NAME}.json"
# Each browser's manifest in HOME.
CHROMIUM = Path(".config/chromium/NativeMessagingHosts") / MANIFEST
CHROME = Path(".config/google-chrome/NativeMessagingHosts") / MANIFEST
EDGE = Path(".config/microsoft-edge/NativeMessagingHosts") / MANIFEST
BRAVE = Path(".config/BraveSoftware/Brave-Browser/NativeMessagingHosts") / MANIFEST
VIVALDI = Path(".config/vivaldi/NativeMessagingHosts") / MANIFEST
FIREFOX = Path(".mozilla/native-messaging-hosts") / MANIFEST
CHROMIUM_FAMILY = [CHROMIUM, CHROME, EDGE, BRAVE, VIVALDI]
USER_MANIFESTS = [*CHROMIUM_FAMILY, FIREFOX]

# The system-wide folders; Brave reads Chrome's.
SYSTEM_CHROMIUM_FAMILY = ["/etc/chromium/native-messaging-hosts", "/etc/opt/chrome/native-messaging-hosts",
                          "/etc/opt/edge/native-messaging-hosts", "/etc/opt/vivaldi/native-messaging-hosts"]
# Firefox reads the Mozilla folder of the library folder it was built for,
# which its package makes: the manifest goes to each one there is.
SYSTEM_FIREFOX = ["/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"]


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


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def new_folders(paths, root, before):
    """The folders above the paths (below root) that were not there before, with a closing slash."""
    found = set()
    for relative in paths:
        for parent in Path(relative).parents:
            if parent != Path(".") and str(parent) + "/" not in before:
                found.add(str(parent) + "/")
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
        self.assertEqual(result.stderr, "")

        for relative in USER_MANIFESTS:
            firefox = relative == FIREFOX
            key, allowed = (("allowed_extensions", [FIREFOX_ID]) if firefox
                            else ("allowed_origins", [f"chrome-extension://{CHROME_ID}/"]))
            with self.subTest(str(relative)):
                manifest = self.manifest(relative)
                self.assertRegex(manifest["name"], r"^[a-z0-9_]+(\.[a-z0-9_]+)*$")
                self.assertEqual(manifest["name"], HOST_NAME)
                self.assertEqual(manifest["type"], "stdio")
                self.assertEqual(manifest["path"], str(self.program))
                self.assertEqual(manifest[key], allowed)
                self.assertEqual(set(manifest), {"name", "description", "path", "type", key})
                # The user's alone, whatever the umask.
                self.assertEqual(mode(self.home / relative), 0o600)

        added = set(snapshot(self.home)) - set(before)
        made = new_folders(USER_MANIFESTS, self.home, before)
        self.assertEqual(added, {str(p) for p in USER_MANIFESTS} | made)
        for folder in made:
            with self.subTest(folder=folder):
                self.assertEqual(mode(self.home / folder), 0o700)
        self.assertEqual({k: v for k, v in snapshot(self.home).items() if k in before}, before)

    def test_install_twice_then_uninstall_twice(self):
        before = snapshot(self.home)
        args = ("--chrome-extension", f"chrome-extension://{CHROME_ID}/", "--chrome-extension",
                "a" * 32, "--firefox-extension", "{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}")
        self.assertEqual(self.install(*args).returncode, 0)
        first = snapshot(self.home)
        self.assertEqual(self.install(*args).returncode, 0)
        self.assertEqual(snapshot(self.home), first)
        for relative in CHROMIUM_FAMILY:
            self.assertEqual(self.manifest(relative)["allowed_origins"],
                             [f"chrome-extension://{CHROME_ID}/", f"chrome-extension://{'a' * 32}/"])

        for attempt in ("first", "second"):
            with self.subTest(attempt):
                result = self.run_script("uninstall.sh")
                self.assertEqual(result.returncode, 0, result.stderr)
                # The other host's manifest keeps the Chromium folder; the folders
                # made for the other browsers go again.
                self.assertEqual(snapshot(self.home), before)
        self.assertIn("not installed", result.stdout)

    def test_only_the_families_given_get_a_manifest(self):
        cases = [
            (("--chrome-extension", CHROME_ID), set(CHROMIUM_FAMILY)),
            (("--firefox-extension", FIREFOX_ID), {FIREFOX}),
        ]
        for args, expected in cases:
            with self.subTest(args):
                self.assertEqual(self.install(*args).returncode, 0)
                present = {p for p in USER_MANIFESTS if (self.home / p).exists()}
                self.assertEqual(present, expected)
                self.assertEqual(self.run_script("uninstall.sh").returncode, 0)

    def test_profiles_under_xdg_config_home_when_it_is_absolute(self):
        config = self.root / "config"
        cases = [(str(config), config), ("relative/config", self.home / ".config")]
        for value, base in cases:
            with self.subTest(value):
                env = {"XDG_CONFIG_HOME": value}
                self.assertEqual(self.install("--chrome-extension", CHROME_ID, env=env).returncode, 0)
                for relative in CHROMIUM_FAMILY:
                    self.assertTrue((base / relative.relative_to(".config")).is_file(), relative)
                self.assertEqual(self.run_script("uninstall.sh", env=env).returncode, 0)
                for browser in ("google-chrome", "microsoft-edge", "BraveSoftware", "vivaldi"):
                    self.assertFalse((base / browser).exists(), browser)

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


class SystemFolders:
    """The browsers' system-wide folders as the scripts see them. Where the
    kernel allows it, every run gets a private view of /etc, /usr/lib and
    /usr/lib64 (a mount namespace with an overlay on each, whose changes land
    in a scratch folder), so that the machine's folders, which its browsers
    read, never change, and what a run wrote is there to inspect; elsewhere
    the real folders, with what the runs made removed again by cleanup()."""

    ROOTS = ["/etc", "/usr/lib", "/usr/lib64"]

    def __init__(self, scratch):
        self.scratch = Path(scratch)
        self.roots = [root for root in self.ROOTS if os.path.isdir(root) and not os.path.islink(root)]
        self.upper = {root: self.scratch / "changes" / root.strip("/").replace("/", "-") for root in self.roots}
        self.existed = {folder for folder in self.watched() if os.path.exists(folder)}
        self.isolated = self._run(["touch", "/etc/.pelliport-probe"], isolated=True).returncode == 0 and \
            (self.upper["/etc"] / ".pelliport-probe").exists()
        if self.isolated:
            (self.upper["/etc"] / ".pelliport-probe").unlink()

    @staticmethod
    def watched():
        """Every folder that an installation may make, deepest first."""
        folders = []
        for folder in [*SYSTEM_CHROMIUM_FAMILY, *SYSTEM_FIREFOX]:
            folders += [folder, os.path.dirname(folder)]
        return sorted(set(folders), key=len, reverse=True)

    def _run(self, command, env=None, isolated=None):
        if isolated is None:
            isolated = self.isolated
        if isolated:
            mounts = []
            for root in self.roots:
                upper, work = self.upper[root], self.scratch / "work" / self.upper[root].name
                upper.mkdir(parents=True, exist_ok=True)
                work.mkdir(parents=True, exist_ok=True)
                mounts.append(f"mount -t overlay overlay -o lowerdir={root},upperdir={upper},workdir={work} {root}")
            command = ["unshare", "--mount", "--propagation", "private", "sh", "-ec",
                       " && ".join(mounts) + ' && exec "$@"', "sh", *command]
        return subprocess.run(command, env=env, capture_output=True, text=True, timeout=120)

    def run(self, command, env=None):
        return self._run(command, env)

    def where(self, path):
        """Where a file that a run wrote at the path is seen from here."""
        if not self.isolated:
            return Path(path)
        root = max((r for r in self.roots if path.startswith(r + "/")), key=len)
        return self.upper[root] / os.path.relpath(path, root)

    def leftovers(self):
        """What the runs left: files, and folders that the machine has not."""
        if self.isolated:
            left = []
            for root, upper in self.upper.items():
                for folder, dirs, files in os.walk(upper):
                    for name in files:
                        left.append(os.path.join(folder, name))
                    for name in dirs:
                        real = os.path.join(root, os.path.relpath(os.path.join(folder, name), upper))
                        if not os.path.isdir(real):
                            left.append(real + "/")
            return sorted(left)
        left = [os.path.join(folder, MANIFEST) for folder in self.watched()
                if os.path.lexists(os.path.join(folder, MANIFEST))]
        return sorted(left + [folder + "/" for folder in self.watched()
                              if folder not in self.existed and os.path.isdir(folder)])

    def cleanup(self):
        if self.isolated:
            return
        for folder in self.watched():
            manifest = os.path.join(folder, MANIFEST)
            if os.path.lexists(manifest):
                os.unlink(manifest)
            if folder not in self.existed and os.path.isdir(folder):
                shutil.rmtree(folder, ignore_errors=True)


class SystemInstallTest(unittest.TestCase):
    """install.sh --system and uninstall.sh --system, as root."""

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            print("SKIPPED: install.sh --system needs root (CI runs as root)", file=sys.stderr)
            raise unittest.SkipTest("install.sh --system needs root")

    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.root = Path(scratch.name)
        self.root.chmod(0o755)
        self.system = SystemFolders(self.root / "system")
        self.addCleanup(self.system.cleanup)
        if not self.system.isolated:
            print("\nNOTE: no private mount namespace here: the test writes into the real system-wide folders "
                  "and removes what it made afterwards", file=sys.stderr)
        # Where an administrator installs it: a folder every user can enter.
        self.program = self.root / "opt" / "pelliport" / "PelliportHost"
        self.program.parent.mkdir(parents=True)
        self.program.parent.parent.chmod(0o755)
        self.program.parent.chmod(0o755)
        shutil.copy2(HOST, self.program)
        self.program.chmod(0o755)
        self.home = self.root / "home"
        self.home.mkdir()
        # The Firefox folders that the machine has, which get the manifest; /usr/lib's when none.
        firefox = [f for f in SYSTEM_FIREFOX if os.path.isdir(os.path.dirname(f))] or SYSTEM_FIREFOX[:1]
        self.expected = {os.path.join(f, MANIFEST): False for f in SYSTEM_CHROMIUM_FAMILY}
        self.expected.update({os.path.join(f, MANIFEST): True for f in firefox})

    def run_script(self, name, *args, user=None):
        environ = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.home)}
        command = ["bash", str(HERE / name), *args]
        if user is not None:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *command]
        return self.system.run(command, env=environ)

    def install(self, *args):
        return self.run_script("install.sh", "--system", "--program", str(self.program), *args)

    def test_install_for_every_user_then_remove(self):
        self.assertEqual(self.system.leftovers(), [], "the machine has our manifests already")
        guid = "{0b7c8d2e-1f3a-4b5c-9d6e-7f8a9b0c1d2e}"
        for attempt in ("first", "again"):
            with self.subTest(install=attempt):
                result = self.install("--chrome-extension", CHROME_ID, "--firefox-extension", guid)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, "", "no warning for a program of root's")
                self.assertIn("for the browsers of every user", result.stdout)
                for path, firefox in self.expected.items():
                    with self.subTest(path):
                        written = self.system.where(path)
                        manifest = json.loads(written.read_text(encoding="utf-8"))
                        self.assertEqual(manifest["name"], HOST_NAME)
                        self.assertEqual(manifest["path"], str(self.program))
                        if firefox:
                            self.assertEqual(manifest["allowed_extensions"], [guid])
                        else:
                            self.assertEqual(manifest["allowed_origins"], [f"chrome-extension://{CHROME_ID}/"])
                        # Every user's browser reads it; only root changes it.
                        self.assertEqual(mode(written), 0o644)
                        self.assertEqual(os.lstat(written).st_uid, 0)
                        self.assertEqual(sorted(os.listdir(written.parent)), [MANIFEST], "no other file beside it")
                made = [left for left in self.system.leftovers() if left.endswith("/")]
                for folder in made:
                    with self.subTest(folder=folder):
                        self.assertEqual(mode(self.system.where(folder.rstrip("/"))), 0o755)
                self.assertEqual(sorted(left for left in self.system.leftovers() if not left.endswith("/")),
                                 sorted(str(self.system.where(path)) for path in self.expected)
                                 if self.system.isolated else sorted(self.expected))

        # The host's self-check, for a user without manifests of his own, finds
        # every browser's manifest in the system-wide folders.
        check = self.system.run([str(self.program), "--check"],
                                env={"HOME": str(self.home), "PATH": os.environ.get("PATH", "/usr/bin:/bin")})
        rows = {line[6:].split(" ")[0] + " " + line[6:].split(" ")[1]: line for line in check.stdout.splitlines()
                if len(line) > 6 and line[6:].split(" ")[1:2] in (["manifest"], ["program"])}
        for browser, folder in [("Chromium", SYSTEM_CHROMIUM_FAMILY[0]), ("Chrome", SYSTEM_CHROMIUM_FAMILY[1]),
                                ("Edge", SYSTEM_CHROMIUM_FAMILY[2]), ("Brave", SYSTEM_CHROMIUM_FAMILY[1]),
                                ("Vivaldi", SYSTEM_CHROMIUM_FAMILY[3])]:
            with self.subTest(check=browser):
                self.assertIn(os.path.join(folder, MANIFEST), rows.get(f"{browser} manifest", ""), check.stdout)
                self.assertTrue(rows.get(f"{browser} program", "").startswith("OK"), check.stdout)
        self.assertTrue(rows.get("Firefox program", "").startswith("OK"), check.stdout)

        for attempt in ("first", "again"):
            with self.subTest(remove=attempt):
                result = self.run_script("uninstall.sh", "--system")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.system.leftovers(), [])
        self.assertIn("not installed for every user", result.stdout)

    def test_refusals_write_nothing(self):
        closed = self.root / "closed"
        closed.mkdir(mode=0o700)
        closed.chmod(0o700)
        shutil.copy2(HOST, closed / "PelliportHost")
        cases = [
            ("a program in a folder others cannot enter",
             ("--system", "--program", str(closed / "PelliportHost"), "--chrome-extension", CHROME_ID), None, 1,
             f'could not start "{closed}/PelliportHost": other users cannot enter "{closed}" (mode 0700)'),
            ("not as root", ("--system", "--program", str(self.program), "--chrome-extension", CHROME_ID), 65534, 2,
             "run it as root"),
            ("a wrong id", ("--system", "--program", str(self.program), "--chrome-extension", "abc"), None, 2,
             "not a Chromium extension id"),
        ]
        for name, args, user, code, message in cases:
            with self.subTest(name):
                result = self.run_script("install.sh", *args, user=user)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(self.system.leftovers(), [])
        result = self.run_script("uninstall.sh", "--system", user=65534)
        self.assertEqual(result.returncode, 2)
        self.assertIn("run it as root", result.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--host", required=True, type=Path, help="the built PelliportHost")
    options, rest = parser.parse_known_args()
    HOST = options.host.resolve()
    unittest.main(argv=[sys.argv[0], *rest])
