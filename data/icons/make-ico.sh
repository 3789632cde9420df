#!/usr/bin/env bash
# Makes quorvel.ico (16, 24, 32, 48, 64, 128 and 256 pixels) and the PNG sizes from
# quorvel.svg; run it after changing the drawing and commit what it writes.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  rsvg-convert -w "$size" -h "$size" quorvel.svg -o "$work/$size.png"
done
pngs=()
for size in "${sizes[@]}"; do pngs+=("$work/$size.png"); done
convert "${pngs[@]}" quorvel.ico
