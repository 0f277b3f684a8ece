#!/usr/bin/env bash
# Builds libjpeg (API version 62) for Windows from the source of Debian's
# libjpeg-turbo package, as a static library, into build/libjpeg-<arch> where
# cmake/toolchain-mingw.cmake finds it. Does nothing when that version is
# already there. Needs a deb-src entry (tools/setup.sh adds it).
#   tools/build-libjpeg-windows.sh [i686|x86_64]     (default i686, the product)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
arch="${1:-i686}"
case "$arch" in i686|x86_64) ;; *) echo "unknown architecture: $arch" >&2; exit 2 ;; esac
prefix="$root/build/libjpeg-$arch"
work="$root/build/libjpeg-$arch-source"

version="$(apt-cache showsrc libjpeg-turbo | sed -n 's/^Version: //p' | sort -V | tail -n 1)"
[ -n "$version" ] || { echo "no source of libjpeg-turbo known to apt: run tools/setup.sh" >&2; exit 1; }
# Unwind tables in the C code, so that an error exit may throw a C++
# exception through the library's frames (the i686 compiler unwinds by
# DWARF tables).
# The toolchain file adds the architecture's own flags (the stack alignment
# of i686) to these; its text is part of the stamp, so that a change to it
# builds the library again.
cflags="-O2 -fexceptions"
stamp="$version $cflags $(sha256sum "$root/cmake/toolchain-mingw.cmake" | cut -c1-16)"
if [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$prefix/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "libjpeg $version for $arch is already built in $prefix"
  exit 0
fi

rm -rf "$work" "$prefix"
mkdir -p "$work"
(cd "$work" && apt-get source --download-only "libjpeg-turbo=$version")
# Unpacks the upstream source with Debian's patches applied.
dsc="$(ls "$work"/libjpeg-turbo_*.dsc | head -n 1)"
dpkg-source --no-check -x "$dsc" "$work/src" >/dev/null

# API version 62 is the default (no WITH_JPEG7/WITH_JPEG8); no SIMD, so no
# assembler is needed; only the static libjpeg, no TurboJPEG.
cmake -S "$work/src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS_INIT="$cflags" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF \
  -DWITH_ARITH_ENC=ON -DWITH_ARITH_DEC=ON \
  -DREQUIRE_SIMD=OFF >/dev/null
cmake --build "$work/build" -j2 --target jpeg-static
# Install only the library and its headers (not the tools and documents).
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/build/libjpeg.a" "$prefix/lib/"
cp "$work/build/jconfig.h" "$work/src/jpeglib.h" "$work/src/jmorecfg.h" "$work/src/jerror.h" \
   "$prefix/include/"
echo "$stamp" >"$prefix/stamp"
rm -rf "$work"
echo "libjpeg $version for $arch built into $prefix"
