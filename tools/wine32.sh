#!/usr/bin/env bash
# Whether this machine runs 32-bit Wine, the way the product (the i686
# program) runs: prints "native" (the kernel runs 32-bit programs) or "none"
# (some sandboxed kernels refuse 32-bit code altogether; the product's tests
# then run in the emulated PC, tools/pc/pc.sh).
set -uo pipefail
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo native
else
  echo none
fi
