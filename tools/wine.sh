#!/usr/bin/env bash
# Runs Wine as `wine` does, with the loader this machine can execute: the
# 32-bit one where the kernel runs 32-bit programs, else the 64-bit one with a
# 64-bit prefix (some sandboxed kernels execute no 32-bit code at all; the
# 32-bit product's tests run in the emulated PC there, tools/pc/pc.sh).
#   tools/wine.sh <program> [arguments...]
# WINEARCH=win32 or win64 in the environment chooses instead.
set -euo pipefail
if [ -z "${WINEARCH:-}" ]; then
  if [ "$("$(dirname "$0")/wine32.sh")" = native ]; then WINEARCH=win32; else WINEARCH=win64; fi
fi
export WINEARCH
if [ "$WINEARCH" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
