# The splash shown while the game starts ("Ombrelta.png", 480 x 270, edges fading to fully
# transparent) and the program icon (16, 32, 48 and 256 pixels). Sourced by make-skin.sh after
# make_background, whose landscape it reuses.

emblem() { # emblem <out> <rim width> <inner ring width, 0 for none> <letter size>
    local inner=()
    (($3 > 0)) && inner=(-fill none -stroke 'rgba(226,180,92,0.55)' -strokewidth "$3" -draw "circle 512,512 512,118")
    convert -size 1024x1024 xc:none \
        -fill '#15121c' -stroke '#e2b45c' -strokewidth "$2" -draw "circle 512,512 512,$((20 + $2 / 2))" \
        "${inner[@]}" \
        \( -size 1024x1024 gradient:'#fff1c0'-'#a8701e' \
           \( -size 1024x1024 xc:black -font "$title_font" -pointsize "$4" -gravity center -fill white \
              -annotate +0+$(($4 / 23)) 'O' \) -alpha off -compose copy-opacity -composite \) \
        -compose over -composite "$1"
}

make_splash_and_icon() {
    convert "$work/landscape.png" -resize 480x270! \
        -font "$title_font" -pointsize 14 -kerning 7 -gravity south -fill '#e8d6a6' \
        -annotate -3+40 'ENTERING  THE  REALM' \
        -stroke 'rgba(232,214,166,0.6)' -strokewidth 1 -draw "line 160,240 320,240" \
        \( -size 480x270 xc:black -fill white -draw "roundrectangle 26,26 453,243 40,40" -blur 0x14 \) \
        -alpha off -compose copy-opacity -composite "$work/splash.png"
    save "$work/splash.png" Ombrelta.png

    # Emblem: a dark medallion with a gold ring and the initial; the small sizes drop the inner
    # ring and take a bolder rim and a larger letter so that they stay legible.
    emblem "$work/emblem.png" 40 12 700
    emblem "$work/emblem-small.png" 80 0 860
    local size
    for size in 256 48 32 16; do
        local source="$work/emblem.png"
        ((size <= 32)) && source="$work/emblem-small.png"
        convert "$source" -filter Lanczos -resize ${size}x${size} "${png_opts[@]}" "PNG32:$work/icon-$size.png"
    done
    convert "$work/icon-256.png" "$work/icon-48.png" "$work/icon-32.png" "$work/icon-16.png" \
        "$here/ombrelta.ico"
}
