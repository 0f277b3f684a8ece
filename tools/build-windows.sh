#!/usr/bin/env bash
# Builds the 32-bit Windows host (build/windows/host/PelliportHost.exe), its
# package and its tests with mingw-w64, and runs the tests under 32-bit Wine:
# on this machine where its kernel runs 32-bit code, else inside the emulated
# PC (tools/pc/pc.sh), whose own kernel runs it. With PELLIPORT_PC=0 a machine
# that refuses 32-bit code runs the tests on the 64-bit build of the same
# sources (build/windows64) under 64-bit Wine instead, and the product is
# left unstarted.
set -euo pipefail
cd "$(dirname "$0")/.."
summary=tools/test_summary.py

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
# Every way below runs tests of this build, whose skips the summary lists.
$summary ctest build/windows

if [ "$(tools/wine32.sh)" = native ]; then
  $summary note ran "the Windows tests: on the 32-bit product (build/windows) under 32-bit Wine on this machine"
  tools/windows-tests.sh build/windows
  exit
fi

if [ "${PELLIPORT_PC:-1}" = 0 ]; then
  # Without the emulated PC: the same sources as a 64-bit program under this
  # machine's 64-bit Wine; of the product, what needs no Wine.
  ctest --test-dir build/windows --output-on-failure -R '^install_msi_package$'
  $summary note blocked "the 32-bit product (build/windows: PelliportHost.exe and its x86 packages) was built and read but never started: this kernel refuses 32-bit code (PELLIPORT_PC=0 left out the emulated PC that runs them)"
  build x86_64 build/windows64
  $summary ctest build/windows64
  $summary note ran "the Windows tests: on the 64-bit build of the same sources (build/windows64) under 64-bit Wine on this machine"
  exec tools/windows-tests.sh build/windows64
fi

# The product inside the emulated PC. Its guest is made once per machine
# (tools/test-all.sh starts making it early, beside the Linux build).
status=0
run=build/windows/pc-run
rm -rf "$run"
mkdir -p "$run"
# The build's Wine prefixes (its folder "wine") lie on the PC's own disk:
# through the folder shared with this machine, copying one takes minutes.
{
  printf 'mkdir -p /var/tmp/wine %q && mount --bind /var/tmp/wine %q || exit 1\n' "$PWD/build/windows/wine" "$PWD/build/windows/wine"
  # The soak's 60 captures in rounds of 5 hosts at once instead of 20: the PC
  # answers fewer handshakes at once within the host's second of waiting.
  printf 'export PELLIPORT_SOAK_CAPTURE_HOSTS=5 PELLIPORT_SOAK_CAPTURE_ROUNDS=12\n'
  printf 'cd %q && tools/windows-tests.sh build/windows\n' "$PWD"
} > "$run/job"
$summary note ran "the Windows tests: on the 32-bit product (build/windows: the i686 test programs, the x86 package installed and used) under 32-bit Wine inside the emulated PC (tools/pc/pc.sh; this machine's kernel refuses 32-bit code)"
start=$(date +%s)
tools/pc/pc.sh run --work "$PWD" --timeout 3000 "$run" || status=$?
cat "$run/output" 2>/dev/null || true
echo "build-windows.sh: the emulated PC ran the 32-bit product's tests in $(( $(date +%s) - start )) s (exit code $status; console: $run/console.log, output: $run/output)"
if [ "$status" != 0 ]; then
  $summary note failed "the 32-bit product's tests inside the emulated PC (exit code $status): $(grep -E '^\s*[0-9]+ - .*\((Failed|Timeout|Not Run|SEGFAULT|Exception)' "$run/output" 2>/dev/null | sed 's/^ *//' | paste -sd';' - || true)"
fi

exit "$status"
