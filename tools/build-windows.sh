#!/usr/bin/env bash
# Builds the 32-bit Windows host (build/windows/host/PelliportHost.exe) and
# its tests with mingw-w64, and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/windows
tools/build-libjpeg-i686.sh
cmake -S . -B "$dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLIPORT_WERROR=ON
cmake --build "$dir" -j2

# The program must run on its own: no DLLs but the system's.
if i686-w64-mingw32-objdump -p "$dir/host/PelliportHost.exe" | grep -i 'DLL Name' |
    grep -Eiv '(kernel32|user32|shell32|ole32|advapi32|msvcrt|ws2_32|gdi32|shlwapi|api-ms-win-[a-z0-9-]+)\.dll'; then
  echo "PelliportHost.exe needs a DLL that Windows does not have" >&2
  exit 1
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
ctest --test-dir "$dir" --output-on-failure -j2
