#!/usr/bin/env bash
# Renders the icons' PNG sizes from the SVGs with rsvg-convert (Debian's librsvg2-bin). The PNGs
# are committed, so building needs no SVG renderer; run this after changing an SVG.
#   22 and 24 pixels: small/*.svg, drawn with heavier lines for those sizes;
#   32 to 256 pixels: *.svg;
#   16 pixels: hand-drawn by ../draw_pixels.py, which this script runs too.
set -euo pipefail
cd "$(dirname "$0")"
for name in kitbinder kitbinder-project; do
  for size in 22 24; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" "small/$name.svg" -o "$size/$name.png"
  done
  for size in 32 48 64 128 256; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" "$name.svg" -o "$size/$name.png"
  done
done
../draw_pixels.py
