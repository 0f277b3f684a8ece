#!/usr/bin/env bash
# Builds the Linux host and its tests and runs them.
#   tools/build-linux.sh [normal|sanitize]
# normal:   warnings as errors, into build/linux; the benchmarks are built too (not run),
#           so that they keep compiling
# sanitize: AddressSanitizer and UndefinedBehaviorSanitizer, into build/linux-sanitize
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-normal}"
case "$flavour" in
  normal)   dir=build/linux;          extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLIPORT_WERROR=ON -DPELLIPORT_BENCHMARKS=ON) ;;
  sanitize) dir=build/linux-sanitize; extra=(-DCMAKE_BUILD_TYPE=Debug -DPELLIPORT_WERROR=ON -DPELLIPORT_SANITIZE=ON) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${extra[@]}"
cmake --build "$dir"
tools/test_summary.py ctest "$dir"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$dir" --output-on-failure
