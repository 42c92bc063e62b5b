# The six buttons in their three states (1 normal, 2 hover: brighter, 3 pressed: darker and
# one pixel lower). Every picture is drawn at four times its size and scaled down, which gives
# smooth edges. Sourced by make-skin.sh.

shrink() { # shrink <4x image> <width> <height> <name>
    convert "$1" -filter Lanczos -resize "${2}x${3}!" "$work/small.png"
    save "$work/small.png" "$4"
}

push_down() { # push_down <in> <out> <pixels>: moves the picture down, keeping its size
    convert "$1" -background none -gravity north -splice 0x"$3" -gravity south -chop 0x"$3" "$2"
}

start_state() { # start_state <out> <top colour> <bottom colour> <rim> <text colour> <shift>
    local w=1000 h=200
    convert -size ${w}x${h} gradient:"$2"-"$3" \
        \( -size ${w}x$((h / 2)) gradient:'rgba(255,255,255,0.35)'-'rgba(255,255,255,0.04)' \
           -background none -extent ${w}x${h} \) -compose screen -composite \
        \( -size ${w}x${h} xc:black -fill white -draw "roundrectangle 4,4 $((w - 5)),$((h - 5)) 44,44" \) \
        -alpha off -compose copy-opacity -composite \
        -fill none -stroke "$4" -strokewidth 6 -draw "roundrectangle 5,5 $((w - 6)),$((h - 6)) 44,44" \
        -stroke 'rgba(40,20,4,0.55)' -strokewidth 4 -draw "roundrectangle 14,14 $((w - 15)),$((h - 15)) 36,36" \
        -stroke none -font "$title_font" -pointsize 112 -kerning 40 -gravity center \
        -fill 'rgba(255,240,200,0.45)' -annotate -6+$((8 + $6)) 'PLAY' \
        -fill "$5" -annotate -6+$((4 + $6)) 'PLAY' \
        -stroke "$5" -strokewidth 2 -fill "$5" \
        -draw "polygon 206,$((84 + $6)) 206,$((124 + $6)) 240,$((104 + $6))" \
        -draw "polygon 794,$((84 + $6)) 794,$((124 + $6)) 760,$((104 + $6))" \
        "$1"
}

make_start() {
    start_state "$work/start1.png" '#f0cd7c' '#8c5a1a' '#f8e2a6' '#2c1a06' 0
    start_state "$work/start2.png" '#ffe6a3' '#b9822e' '#fff4d0' '#3a2208' 0
    start_state "$work/start3.png" '#b08640' '#5a3810' '#d8b877' '#1c1004' 4
    shrink "$work/start1.png" 250 50 IMAGE_BUTTONSTART1.png
    shrink "$work/start2.png" 250 50 IMAGE_BUTTONSTART2.png
    shrink "$work/start3.png" 250 50 IMAGE_BUTTONSTART3.png
}

min_state() { # min_state <out> <fill> <rim> <bar colour> <shift>
    convert -size 112x72 xc:none \
        -fill "$2" -stroke "$3" -strokewidth 4 -draw "roundrectangle 3,3 108,68 14,14" \
        -stroke none -fill "$4" -draw "roundrectangle 34,$((33 + $5)) 78,$((41 + $5)) 4,4" "$1"
}

make_min() {
    min_state "$work/min1.png" 'rgba(12,12,20,0.65)' 'rgba(214,180,96,0.7)' '#e6d4a4' 0
    min_state "$work/min2.png" 'rgba(60,52,40,0.85)' '#f5dc9a' '#ffffff' 0
    min_state "$work/min3.png" 'rgba(4,4,8,0.9)' 'rgba(170,140,70,0.8)' '#bfae86' 4
    shrink "$work/min1.png" 28 18 IMAGE_MIN1.png
    shrink "$work/min2.png" 28 18 IMAGE_MIN2.png
    shrink "$work/min3.png" 28 18 IMAGE_MIN3.png
}

exit_state() { # exit_state <out> <fill> <rim> <cross colour> <shift>
    local c=$((70 + $5))
    convert -size 140x140 xc:none \
        -fill "$2" -stroke "$3" -strokewidth 5 -draw "circle 70,70 70,5" \
        -stroke "$4" -strokewidth 11 -draw "line 48,$((c - 22)) 92,$((c + 22))" -draw "line 92,$((c - 22)) 48,$((c + 22))" \
        "$1"
}

make_exit() {
    exit_state "$work/exit1.png" 'rgba(12,12,20,0.65)' 'rgba(214,180,96,0.7)' '#e6d4a4' 0
    exit_state "$work/exit2.png" '#c0392b' '#ff9a8a' '#ffffff' 0
    exit_state "$work/exit3.png" '#7a1f16' '#c0604f' '#e8c8c0' 4
    shrink "$work/exit1.png" 35 35 IMAGE_EXIT1.png
    shrink "$work/exit2.png" 35 35 IMAGE_EXIT2.png
    shrink "$work/exit3.png" 35 35 IMAGE_EXIT3.png
}

link_disc() { # link_disc <out> <colour>: the coloured round plate with a soft top light
    convert -size 120x120 xc:none -fill "$2" -draw "circle 60,60 60,3" \
        \( -size 120x120 xc:none -fill 'rgba(255,255,255,0.22)' -draw "ellipse 60,34 40,24 0,360" -blur 0x6 \) \
        -compose atop -composite "$1"
}

facebook_glyph() {
    convert "$1" -fill white -font "$label_font" -pointsize 92 -gravity center -annotate +6+10 'f' "$1"
}

discord_glyph() {
    # The game-pad face: a wide rounded head with two ears and two eyes.
    convert "$1" -fill white -stroke none \
        -draw "polygon 36,36 50,32 54,38 66,38 70,32 84,36 96,74 84,86 74,80 46,80 36,86 24,74" \
        -draw "roundrectangle 30,40 90,82 16,16" \
        -fill "$2" -draw "ellipse 47,60 7,9 0,360" -draw "ellipse 73,60 7,9 0,360" "$1"
}

whatsapp_glyph() {
    # A speech bubble ring with its tail and a handset inside.
    convert "$1" -fill white -stroke white -strokewidth 2.5 -font "$glyph_font" -pointsize 86 \
        -gravity center -annotate +1-3 '✆' \
        -stroke none -draw "polygon 24,98 31,72 48,89" "$1"
}

link_states() { # link_states <name prefix> <colour> <glyph function>
    link_disc "$work/$1-base.png" "$2"
    "$3" "$work/$1-base.png" "$2"
    convert "$work/$1-base.png" -fill none -stroke 'rgba(214,180,96,0.8)' -strokewidth 4 \
        -draw "circle 60,60 60,4" "$work/$1-1.png"
    convert "$work/$1-base.png" -modulate 112,125 -fill none -stroke white -strokewidth 5 \
        -draw "circle 60,60 60,4" "$work/$1-2.png"
    convert "$work/$1-base.png" -modulate 70,90 -fill none -stroke 'rgba(120,100,60,0.9)' -strokewidth 4 \
        -draw "circle 60,60 60,4" "$work/$1-3x.png"
    push_down "$work/$1-3x.png" "$work/$1-3.png" 4
}

make_links() {
    link_states fb '#1877f2' facebook_glyph
    link_states dc '#5865f2' discord_glyph
    link_states wa '#25d366' whatsapp_glyph
    local state
    for state in 1 2 3; do
        shrink "$work/fb-$state.png" 30 30 "IMAGE_BUTTONFUN1$state.png"
        shrink "$work/dc-$state.png" 30 30 "IMAGE_BUTTONFUN2$state.png"
        shrink "$work/wa-$state.png" 30 30 "IMAGE_BUTTONFUN3$state.png"
    done
}

make_buttons() {
    make_start
    make_min
    make_exit
    make_links
}
