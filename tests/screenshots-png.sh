#!/usr/bin/env bash
# Turns the DPI test's screenshots (dpi-96.bmp, dpi-144.bmp, dpi-192.bmp) into PNG files, and
# for 144 and 192 dpi into a comparison: the 96-dpi picture enlarged to that dpi on the left,
# the picture taken at that dpi on the right.
set -euo pipefail
folder=$1
cd "$folder"
for dpi in 96 144 192; do
  [[ -f dpi-$dpi.bmp ]] || { echo "missing $folder/dpi-$dpi.bmp"; exit 1; }
  convert "dpi-$dpi.bmp" "dpi-$dpi.png"
done
for dpi in 144 192; do
  percent=$((dpi * 100 / 96))
  convert \( dpi-96.png -filter point -resize "$percent%" \) "dpi-$dpi.png" -background white -splice 8x0 +append \
    "dpi-$dpi-vs-96-scaled.png"
done
echo "PNG screenshots in $folder"
