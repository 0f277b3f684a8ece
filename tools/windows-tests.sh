#!/usr/bin/env bash
# Runs the tests of a Windows build under Wine of the build's width, with one
# Wine server for the whole run:
#   tools/windows-tests.sh <build folder> [ctest options...]
# The 32-bit product's tests run where the kernel runs 32-bit code: on this
# machine, or inside the emulated PC (tools/build-windows.sh starts it there).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: $0 <build folder> [ctest options...]" >&2; exit 2; }
dir="$1"
shift
if grep -qs 'CMAKE_SYSTEM_PROCESSOR "x86_64"' "$dir"/CMakeFiles/*/CMakeSystem.cmake; then
  export WINEARCH=win64
else
  export WINEARCH=win32
fi
# The test programs' prefix (cmake/toolchain-mingw.cmake).
export WINEPREFIX="$PWD/$dir/wine/tests"
tools/wine-run.sh "$WINEPREFIX"
if wineserver -p; then
  trap 'wineserver -k || true' EXIT
fi
# Wine's own services start with the first program and live as long as the
# server: start them here, so that they hold none of the tests' output pipes.
tools/wine-run.sh "$WINEPREFIX" cmd /c exit 0 </dev/null >/dev/null 2>&1
ctest --test-dir "$dir" --output-on-failure -j2 "$@"
