# The 300 x 16 progress bar: the empty groove, the fill (revealed from the left as the work
# advances) and the finished bar. Sourced by make-skin.sh.

bar_shape() { # bar_shape <out>: white rounded bar on black, at four times the size
    convert -size 1200x64 xc:black -fill white -draw "roundrectangle 2,2 1197,61 28,28" "$1"
}

make_bar() {
    bar_shape "$work/bar-mask.png"
    # Groove: dark inside, shaded from the top, a faint light on the lower lip.
    convert -size 1200x64 gradient:'#050408'-'#1d1a22' \
        -fill none -stroke 'rgba(255,230,170,0.18)' -strokewidth 3 -draw "line 30,58 1170,58" \
        -stroke 'rgba(150,120,60,0.9)' -strokewidth 4 -draw "roundrectangle 3,3 1196,60 27,27" \
        "$work/bar-mask.png" -alpha off -compose copy-opacity -composite "$work/back.png"
    shrink "$work/back.png" 300 16 IMAGE_LOADINGBACK.png

    # Fill: molten gold with slanted bands and a shine along the top.
    convert -size 1200x64 gradient:'#ffe39a'-'#9c5c12' \
        \( -size 1200x64 xc:none -fill 'rgba(255,255,255,0.10)' \
           -draw "$(awk 'BEGIN { for (x = -64; x < 1200; x += 48) printf "polygon %d,64 %d,0 %d,0 %d,64 ", x, x + 40, x + 64, x + 24 }')" \) \
        -compose over -composite \
        \( -size 1200x22 gradient:'rgba(255,255,255,0.55)'-'rgba(255,255,255,0)' -background none -extent 1200x64-0-6 \) \
        -compose screen -composite \
        -fill none -stroke 'rgba(90,50,8,0.8)' -strokewidth 3 -draw "roundrectangle 3,3 1196,60 27,27" \
        "$work/bar-mask.png" -alpha off -compose copy-opacity -composite "$work/fill.png"
    shrink "$work/fill.png" 300 16 IMAGE_LOADING1.png

    # Finished: brighter and even, with a white-hot core, so "done" reads at a glance.
    convert -size 1200x64 gradient:'#fff6c8'-'#c98a2a' \
        \( -size 1200x64 xc:none -fill 'rgba(255,255,240,0.6)' -draw "roundrectangle 40,20 1160,34 7,7" -blur 0x6 \) \
        -compose screen -composite \
        -fill none -stroke '#fff0c0' -strokewidth 3 -draw "roundrectangle 3,3 1196,60 27,27" \
        "$work/bar-mask.png" -alpha off -compose copy-opacity -composite "$work/done.png"
    shrink "$work/done.png" 300 16 IMAGE_LOADING2.png
}
