# Watching and driving the launcher on an X display: a private Xvfb, the launcher's window,
# screen pixels, screenshots, the pointer and the keyboard. Sourced by the demo, the end-to-end
# tests, bench/idle-cpu.sh and scripts/run-tests.sh. Client points and colours come from
# ui/layout-probes.sh; client points are relative to win_x and win_y (read_window_position).
# Every wait is bounded.

# shellcheck source=ui/layout-probes.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../ui/layout-probes.sh"

# wait_for SECONDS COMMAND...: polls COMMAND every quarter second until it succeeds; false when it
# still fails at the deadline.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    while ((SECONDS < deadline)); do
        "$@" && return 0
        sleep 0.25
    done
    "$@"
}

# start_xvfb WIDTHxHEIGHT [LOG]: a private X server on the first free display from :90 on; sets
# DISPLAY and xvfb_pid. False, with a message, when Xvfb is missing or no display could be had.
start_xvfb() {
    command -v Xvfb >/dev/null || { echo "start_xvfb: Xvfb is not installed" >&2; return 1; }
    local n deadline
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "$1x24" -nolisten tcp >"${2:-/dev/null}" 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        # A server that lost the race for the display ends at once; the next number is tried.
        deadline=$((SECONDS + 20))
        while kill -0 "$xvfb_pid" 2>/dev/null && ((SECONDS < deadline)); do
            [ -e "/tmp/.X11-unix/X$n" ] && return 0
            sleep 0.25
        done
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    done
    unset DISPLAY
    echo "start_xvfb: no free X display" >&2
    return 1
}

stop_xvfb() {
    [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=
}

# visible_windows TITLE: ids of the visible windows titled exactly TITLE, one a line.
visible_windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null; }

# launcher_sized WINDOW: the window has the size of the launcher's main window.
launcher_sized() {
    xdotool getwindowgeometry "$1" 2>/dev/null |
        grep -q "Geometry: ${launcher_window_size[0]}x${launcher_window_size[1]}"
}

# main_window: id of the launcher's main window, the visible "Ombrelta Launcher" window of the
# layout's size (its message boxes share the title); false when there is none.
main_window() {
    local id
    for id in $(visible_windows "Ombrelta Launcher"); do
        if launcher_sized "$id"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
has_main_window() { main_window >/dev/null; }
no_main_window() { ! main_window >/dev/null; }

# read_window_position: sets win_x and win_y to the main window's corner; false without one.
read_window_position() {
    local id geometry
    id=$(main_window) || return 1
    geometry=$(xdotool getwindowgeometry "$id" 2>/dev/null) || return 1
    win_x=$(sed -n 's/.*Position: \([-0-9]*\),.*/\1/p' <<<"$geometry")
    win_y=$(sed -n 's/.*Position: [-0-9]*,\([-0-9]*\).*/\1/p' <<<"$geometry")
}

# pixel X Y: the screen pixel as "R G B" (decimal); empty when the screen cannot be read.
pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -1
}

# pixel_between X Y LOW_R LOW_G LOW_B HIGH_R HIGH_G HIGH_B TOLERANCE: every channel of the screen
# pixel lies from LOW - TOLERANCE to HIGH + TOLERANCE.
pixel_between() {
    local r g b t=$9
    read -r r g b <<<"$(pixel "$1" "$2")"
    [ -n "$b" ] && ((r >= $3 - t && r <= $6 + t && g >= $4 - t && g <= $7 + t && b >= $5 - t && b <= $8 + t))
}

# pixel_near X Y R G B TOLERANCE: every channel lies within the tolerance.
pixel_near() { pixel_between "$1" "$2" "$3" "$4" "$5" "$3" "$4" "$5" "$6"; }

# client_pixel_near X Y R G B TOLERANCE: pixel_near at a client point of the main window.
client_pixel_near() { pixel_near $((win_x + $1)) $((win_y + $2)) "${@:3}"; }

# The server indicator: pulsing green online, red offline.
indicator_online() {
    pixel_between $((win_x + indicator_point[0])) $((win_y + indicator_point[1])) \
        "${indicator_online_low_rgb[@]}" "${indicator_online_high_rgb[@]}" 3
}
indicator_offline() { client_pixel_near "${indicator_point[@]}" "${indicator_offline_rgb[@]}" 3; }

# grab_screen FILE: the whole screen as a picture.
grab_screen() { import -window root "$1" 2>/dev/null; }

# grab_client FILE X Y WIDTH HEIGHT: a client rectangle of the main window as a picture.
grab_client() {
    import -window root -crop "$4x$5+$((win_x + $2))+$((win_y + $3))" +repage "$1" 2>/dev/null
}

# The pointer: out of the way in the screen's corner, over a client point, clicking one.
park_pointer() { xdotool mousemove 5 5; }
hover_client() { xdotool mousemove $((win_x + $1)) $((win_y + $2)); }
click_client() {
    xdotool mousemove $((win_x + $1)) $((win_y + $2)) click 1
    park_pointer
}

# press_key_in WINDOW KEY: gives WINDOW the keyboard focus (there may be no window manager to do
# it) and presses KEY.
press_key_in() {
    xdotool windowfocus "$1" 2>/dev/null
    sleep 0.3
    xdotool key "$2"
}

# press_escape: Escape in the main window, which closes the launcher.
press_escape() {
    local id
    id=$(main_window) || return 1
    press_key_in "$id" Escape
}
