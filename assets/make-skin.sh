#!/usr/bin/env bash
# Draws the demo skin: the launcher background, progress bar, the six buttons in three states,
# the splash picture and the program icon. Needs ImageMagick 6 ("convert"), the DejaVu fonts and
# the URW base fonts (fonts-dejavu-core, fonts-urw-base35). Deterministic: every bit of noise
# comes from a fixed seed and no time stamps are written, so the same tools give the same files.
#   bash assets/make-skin.sh            writes assets/skin/*.png and assets/ombrelta.ico
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
out="$here/skin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

title_font=/usr/share/fonts/opentype/urw-base35/P052-Bold.otf
label_font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
glyph_font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
for f in "$title_font" "$label_font" "$glyph_font"; do
    [ -f "$f" ] || { echo "missing font $f (install fonts-urw-base35 fonts-dejavu-core)" >&2; exit 1; }
done

W=1080
H=607
# No time chunks or text stamps: the PNG bytes depend only on the pixels.
png_opts=(-strip -define png:exclude-chunks=date,time -define png:compression-level=9)

save() { # save <image> <name>: writes the final PNG with RGBA pixels
    convert "$1" "${png_opts[@]}" "PNG32:$out/$2"
}

# A mountain ridge as a polygon: a sum of sines gives a repeatable, natural-looking skyline.
ridge() { # ridge <base y> <amplitude> <phase> <step>
    awk -v w="$W" -v h="$H" -v base="$1" -v amp="$2" -v ph="$3" -v step="$4" 'BEGIN {
        printf "polygon 0,%d", h;
        for (x = 0; x <= w; x += step) {
            y = base - amp * (0.55 * sin(x / 97.0 + ph) + 0.30 * sin(x / 41.0 + 2.1 * ph) \
                + 0.15 * sin(x / 13.0 + 3.7 * ph) + 0.35 * sin(x / 233.0 + ph / 2));
            printf " %d,%d", x, y;
        }
        printf " %d,%d", w, h;
    }'
}

# Height of that skyline at one x, to stand things on it.
ridge_y() { # ridge_y <x> <base y> <amplitude> <phase>
    awk -v x="$1" -v base="$2" -v amp="$3" -v ph="$4" 'BEGIN {
        printf "%d", base - amp * (0.55 * sin(x / 97.0 + ph) + 0.30 * sin(x / 41.0 + 2.1 * ph) \
            + 0.15 * sin(x / 13.0 + 3.7 * ph) + 0.35 * sin(x / 233.0 + ph / 2));
    }'
}

source "$here/skin-background.sh"
source "$here/skin-bar.sh"
source "$here/skin-buttons.sh"
source "$here/skin-splash.sh"

make_background
make_bar
make_buttons
make_splash_and_icon
echo "skin written to $out and $here/ombrelta.ico"
