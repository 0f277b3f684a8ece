#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds every target and runs every test:
# the Linux build (plain and with sanitizers), the Chromium and Firefox
# end-to-end tests, a short run of every fuzz target and the Windows build
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build-linux.sh normal
# Through a real browser: Chromium starts the host built above for a test
# extension, and the stand-in of the desktop application takes the
# notifications.
/usr/bin/python3 install/test_chromium_end_to_end.py --host build/linux/host/PelliportHost
# The same extension through Firefox (firefox-esr, which setup.sh installs:
# without it this step fails rather than skips).
/usr/bin/python3 install/test_firefox_end_to_end.py --host build/linux/host/PelliportHost
tools/build-linux.sh sanitize
# Every fuzz target briefly (libFuzzer with the sanitizers), from its seeds
# and kept findings: about four minutes in all. An input counts as a hang
# after 30 s here, so that a busy machine does not fail the run.
FUZZ_TIMEOUT=30 tools/fuzz.sh 15
tools/build-windows.sh
