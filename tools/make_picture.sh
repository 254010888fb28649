#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Draws the form picture: a dark full-screen backdrop that keeps a white centred
# message and the host icon readable. Usage: tools/make_picture.sh [output.png]
set -eu
if ! command -v convert >/dev/null; then
  echo "make_picture.sh: needs ImageMagick's convert (Debian: apt-get install imagemagick)" >&2
  exit 1
fi
out=${1:-"$(dirname "$0")/../resources/screen-density-high/download-QOR.png"}
w=720
h=1280
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Night-blue to deep violet, darkest where the message sits.
convert -size ${w}x${h} gradient:'#16305a'-'#0a0c1e' "$tmp/base.png"

# Soft light behind the icon (centre of the 38..63 / 40..65 cell).
convert -size ${w}x${h} xc:none -fill '#3f7fd0' \
    -draw "circle 360,660 360,470" -blur 0x90 -channel A -evaluate multiply 0.55 +channel \
    "$tmp/glow.png"

# Large faint rings and arcs in the top half.
convert -size ${w}x${h} xc:none -fill none -strokewidth 3 \
    -stroke '#5aa0ff40' -draw "circle 600,180 600,430" \
    -stroke '#7a6cff30' -draw "circle 110,330 110,520" \
    -stroke '#5aa0ff28' -draw "circle 360,660 360,880" \
    -stroke '#9fd0ff22' -strokewidth 2 -draw "arc -200,-120 920,700 200,340" \
    -blur 0x1 "$tmp/rings.png"

# A scatter of small dots, fixed positions so the picture is reproducible.
dots=""
for p in 64,90 180,40 300,150 420,70 530,260 660,120 90,470 250,300 610,520 150,700 \
         560,760 40,600 680,350 470,420 330,40 210,560 505,610 700,680; do
    x=${p%,*}
    y=${p#*,}
    dots="$dots circle $x,$y $((x + 2)),$y"
done
convert -size ${w}x${h} xc:none -fill '#cfe4ff90' -draw "$dots" -blur 0x0.6 "$tmp/dots.png"

# A darker band under the message and the buttons.
convert -size ${w}x${h} gradient:'#00000000'-'#000000a0' "$tmp/shade.png"

mkdir -p "$(dirname "$out")"
convert "$tmp/base.png" "$tmp/glow.png" -composite "$tmp/rings.png" -composite \
    "$tmp/dots.png" -composite "$tmp/shade.png" -composite \
    -strip -define png:exclude-chunks=date,time -depth 8 "$out"
