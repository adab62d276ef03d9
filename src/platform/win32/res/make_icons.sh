#!/bin/sh
# Draws the Windows icons with ImageMagick 6 and writes them as .ico files beside this script:
#   valumat.ico               the program icon, a gold coin with the euro sign (16, 32, 48, 256; 256 as PNG)
#   tab1.ico .. tab4.ico      the tab icons: key cap, coins, check mark, "i" (16 and 32)
# The results are committed; run this again only to change the pictures. Needs `convert` and the DejaVu fonts.
set -eu
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A coin on a 1024 canvas: gold face lit from the upper left, dark rim, an optional inner ring, the glyph with a
# dark relief copy. $1 output, $2 glyph, $3 glyph size, $4 rim width, $5 inner ring (yes/no).
coin() {
    convert -size 1024x1024 -define gradient:center=360,300 -define gradient:radii=780,780 \
        radial-gradient:'#fff4aa'-'#b88010' face.png
    convert -size 1024x1024 xc:black -fill white -draw "circle 512,512 512,8" mask.png
    convert face.png mask.png -alpha off -compose CopyOpacity -composite coin.png
    if [ "$5" = yes ]; then
        convert coin.png -fill none -stroke '#a06c0caa' -strokewidth 22 -draw "circle 512,512 512,128" coin.png
    fi
    convert coin.png -fill none -stroke '#7a5006' -strokewidth "$4" -draw "circle 512,512 512,$((8 + $4 / 2))" \
        -font DejaVu-Sans-Bold -pointsize "$3" -gravity center -stroke none \
        -fill '#6e4600' -annotate +22+40 "$2" -fill '#fffadc' -annotate +0+18 "$2" "$1"
}

# Scales a 1024 master to the given sizes as 8-bit RGBA PNGs: $1 master, $2 prefix, sizes...
scale() {
    master=$1
    prefix=$2
    shift 2
    for s in "$@"; do
        convert "$master" -filter Lanczos -resize "${s}x${s}" -depth 8 -strip "PNG32:${prefix}${s}.png"
    done
}

# Program icon: the detailed coin for the large sizes, a plainer one with a bigger glyph for the small ones.
coin big.png '€' 620 36 yes
coin small.png '€' 800 90 no
scale big.png big 48 256
scale small.png small 16 32
convert small16.png small32.png big48.png big256.png -depth 8 "$out/valumat.ico"

# Tab 1: a key cap with a letter.
convert -size 1024x1024 xc:none \
    -fill '#c8c8ce' -stroke '#5a5a64' -strokewidth 48 -draw "roundrectangle 72,72 952,952 150,150" \
    -fill '#f4f4f8' -stroke '#9696a0' -strokewidth 36 -draw "roundrectangle 200,140 824,720 100,100" \
    -stroke none -fill '#28283c' -font DejaVu-Sans-Bold -pointsize 520 -gravity center -annotate +0-82 'A' \
    tab1.png

# Tab 2: two coins, one behind the other.
coin coinplain.png ' ' 10 90 no
coin coineuro.png '€' 760 90 no
convert coinplain.png -resize 640x640 back.png
convert coineuro.png -resize 700x700 front.png
convert -size 1024x1024 xc:none back.png -geometry +360+20 -composite front.png -geometry +20+300 -composite tab2.png

# Tab 3: a ticked check box.
convert -size 1024x1024 xc:none \
    -fill white -stroke '#465064' -strokewidth 56 -draw "rectangle 96,224 800,928" \
    -fill none -stroke '#148c28' -strokewidth 150 -draw "stroke-linecap round stroke-linejoin round polyline 230,560 430,770 920,110" \
    tab3.png

# Tab 4: a blue disc with an "i".
convert -size 1024x1024 -define gradient:center=380,320 -define gradient:radii=700,700 \
    radial-gradient:'#78aafa'-'#1446b4' disc.png
convert -size 1024x1024 xc:black -fill white -draw "circle 512,512 512,40" discmask.png
convert disc.png discmask.png -alpha off -compose CopyOpacity -composite \
    -fill none -stroke '#0f3282' -strokewidth 48 -draw "circle 512,512 512,64" \
    -stroke none -fill white -draw "circle 512,290 512,200" -draw "roundrectangle 430,420 594,820 40,40" \
    tab4.png

for n in 1 2 3 4; do
    scale "tab$n.png" "tab$n-" 16 32
    convert "tab$n-16.png" "tab$n-32.png" -depth 8 "$out/tab$n.ico"
done
