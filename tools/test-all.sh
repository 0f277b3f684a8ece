#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds every target and runs every test:
# the Linux build (plain and with sanitizers), the Chromium and Firefox
# end-to-end tests and the Windows build under Wine.
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
tools/build-windows.sh
