#!/usr/bin/env bash
# Builds the 32-bit Windows host (build/windows/host/PelliportHost.exe) and
# its tests with mingw-w64, and runs the tests under Wine.
#
# Some machines (sandboxed kernels) execute no 32-bit code, so 32-bit Wine
# cannot start there. On such a machine the same sources are built a second
# time as a 64-bit program (build/windows64) and the Windows tests run on that
# build under 64-bit Wine; the 32-bit product is still built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."

build() {  # <arch> <folder>
  local arch="$1" dir="$2"
  tools/build-libjpeg-windows.sh "$arch"
  cmake -S . -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLIPORT_WERROR=ON
  cmake --build "$dir" -j2
}

build i686 build/windows
# The program must run on its own: no DLLs but the system's.
if i686-w64-mingw32-objdump -p build/windows/host/PelliportHost.exe | grep -i 'DLL Name' |
    grep -Eiv '(kernel32|user32|shell32|ole32|advapi32|msvcrt|ws2_32|gdi32|shlwapi|api-ms-win-[a-z0-9-]+)\.dll'; then
  echo "PelliportHost.exe needs a DLL that Windows does not have" >&2
  exit 1
fi

wine32="$(tools/wine32.sh)"
if [ "$wine32" = native ]; then
  export WINEARCH=win32
  dir=build/windows
else
  message="this machine executes no 32-bit programs (32-bit Wine: $wine32); the Windows tests ran on the 64-bit build of the same sources (build/windows64) under 64-bit Wine"
  echo "build-windows.sh: $message" >&2
  tools/test_summary.py note degraded "$message"
  # What needs no Wine is still checked on the product: the x86 package's
  # tables, the program in it and its version resource.
  tools/test_summary.py ctest build/windows
  ctest --test-dir build/windows --output-on-failure -R '^install_msi_package$'
  tools/test_summary.py note blocked "the 32-bit product (build/windows: PelliportHost.exe and its x86 package) was built and read but never started: 32-bit Wine is $wine32 here$([ "$wine32" = emulated ] && echo ", and emulated it is not dependable enough for a test suite")"
  export WINEARCH=win64
  dir=build/windows64
  build x86_64 "$dir"
fi

# One Wine server for the whole run instead of one per test program.
export WINEPREFIX="$PWD/$dir/wine"
tools/wine-run.sh "$WINEPREFIX"
if wineserver -p; then
  trap 'wineserver -k || true' EXIT
fi
# Wine's own services start with the first program and live as long as the
# server: start them here, so that they hold none of the tests' output pipes.
tools/wine-run.sh "$WINEPREFIX" cmd /c exit 0 </dev/null >/dev/null 2>&1
tools/test_summary.py ctest "$dir"
ctest --test-dir "$dir" --output-on-failure -j2
