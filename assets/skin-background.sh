# The 1080 x 607 window background: dusk sky, moon, stars, three mountain ranges in fog, the
# title, and a dark framed panel where the launcher writes its version, status and bar.
# Sourced by make-skin.sh.

make_sky() {
    convert -size ${W}x${H} gradient:'#060914'-'#3a2636' \
        \( -size 1400x1400 radial-gradient:'rgba(214,120,64,0.8)'-'rgba(214,120,64,0)' -resize 1700x760! \) \
        -geometry -310+110 -compose screen -composite \
        "$work/sky.png"
}

make_stars() {
    # A fixed list of stars from a small linear congruential generator, denser high up and none
    # as low as the mountain tops.
    local draw
    draw=$(awk 'BEGIN {
        s = 20260107;
        for (i = 0; i < 170; i++) {
            s = (s * 16807) % 2147483647; x = s % 1080;
            s = (s * 16807) % 2147483647; y = (s % 1000) / 1000.0;
            s = (s * 16807) % 2147483647; b = 90 + s % 166;
            y = int(y * y * 260);
            r = (b > 220) ? 1.3 : 0.7;
            printf "fill rgb(%d,%d,%d) circle %d,%d %.1f,%d ", b, b, b - 10, x, y, x + r, y;
        }
    }')
    convert -size ${W}x${H} xc:black -draw "$draw" -blur 0x0.4 "$work/stars.png"
}

make_moon() {
    # A warm full moon with faint mottling and a wide halo.
    convert -size ${W}x${H} xc:black \
        \( -size ${W}x${H} xc:black -fill '#c9a468' -draw "circle 948,118 1030,118" -blur 0x38 \) \
        -compose screen -composite \
        \( -size 64x64 xc:gray70 -seed 9 +noise Multiplicative -blur 0x2.5 -level 20%,95% \
           -fill '#fbf1d6' -tint 100 \
           \( -size 64x64 xc:black -fill white -draw "circle 32,32 32,4" -blur 0x0.8 \) \
           -alpha off -compose copy-opacity -composite \) \
        -geometry +916+86 -compose over -composite -alpha off "$work/moon.png"
}

make_tower() {
    # A lone watchtower on the middle range with one lit window.
    local x=905 y
    y=$(ridge_y $x 452 78 2.3)
    convert -size ${W}x${H} xc:none -fill '#211e31' \
        -draw "polygon $((x - 9)),$((y + 6)) $((x - 7)),$((y - 46)) $((x + 7)),$((y - 46)) $((x + 9)),$((y + 6))" \
        -draw "polygon $((x - 11)),$((y - 46)) $x,$((y - 68)) $((x + 11)),$((y - 46))" \
        -draw "rectangle $((x - 10)),$((y - 50)) $((x + 10)),$((y - 46))" \
        -fill '#ffc870' -draw "rectangle $((x - 1)),$((y - 36)) $((x + 1)),$((y - 31))" \
        "$work/tower.png"
    convert -size ${W}x${H} xc:black -fill '#ff9a40' -draw "circle $x,$((y - 33)) $((x + 9)),$((y - 33))" \
        -blur 0x6 "$work/tower-glow.png"
}

make_range() { # make_range <name> <colour> <base> <amplitude> <phase> <blur>
    convert -size ${W}x${H} xc:none -fill "$2" -draw "$(ridge "$3" "$4" "$5" 4)" -blur "0x$6" \
        "$work/$1.png"
}

make_fog() { # make_fog <name> <seed> <centre y> <height> <opacity>
    convert -size 540x304 xc:gray50 -seed "$2" +noise Random -colorspace Gray -blur 0x18 \
        -auto-level -resize ${W}x${H}! \
        \( -size ${W}x${H} xc:black -fill white -draw "rectangle 0,$(($3 - $4 / 2)) $W,$(($3 + $4 / 2))" \
           -blur 0x$(($4 / 3)) \) -compose multiply -composite \
        -evaluate multiply "$5" \
        \( -size ${W}x${H} xc:'#8a7f99' \) +swap -alpha off -compose copy-opacity -composite \
        "$work/$1.png"
}

make_title() {
    # Gold letters with a warm glow and a dark drop shadow.
    local args=(-font "$title_font" -pointsize 118 -kerning 16 -gravity north)
    convert -size ${W}x${H} xc:black "${args[@]}" -fill white -annotate +8+150 'OMBRELTA' \
        "$work/title-mask.png"
    convert -size ${W}x150 gradient:'#fff6d0'-'#b07a2a' -gravity north -background '#b07a2a' \
        -extent ${W}x${H}-0-150 "$work/title-grad.png"
    convert "$work/title-grad.png" "$work/title-mask.png" -alpha off -compose copy-opacity -composite \
        "$work/title.png"
    convert "$work/title-mask.png" -blur 0x14 -fill '#e0a050' -colorize 0 \
        \( -size ${W}x${H} xc:'#e09a48' \) +swap -alpha off -compose copy-opacity -composite \
        -channel A -evaluate multiply 0.8 +channel "$work/title-glow.png"
    convert "$work/title-mask.png" -blur 0x3 \
        \( -size ${W}x${H} xc:black \) +swap -alpha off -compose copy-opacity -composite \
        -channel A -evaluate multiply 0.9 +channel -geometry +3+4 "$work/title-shadow.png"
    convert -size ${W}x${H} xc:none -font "$title_font" -pointsize 19 -kerning 9 -gravity north \
        -fill '#d8c596' -annotate +8+282 'THE  SHADOWED  REALM' \
        -stroke '#a8874a' -strokewidth 1 -draw "line 250,290 318,290" -draw "line 784,290 852,290" \
        "$work/subtitle.png"
}

make_panel() {
    # Dark glass behind the texts and the bar, with a thin gold frame; a groove around the bar.
    convert -size ${W}x${H} xc:none \
        -fill 'rgba(6,6,12,0.66)' -stroke 'rgba(214,180,96,0.55)' -strokewidth 1.2 \
        -draw "roundrectangle 362,346 718,536 14,14" \
        -fill none -stroke 'rgba(214,180,96,0.25)' -draw "roundrectangle 367,351 713,531 11,11" \
        -fill 'rgba(0,0,0,0.6)' -stroke 'rgba(214,180,96,0.7)' -strokewidth 1 \
        -draw "roundrectangle 386,436 694,460 6,6" \
        "$work/panel.png"
    # The panel casts a soft shadow on the landscape.
    convert -size ${W}x${H} xc:none -fill 'rgba(0,0,0,0.55)' -draw "roundrectangle 356,344 724,546 18,18" \
        -blur 0x10 "$work/panel-shadow.png"
}

make_topbar() {
    convert -size ${W}x90 gradient:'rgba(0,0,0,0.72)'-'rgba(0,0,0,0)' -background none -extent ${W}x${H} \
        -font "$title_font" -pointsize 17 -kerning 4 -fill '#cdb882' -annotate +30+44 'OMBRELTA' \
        -font "$label_font" -pointsize 10 -kerning 2 -fill '#8d8067' -annotate +162+43 'LAUNCHER' \
        "$work/topbar.png"
}

make_vignette() {
    convert -size 1400x900 radial-gradient:white-'#101018' -gravity center -crop ${W}x${H}+0+0 +repage \
        -level 0%,100%,1.3 "$work/vignette.png"
}

make_background() {
    make_vignette
    make_sky
    make_stars
    make_moon
    make_tower
    make_range far '#3b3550' 372 70 0.7 1.6
    make_range mid '#211e31' 452 78 2.3 0.8
    make_range near '#0c0b14' 548 56 4.1 0.4
    make_fog fog1 21 392 90 0.55
    make_fog fog2 22 478 110 0.6
    make_fog fog3 23 585 80 0.5
    make_title
    make_panel
    make_topbar
    convert "$work/sky.png" \
        "$work/far.png" -compose over -composite \
        "$work/fog1.png" -compose screen -composite \
        "$work/tower.png" -compose over -composite \
        "$work/mid.png" -compose over -composite \
        "$work/tower-glow.png" -compose screen -composite \
        "$work/fog2.png" -compose screen -composite \
        "$work/near.png" -compose over -composite \
        "$work/fog3.png" -compose screen -composite \
        "$work/vignette.png" -compose multiply -composite \
        "$work/stars.png" -compose screen -composite \
        "$work/moon.png" -compose screen -composite \
        "$work/title-glow.png" -compose screen -composite \
        "$work/title-shadow.png" -compose over -composite \
        "$work/title.png" -compose over -composite \
        "$work/subtitle.png" -compose over -composite \
        -write "$work/landscape.png" \
        "$work/topbar.png" -compose over -composite \
        "$work/panel-shadow.png" -compose over -composite \
        "$work/panel.png" -compose over -composite \
        \( -size ${W}x${H} xc:gray50 -seed 5 +noise Gaussian -colorspace Gray -evaluate multiply 0.06 \) \
        -compose linear-dodge -composite \
        -alpha off "$work/background.png"
    save "$work/background.png" IMAGE_BACKGROUNDPIC.png
}
