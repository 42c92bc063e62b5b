# The splash shown while the game starts ("Ombrelta.png", 480 x 270, edges fading to fully
# transparent) and the program icon (16, 32, 48 and 256 pixels). Sourced by make-skin.sh after
# make_background, whose landscape it reuses.

make_splash_and_icon() {
    convert "$work/landscape.png" -resize 480x270! \
        -font "$title_font" -pointsize 14 -kerning 7 -gravity south -fill '#e8d6a6' \
        -annotate -3+40 'ENTERING  THE  REALM' \
        -stroke 'rgba(232,214,166,0.6)' -strokewidth 1 -draw "line 160,240 320,240" \
        \( -size 480x270 xc:black -fill white -draw "roundrectangle 26,26 453,243 40,40" -blur 0x14 \) \
        -alpha off -compose copy-opacity -composite "$work/splash.png"
    save "$work/splash.png" Ombrelta.png

    # Emblem: a dark medallion with a double gold ring and the initial.
    convert -size 1024x1024 xc:none \
        -fill '#15121c' -stroke '#e2b45c' -strokewidth 40 -draw "circle 512,512 512,40" \
        -fill none -stroke 'rgba(226,180,92,0.55)' -strokewidth 12 -draw "circle 512,512 512,118" \
        \( -size 1024x1024 gradient:'#fff1c0'-'#a8701e' \
           \( -size 1024x1024 xc:black -font "$title_font" -pointsize 700 -gravity center -fill white \
              -annotate +0+30 'O' \) -alpha off -compose copy-opacity -composite \) \
        -compose over -composite "$work/emblem.png"
    local size
    for size in 256 48 32 16; do
        convert "$work/emblem.png" -filter Lanczos -resize ${size}x${size} "${png_opts[@]}" \
            "PNG32:$work/icon-$size.png"
    done
    convert "$work/icon-256.png" "$work/icon-48.png" "$work/icon-32.png" "$work/icon-16.png" \
        "$here/ombrelta.ico"
}
