# A flat test skin: every picture one known colour, so that pixels tell what was drawn.
# Sourced by launcher-e2e.sh.

# Colours (R G B) the scenarios check.
bg_rgb=(32 48 64)
start_rgb=(224 160 0)
# The normal Start picture at 45 % over the background.
start_disabled_rgb=(118 98 35)
bar_back_rgb=(64 64 64)
bar_fill_rgb=(0 192 255)
bar_complete_rgb=(255 0 255)
splash_rgb=(0 255 128)

rgb_hex() { printf '#%02X%02X%02X' "$1" "$2" "$3"; }

make_picture() { convert -size "$2" "xc:$3" "PNG32:$1"; }

make_test_skin() {
    local dir=$1
    mkdir -p "$dir"
    make_picture "$dir/IMAGE_BACKGROUNDPIC.png" "${launcher_window_size[0]}x${launcher_window_size[1]}" "$(rgb_hex "${bg_rgb[@]}")"
    make_picture "$dir/IMAGE_LOADINGBACK.png" 300x16 "$(rgb_hex "${bar_back_rgb[@]}")"
    make_picture "$dir/IMAGE_LOADING1.png" 300x16 "$(rgb_hex "${bar_fill_rgb[@]}")"
    make_picture "$dir/IMAGE_LOADING2.png" 300x16 "$(rgb_hex "${bar_complete_rgb[@]}")"
    make_picture "$dir/IMAGE_BUTTONSTART1.png" 250x50 "$(rgb_hex "${start_rgb[@]}")"
    make_picture "$dir/IMAGE_BUTTONSTART2.png" 250x50 '#FFFF00'
    make_picture "$dir/IMAGE_BUTTONSTART3.png" 250x50 '#A06000'
    local stem size
    for stem in MIN:28x18 EXIT:35x35 BUTTONFUN1:30x30 BUTTONFUN2:30x30 BUTTONFUN3:30x30; do
        size=${stem#*:}
        stem=${stem%%:*}
        make_picture "$dir/IMAGE_${stem}1.png" "$size" '#808080'
        make_picture "$dir/IMAGE_${stem}2.png" "$size" '#C0C0C0'
        make_picture "$dir/IMAGE_${stem}3.png" "$size" '#404040'
    done
    # Opaque in the middle, fully transparent at the edge.
    convert -size 400x300 "xc:$(rgb_hex "${splash_rgb[@]}")" \
        \( -size 400x300 xc:black -fill white -draw 'rectangle 20,20 379,279' \) \
        -alpha off -compose copy_opacity -composite "PNG32:$dir/Ombrelta.png"
}
