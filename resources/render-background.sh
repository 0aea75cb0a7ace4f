#!/bin/sh
# Regenerates background.png (1600 x 800, 8-bit RGB, no alpha, not interlaced)
# from background.svg.  Runs from any directory.
#   --svg   first rewrite background.svg with make_background_svg.py
# Needs: librsvg2-bin (rsvg-convert), imagemagick; with --svg also
# python3-fonttools, fonts-roboto-unhinted and fonts-urw-base35.
set -eu
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)

if [ "${1:-}" = "--svg" ]; then
    # Debian's python3 (it carries python3-fonttools); PYTHON overrides.
    py=${PYTHON:-python3}
    [ -z "${PYTHON:-}" ] && [ -x /usr/bin/python3 ] && py=/usr/bin/python3
    "$py" "$here/make_background_svg.py" "$here/background.svg"
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

rsvg-convert --width 1600 --height 800 --format png \
    --output "$tmp/render.png" "$here/background.svg"

# Flatten onto the background edge colour, drop alpha and every metadata
# chunk (no timestamps), write plain 8-bit RGB without interlacing.
convert "$tmp/render.png" \
    -background 'rgb(4,1,17)' -alpha remove -alpha off \
    -colorspace sRGB -type TrueColor -depth 8 -interlace none -strip \
    -define png:color-type=2 -define png:bit-depth=8 \
    -define png:exclude-chunks=date,time,tEXt,zTXt,iTXt,gAMA,cHRM,sRGB,bKGD,pHYs \
    -define png:compression-level=9 \
    "PNG24:$tmp/background.png"

mv "$tmp/background.png" "$here/background.png"
echo "wrote $here/background.png"
