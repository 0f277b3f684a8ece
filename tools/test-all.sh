#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds every target and runs every test:
# the Linux build (plain and with sanitizers) and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build-linux.sh normal
tools/build-linux.sh sanitize
tools/build-windows.sh
