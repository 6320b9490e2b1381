#!/usr/bin/env bash
# Renders packaging/icons/tarvelin.svg to the PNG sizes the desktop and the
# window use (16, 32, 48, 64 px, RGBA) and to one multi-size Windows icon.
# The renders are kept in the tree; run this again after editing the SVG.
#
# Needs rsvg-convert (librsvg2-bin) and either icotool (icoutils) or
# ImageMagick's convert.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
icons="$root/packaging/icons"
svg="$icons/tarvelin.svg"
sizes=(16 32 48 64)

command -v rsvg-convert >/dev/null || { echo "error: rsvg-convert not found (apt-get install librsvg2-bin)" >&2; exit 1; }
[ -f "$svg" ] || { echo "error: $svg is missing" >&2; exit 1; }

pngs=()
for size in "${sizes[@]}"; do
    out="$icons/tarvelin-$size.png"
    rsvg-convert --format=png --width="$size" --height="$size" --keep-aspect-ratio "$svg" --output "$out"
    pngs+=("$out")
done

# Largest image first, the order Windows resource compilers expect.
ico="$icons/tarvelin.ico"
reversed=()
for ((i=${#pngs[@]}-1; i>=0; i--)); do reversed+=("${pngs[i]}"); done
if command -v icotool >/dev/null; then
    icotool --create --output="$ico" "${reversed[@]}"
elif command -v convert >/dev/null; then
    convert "${reversed[@]}" "$ico"
else
    echo "error: neither icotool (icoutils) nor convert (imagemagick) found" >&2
    exit 1
fi

# Show what the icon holds: four 32-bit images.
if command -v icotool >/dev/null; then
    icotool --list "$ico"
fi
echo "rendered: ${pngs[*]##*/} ${ico##*/}"
