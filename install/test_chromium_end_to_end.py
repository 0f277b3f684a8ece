#!/usr/bin/python3
"""End-to-end test through a real browser: installs the host for a scratch
HOME with install/linux/install.sh, starts Debian's Chromium headless with the
test extension, which sends one request of each kind through native
messaging, and checks what a user's request leaves behind: the host's log, the
work folders and files, and the notifications that reach a WebSocket server
standing in for the desktop application (install/end_to_end.py).

    test_chromium_end_to_end.py --host build/linux/host/PelliportHost
        [--chromium PATH] [--timeout SECONDS] [--pending GROUP,...] [--keep]

Prints SKIPPED and exits 0 when no Chromium is installed."""

import argparse
import base64
import hashlib
import json
import shutil
import sys
from pathlib import Path

from end_to_end import EXTENSION, add_common_arguments, run_end_to_end


def extension_id(manifest):
    """Chromium's id of an extension with a fixed key: the first 128 bits of
    the SHA-256 of the key, written with the letters a to p."""
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return digest.translate(str.maketrans("0123456789abcdef", "abcdefghijklmnop"))


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

    def start_browser(run):
        run.start_browser("chromium", [
            args.chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            f"--user-data-dir={run.config / 'chromium'}", f"--load-extension={EXTENSION}",
            "--enable-logging=stderr", "about:blank"])

    return run_end_to_end("Chromium", args, ["--chrome-extension", extension], start_browser)


if __name__ == "__main__":
    sys.exit(main())
