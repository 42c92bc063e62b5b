# The 1080 x 607 window background: dusk sky, moon, stars, three mountain ranges in fog, the
# title, and a dark framed panel where the launcher writes its version, status and bar.
# Sourced by make-skin.sh.

make_sky() {
    convert -size ${W}x${H} gradient:'#060914'-'#3a2636' \
        \( -size 1400x1400 radial-gradient:'rgba(214,120,64,0.8)'-'rgba(214,120,64,0)' -resize 1700x760! \) \
        -geometry -310+110 -compose screen -composite \
        "$work/sky.png"
    # Stars: sparse bright noise, fading towards the horizon.
    convert -size ${W}x${H} xc:black -seed 11 +noise Random -colorspace Gray \
        -threshold 99.55% -blur 0x0.6 -level 0%,40% \
        \( -size ${W}x${H} gradient:white-black -level 0%,70% \) -compose multiply -composite \
        "$work/stars.png"
    # The moon and its halo.
    convert -size ${W}x${H} xc:black \
        -fill '#f3e6c4' -draw "circle 948,118 974,118" -blur 0x1.2 \
        \( -size ${W}x${H} xc:black -fill '#d9b87a' -draw "circle 948,118 1020,118" -blur 0x40 \) \
        -compose screen -composite "$work/moon.png"
    convert "$work/sky.png" "$work/stars.png" -compose screen -composite \
        "$work/moon.png" -compose screen -composite "$work/sky2.png"
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
    make_sky
    make_range far '#3b3550' 372 70 0.7 1.6
    make_range mid '#211e31' 452 78 2.3 0.8
    make_range near '#0c0b14' 548 56 4.1 0.4
    make_fog fog1 21 392 90 0.55
    make_fog fog2 22 478 110 0.6
    make_fog fog3 23 585 80 0.5
    make_title
    make_panel
    make_topbar
    make_vignette
    convert "$work/sky2.png" \
        "$work/far.png" -compose over -composite \
        "$work/fog1.png" -compose screen -composite \
        "$work/mid.png" -compose over -composite \
        "$work/fog2.png" -compose screen -composite \
        "$work/near.png" -compose over -composite \
        "$work/fog3.png" -compose screen -composite \
        "$work/vignette.png" -compose multiply -composite \
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
