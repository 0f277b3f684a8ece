#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root,
# or with sudo available). Safe to run again.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  # Linux build and tests; clang and its runtime libraries (libFuzzer, the
  # sanitizers) for the fuzz targets
  build-essential cmake ninja-build libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
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
  # The Windows package (MSI): wixl builds it, msitools' msiinfo and
  # msibuild mend and read it, pefile reads the program's resources
  wixl msitools python3-pefile
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

# The browsers of the end-to-end tests. Where Chromium cannot be installed,
# its test says so and is skipped; the Firefox test needs firefox-esr.
apt_get install -y -q --no-install-recommends chromium ||
  echo "setup.sh: chromium could not be installed; the Chromium end-to-end test will be skipped" >&2
apt_get install -y -q --no-install-recommends firefox-esr

# 32-bit Wine for the product (the i686 program). Where the kernel refuses
# 32-bit code, the product's tests run in an emulated PC whose own kernel
# runs it (tools/pc/pc.sh): QEMU and mmdebstrap, which makes its guest.
# qemu-user emulation of 32-bit Wine, which earlier versions of this script
# registered, is not dependable enough for a test suite: it goes, so that
# tools/wine32.sh tells what the kernel itself runs.
binfmt_qemu=/proc/sys/fs/binfmt_misc/qemu-i386
[ ! -e "$binfmt_qemu" ] || echo -1 | $SUDO tee "$binfmt_qemu" >/dev/null || true
if [ "$("$(dirname "$0")/wine32.sh")" = native ]; then
  echo "setup.sh: 32-bit Wine runs natively"
else
  apt_get install -y -q --no-install-recommends qemu-system-x86 mmdebstrap
  echo "setup.sh: this kernel refuses 32-bit code; the 32-bit product's tests run in the emulated PC (tools/pc/pc.sh)"
fi
