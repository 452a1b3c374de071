#!/usr/bin/env bash
# Draws the program's icon with ImageMagick: a dark terminal window with the teal channel
# strip and three coloured debug lines. Every size is drawn on its own from the same shapes on
# a 16-unit grid (crisp at 16 and 32 px), and all sizes go into one .ico. The result is
# committed; run this again only to change the picture:
#   terminal/res/make-icon.sh [OUTPUT.ico]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
output=${1:-$here/Vellumtrace64.ico}
sizes=(16 20 24 32 40 48 64 128 256)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A shape on the 16-unit grid, given by its edges (right and bottom exclusive), in pixels of
# an s-pixel icon; ImageMagick's rectangles include their last pixel.
box() { # SIZE LEFT TOP RIGHT BOTTOM
  awk -v s="$1" -v l="$2" -v t="$3" -v r="$4" -v b="$5" \
    'BEGIN { k = s / 16; printf "%.3f,%.3f %.3f,%.3f", l * k, t * k, r * k - 1, b * k - 1 }'
}
radius() { awk -v s="$1" -v u="$2" 'BEGIN { r = u * s / 16; printf "%.3f,%.3f", r, r }'; }

draw_size() {
  local s=$1
  local -a shapes=(
    # frame and body
    -fill '#0b1118' -draw "roundrectangle $(box "$s" 0 1 16 15) $(radius "$s" 2)"
    -fill '#1f2b3a' -draw "roundrectangle $(box "$s" 1 2 15 14) $(radius "$s" 1.5)"
    # the channel strip with two switches and the line-limit field
    -fill '#008080' -draw "rectangle $(box "$s" 1 3 15 6)"
    -fill '#e8f4f4' -draw "rectangle $(box "$s" 2 4 3 5)"
    -fill '#e8f4f4' -draw "rectangle $(box "$s" 4 4 5 5)"
    -fill '#ffff00' -draw "rectangle $(box "$s" 11 4 14 5)"
    # three lines: a coloured channel mark, then the text
    -fill '#ffd400' -draw "rectangle $(box "$s" 2 7 4 8)"
    -fill '#c8d3de' -draw "rectangle $(box "$s" 5 7 13 8)"
    -fill '#5fd35f' -draw "rectangle $(box "$s" 2 9 4 10)"
    -fill '#c8d3de' -draw "rectangle $(box "$s" 5 9 11 10)"
    -fill '#ff7a59' -draw "rectangle $(box "$s" 2 11 4 12)"
    -fill '#c8d3de' -draw "rectangle $(box "$s" 5 11 14 12)"
  )
  convert -size "${s}x${s}" xc:none "${shapes[@]}" -depth 8 -define png:exclude-chunks=date,time "$work/icon-$s.png"
}

files=()
for s in "${sizes[@]}"; do
  draw_size "$s"
  files+=("$work/icon-$s.png")
done
convert "${files[@]}" "$output"
echo "Wrote $output (${sizes[*]} px)"
