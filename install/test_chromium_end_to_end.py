#!/usr/bin/python3
"""End-to-end test through a real browser: installs the host for a scratch
HOME with install/linux/install.sh, starts Debian's Chromium headless with the
test extension, which sends one request of each kind through native
messaging, and checks what a user's request leaves behind: the host's log, the
work folders and files, and the notifications that reach a WebSocket server
standing in for the desktop application (install/end_to_end.py).

As root it runs twice more with a managed policy file of Chromium's
(/etc/chromium/policies/managed/pelliport-end-to-end-test.json, removed
again afterwards, with the folders it had to make): a NativeMessagingBlocklist
of "*" with the host on the NativeMessagingAllowlist still captures, and
--check says that Chromium starts the host; the blocklist alone keeps
Chromium from starting the host, the extension gets the browser's error and
--check fails for Chromium's policy.

    test_chromium_end_to_end.py --host build/linux/host/PelliportHost
        [--chromium PATH] [--timeout SECONDS] [--pending GROUP,...] [--keep]

Prints SKIPPED and exits 0 when no Chromium is installed; the runs under
policies print SKIPPED when not run as root."""

import argparse
import base64
import hashlib
import json
import os
import shutil
import sys
from pathlib import Path

from end_to_end import EXTENSION, HOST_NAME, add_common_arguments, report_rows, run_blocked, run_end_to_end

# Debian's Chromium reads its managed policies from every file in this folder.
POLICY_FOLDER = Path("/etc/chromium/policies/managed")
POLICY_FILE = POLICY_FOLDER / "pelliport-end-to-end-test.json"
# What Chromium answers an extension whose host its policies block.
FORBIDDEN = "Access to the native messaging host was disabled by the system administrator."


def extension_id(manifest):
    """Chromium's id of an extension with a fixed key: the first 128 bits of
    the SHA-256 of the key, written with the letters a to p."""
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return digest.translate(str.maketrans("0123456789abcdef", "abcdefghijklmnop"))


class ManagedPolicy:
    """Chromium's managed policy file of the test while the block runs; the
    file and the folders made for it are removed again, also on a failure."""

    def __init__(self, policies):
        self.policies = policies
        self.made = []

    def __enter__(self):
        if POLICY_FILE.exists():
            raise RuntimeError(f"{POLICY_FILE} exists already: an earlier run was cut short; remove it")
        others = sorted(POLICY_FOLDER.glob("*")) if POLICY_FOLDER.is_dir() else []
        if others:
            print(f"note: Chromium's other managed policies apply as well: {[str(p) for p in others]}")
        for folder in (POLICY_FOLDER.parent, POLICY_FOLDER):
            if not folder.exists():
                folder.mkdir(mode=0o755)
                self.made.append(folder)
        POLICY_FILE.write_text(json.dumps(self.policies, indent=2) + "\n", encoding="utf-8")
        return self

    def __exit__(self, *exception):
        POLICY_FILE.unlink(missing_ok=True)
        for folder in reversed(self.made):
            folder.rmdir()
        return False


def policy_row(status, says):
    """A check of --check's row "Chromium policy"; for FAIL also that no
    other row fails (the stand-in listens) and the exit code is 1."""
    def after(run, checks):
        code, report = run.self_check()
        rows = report_rows(report, "Chromium policy")
        checks.check("policy", f"--check: Chromium policy {status}: {says}",
                     any(row.startswith(status) and says in row for row in rows), "\n".join(rows) or report)
        if status == "FAIL":
            others = [line for line in report.splitlines()
                      if line.startswith("FAIL") and not line[6:].startswith("Chromium policy ")]
            checks.check("policy", "--check fails for Chromium's policy alone, with exit code 1",
                         code == 1 and not others, f"exit code {code}\n{report}")
    return after


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_common_arguments(parser)
    parser.add_argument("--chromium", default=shutil.which("chromium"), help="the browser (default: chromium)")
    args = parser.parse_args()
    if not args.chromium or not Path(args.chromium).exists():
        print("SKIPPED: Chromium end-to-end test: no Chromium is installed "
              "(tools/setup.sh installs Debian's chromium where it can)")
        return 0

    extension = extension_id(json.loads((EXTENSION / "manifest.json").read_text(encoding="utf-8")))
    install = ["--chrome-extension", extension]

    def start_browser(run):
        run.start_browser("chromium", [
            args.chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            f"--user-data-dir={run.config / 'chromium'}", f"--load-extension={EXTENSION}",
            "--enable-logging=stderr", "about:blank"])

    status = run_end_to_end("Chromium", args, install, start_browser)
    if os.geteuid() != 0:
        print(f"SKIPPED: Chromium end-to-end test under managed policies: only root may write {POLICY_FOLDER}")
        return status

    with ManagedPolicy({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": [HOST_NAME]}):
        status |= run_end_to_end(
            "Chromium (blocklist *, the host on the allowlist)", args, install, start_browser,
            after=policy_row("OK", f"Chromium starts this host: NativeMessagingBlocklist at {POLICY_FILE} holds "
                                   f"\"*\", and NativeMessagingAllowlist at {POLICY_FILE} lists {HOST_NAME}"))
    with ManagedPolicy({"NativeMessagingBlocklist": ["*"]}):
        status |= run_blocked(
            "Chromium (blocklist *)", args, install, start_browser, FORBIDDEN,
            after=policy_row("FAIL", f"Chromium does not start this host; add \"{HOST_NAME}\" to "
                                     f"NativeMessagingAllowlist at {POLICY_FILE}"))
    return status


if __name__ == "__main__":
    sys.exit(main())
