# Watching and driving the launcher on an X display: its window, a screen pixel, screenshots and
# a click. Sourced by scripts/demo.sh. Every wait is bounded.

# wait_for SECONDS COMMAND...: polls COMMAND every half second until it succeeds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    while ((SECONDS < deadline)); do
        "$@" && return 0
        sleep 0.5
    done
    "$@"
}

# find_launcher_window: sets win_x and win_y to the corner of the visible 1080 x 607 window.
find_launcher_window() {
    local id geometry
    for id in $(xdotool search --onlyvisible --name '^Ombrelta Launcher$' 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry "$id" 2>/dev/null) || continue
        grep -q 'Geometry: 1080x607' <<<"$geometry" || continue
        win_x=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1/p' <<<"$geometry")
        win_y=$(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\2/p' <<<"$geometry")
        return 0
    done
    return 1
}

# pixel X Y: the screen pixel as "R G B".
pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -1
}

# launcher_ready: the server indicator is green, which the launcher shows once it says "Ready.".
launcher_ready() {
    find_launcher_window || return 1
    local r g b
    read -r r g b <<<"$(pixel $((win_x + 572)) $((win_y + 374)))"
    [ -n "$b" ] && ((r <= 3 && g >= 117 && g <= 223 && b >= 77 && b <= 83))
}

screenshot() { # screenshot NAME
    import -window root "$shots/$1.png" 2>/dev/null && echo "  screenshot $shots/$1.png"
}

click_start() {
    xdotool mousemove $((win_x + 520)) $((win_y + 495)) click 1
    sleep 0.3
    xdotool mousemove 5 5
}

# start_xvfb: a private X server on the first free display; sets DISPLAY and xvfb_pid.
start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        wait_for 20 test -e "/tmp/.X11-unix/X$n" && return 0
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    done
    echo "demo: no free X display for Xvfb" >&2
    return 1
}
