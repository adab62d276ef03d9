#!/bin/sh
# Renders the program icon valumat.svg as the PNG sizes of the hicolor icon theme (hicolor/SIZExSIZE/valumat.png).
# The results are committed; run this again only after changing the SVG. Needs rsvg-convert (librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for s in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${s}x${s}"
    rsvg-convert -w "$s" -h "$s" valumat.svg -o "hicolor/${s}x${s}/valumat.png"
done
