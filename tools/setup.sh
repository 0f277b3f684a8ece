#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root,
# or with sudo available). Safe to run again.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  # Linux build and tests
  build-essential cmake ninja-build libgtest-dev libgmock-dev googletest libbenchmark-dev
  libicu-dev libjpeg62-turbo-dev python3
  # WebSocket interoperability tests: Debian's python3-websockets server
  python3-websockets
  # JSON readers that the JSON benchmark compares with
  nlohmann-json3-dev rapidjson-dev
  # Windows build (mingw-w64 for i686) and its tests under 32-bit Wine, which
  # the tests of the install scripts for Windows use too; dpkg-dev for
  # fetching libjpeg's source. Where the kernel runs no 32-bit code, the tests
  # run on a 64-bit build under 64-bit Wine (tools/build-windows.sh).
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine32:i386 wine64 dpkg-dev
)
# ... and the npm package ws, run with Node.js (kept when it is already there)
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

# The Windows tests run under 32-bit Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# libjpeg for Windows is built from the source of Debian's package: source
# entries for the same suites as the binary ones.
debian_sources=/etc/apt/sources.list.d/debian.sources
source_entries=/etc/apt/sources.list.d/debian-src.sources
if [ -f "$debian_sources" ] && ! grep -qs '^Types:.*deb-src' "$debian_sources" "$source_entries"; then
  sed 's/^Types: deb$/Types: deb-src/' "$debian_sources" | $SUDO tee "$source_entries" >/dev/null
fi

# apt can be busy with another installation for a while: wait for its lock.
apt_get() {
  $SUDO apt-get -o DPkg::Lock::Timeout=600 "$@"
}

export DEBIAN_FRONTEND=noninteractive
apt_get update -q
apt_get install -y -q --no-install-recommends "${packages[@]}"

# The browser of the end-to-end test. Where it cannot be installed, the test
# says so and is skipped.
apt_get install -y -q --no-install-recommends chromium ||
  echo "setup.sh: chromium could not be installed; the Chromium end-to-end test will be skipped" >&2
