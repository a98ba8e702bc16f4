#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the icon sources in svg/ to the PNGs embedded by resources.qrc,
# and the application icon at the sizes the desktop's icon theme uses to the
# PNGs that `cmake --install` puts under share/icons/hicolor.
# The PNGs are committed, so the build itself never needs a converter; run
# this again after editing an SVG.  Needs rsvg-convert (Debian: librsvg2-bin).
set -eu

here=$(cd "$(dirname "$0")" && pwd)

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render-icons.sh: rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
fi

for svg in "$here"/svg/*.svg; do
    name=$(basename "$svg" .svg)
    size=64
    # The application icon is also shown large (task switcher, about box).
    [ "$name" = "logo-qt" ] && size=256
    rsvg-convert --width="$size" --height="$size" --keep-aspect-ratio \
        --output="$here/$name.png" "$svg"
    echo "$name.png (${size}px)"
done

# Desktop icon theme sizes: ../desktop/icons/<N>x<N>/kelvo-gongche.png.
# Small sizes get their own rendering rather than the desktop scaling 256 down.
desktop="$here/../desktop/icons"
for size in 16 32 48 64 128 256; do
    mkdir -p "$desktop/${size}x${size}"
    rsvg-convert --width="$size" --height="$size" --keep-aspect-ratio \
        --output="$desktop/${size}x${size}/kelvo-gongche.png" "$here/svg/logo-qt.svg"
    echo "desktop/icons/${size}x${size}/kelvo-gongche.png"
done
