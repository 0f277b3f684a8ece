#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds every target and runs every test:
# the Linux build (plain and with sanitizers), the Chromium and Firefox
# end-to-end tests, a short run of every fuzz target and the Windows build
# under Wine. Ends with what it did not test (tools/test_summary.py); with
# CI=true, a product part left untested fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
summary=tools/test_summary.py
logs=build/test-summary
mkdir -p "$logs"

# step <name> <command...>: runs one step, its output also kept in
# build/test-summary/<name>.log, and records its time and exit code.
step() {
  local name="$1" start status
  shift
  start=$(date +%s)
  set +e
  "$@" 2>&1 | tee "$logs/$name.log"
  status=${PIPESTATUS[0]}
  set -e
  /usr/bin/python3 "$summary" step "$name" "$(( $(date +%s) - start ))" "$status"
  return "$status"
}
finish() {
  local status=$?
  /usr/bin/python3 "$summary" report || status=1
  exit "$status"
}

run_start=$(date +%s)
tools/setup.sh 2>&1 | tee "$logs/setup.log"
/usr/bin/python3 "$summary" start "$run_start"
/usr/bin/python3 "$summary" step setup "$(( $(date +%s) - run_start ))" 0
trap finish EXIT
# Where this machine's kernel refuses 32-bit code, the product's Windows tests
# run in the emulated PC (not with PELLIPORT_PC=0): its guest (made once per
# machine, mostly downloading and unpacking Debian's packages) is made beside
# the Linux steps.
pc_make=""
if [ "${PELLIPORT_PC:-1}" != 0 ] && tools/pc/pc.sh needed; then
  pc_start=$(date +%s)
  tools/pc/pc.sh make > "$logs/pc-guest.log" 2>&1 &
  pc_make=$!
fi
step linux tools/build-linux.sh normal
# Through a real browser: Chromium starts the host built above for a test
# extension, and the stand-in of the desktop application takes the
# notifications.
step chromium /usr/bin/python3 install/test_chromium_end_to_end.py --host build/linux/host/PelliportHost
if grep -q '^SKIPPED' "$logs/chromium.log"; then
  /usr/bin/python3 "$summary" note untested "the Chromium end-to-end test: $(sed -n 's/^SKIPPED: //p' "$logs/chromium.log")"
fi
# The same extension through Firefox (firefox-esr, which setup.sh installs:
# without it this step fails rather than skips).
step firefox /usr/bin/python3 install/test_firefox_end_to_end.py --host build/linux/host/PelliportHost
step linux-sanitize tools/build-linux.sh sanitize
# Every fuzz target briefly (libFuzzer with the sanitizers), from its seeds
# and kept findings: about four minutes in all. An input counts as a hang
# after 30 s here, so that a busy machine does not fail the run.
step fuzz env FUZZ_TIMEOUT=30 tools/fuzz.sh 15
if [ -n "$pc_make" ]; then
  pc_status=0
  wait "$pc_make" || pc_status=$?
  cat "$logs/pc-guest.log"
  /usr/bin/python3 "$summary" step "pc-guest (beside the steps above)" "$(( $(date +%s) - pc_start ))" "$pc_status"
fi
step windows tools/build-windows.sh
