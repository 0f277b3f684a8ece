#!/usr/bin/python3
"""End-to-end test through Firefox: installs the host for a scratch HOME with
`install/linux/install.sh --firefox-extension`, sideloads the test extension
(the same folder the Chromium test loads) into a fresh profile, starts
Debian's firefox-esr headless, and checks the host's log, its files and the
notifications that reach the stand-in of the desktop application
(install/end_to_end.py).

    test_firefox_end_to_end.py --host build/linux/host/PelliportHost
        [--firefox PATH] [--timeout SECONDS] [--pending GROUP,...] [--keep]
        [--skip-when-missing]

Without Firefox the test fails, unless --skip-when-missing is given."""

import argparse
import json
import shutil
import sys
import zipfile
from pathlib import Path

from end_to_end import EXTENSION, add_common_arguments, run_end_to_end

# A sideloaded extension runs only when unsigned add-ons are allowed and
# add-ons of the profile's folder are enabled without asking; the
# extension's console goes to standard output.
PREFERENCES = {
    "xpinstall.signatures.required": False,
    "extensions.autoDisableScopes": 0,
    "devtools.console.stdout.content": True,
    "browser.shell.checkDefaultBrowser": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.disabledForTesting": True,
    "browser.aboutwelcome.enabled": False,
}


def firefox_id(manifest):
    return manifest["browser_specific_settings"]["gecko"]["id"]


def make_profile(folder, extension):
    """A fresh profile with the test extension in it as <id>.xpi: a fresh
    profile is the extension's first start, at which its background script
    sends the requests."""
    extensions = folder / "extensions"
    extensions.mkdir(parents=True)
    with zipfile.ZipFile(extensions / f"{extension}.xpi", "w", zipfile.ZIP_DEFLATED) as xpi:
        for path in sorted(EXTENSION.iterdir()):
            xpi.write(path, path.name)
    lines = [f'user_pref("{name}", {json.dumps(value)});' for name, value in PREFERENCES.items()]
    (folder / "user.js").write_text("\n".join(lines) + "\n", encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    add_common_arguments(parser)
    parser.add_argument("--firefox", default=shutil.which("firefox-esr") or shutil.which("firefox"),
                        help="the browser (default: firefox-esr)")
    parser.add_argument("--skip-when-missing", action="store_true",
                        help="print SKIPPED and succeed when Firefox is not installed")
    args = parser.parse_args()
    if not args.firefox or not Path(args.firefox).exists():
        message = "Firefox end-to-end test: no Firefox is installed (tools/setup.sh installs firefox-esr)"
        if args.skip_when_missing:
            print(f"SKIPPED: {message}")
            return 0
        print(f"FAILED: {message}")
        return 1

    extension = firefox_id(json.loads((EXTENSION / "manifest.json").read_text(encoding="utf-8")))

    def start_browser(run):
        profile = run.scratch / "firefox-profile"
        make_profile(profile, extension)
        run.start_browser("firefox", [args.firefox, "--headless", "--no-remote", "--profile", str(profile),
                                      "about:blank"], {"MOZ_HEADLESS": "1"})

    return run_end_to_end("Firefox", args, ["--firefox-extension", extension], start_browser)


if __name__ == "__main__":
    sys.exit(main())
