#!/usr/bin/env bash
# Makes the small picture fixtures of the capture-file tests with Debian's
# encoders (imagemagick, libjpeg-turbo-progs). The files are committed; run
# this only to make them anew.
set -euo pipefail
cd "$(dirname "$0")"
convert=/usr/bin/convert  # ImageMagick itself, not a stand-in earlier on the PATH

# 23 x 17 baseline and 19 x 31 progressive: width and height differ, so a
# swapped pair shows.
"$convert" -size 23x17 gradient:'#c04020-#2040c0' ppm:- | cjpeg -quality 80 > baseline.jpg
"$convert" -seed 7 -size 19x31 plasma:fractal ppm:- | cjpeg -quality 80 -progressive > progressive.jpg
"$convert" -size 12x9 gradient:"#30a050-#f0f0f0" -strip png:photo.png

# From the baseline stream: the image cut a little way into its first scan,
# and the tables alone (SOI, the DQT and DHT segments, EOI).
/usr/bin/python3 - <<'PY'
data = open("baseline.jpg", "rb").read()
pos, tables = 2, b""
while True:
    marker = data[pos + 1]
    length = int.from_bytes(data[pos + 2:pos + 4], "big")
    if marker in (0xDB, 0xC4):
        tables += data[pos:pos + 2 + length]
    if marker == 0xDA:
        scan_start = pos + 2 + length
        break
    pos += 2 + length
open("truncated.jpg", "wb").write(data[:scan_start + 16])
open("tables-only.jpg", "wb").write(b"\xff\xd8" + tables + b"\xff\xd9")
PY
ls -l baseline.jpg progressive.jpg photo.png truncated.jpg tables-only.jpg
