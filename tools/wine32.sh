#!/usr/bin/env bash
# How this machine runs 32-bit Wine, the way the product (the i686 program)
# runs: prints "native" (the kernel runs 32-bit programs), "emulated"
# (qemu-user through binfmt_misc, as tools/setup.sh registers it where the
# kernel refuses them) or "none".
set -uo pipefail
entry=/proc/sys/fs/binfmt_misc/qemu-i386
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo none
elif [ -r "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ]; then
  echo emulated
else
  echo native
fi
