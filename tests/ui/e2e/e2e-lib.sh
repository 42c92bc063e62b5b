# Helpers for driving the Windows launcher under Wine and Xvfb. Sourced by launcher-e2e.sh.
# Every wait is bounded; every process started here is remembered and ended by cleanup.

started_pids=()
failures=0

log() { printf '[e2e %s] %s\n' "$(date +%H:%M:%S)" "$*"; }
fail() { log "FAIL: $*"; failures=$((failures + 1)); }
pass() { log "ok: $*"; }

# wait_for SECONDS COMMAND...: polls COMMAND every 0.25 s until it succeeds; false on timeout.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    while ((SECONDS < deadline)); do
        "$@" && return 0
        sleep 0.25
    done
    "$@"
}

# pixel X Y: the screen pixel as "R G B" (decimal).
pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -1
}

# pixel_near X Y R G B TOLERANCE: true when every channel lies within the tolerance.
pixel_near() {
    local got
    got=$(pixel "$1" "$2")
    [ -n "$got" ] || return 1
    local r g b
    read -r r g b <<<"$got"
    local t=$6
    ((r >= $3 - t && r <= $3 + t && g >= $4 - t && g <= $4 + t && b >= $5 - t && b <= $5 + t))
}

# The launcher's indicator is online-green: red 0, green 120..220, blue 80.
indicator_online() {
    local got r g b
    got=$(pixel $((win_x + 572)) $((win_y + 374)))
    read -r r g b <<<"$got"
    [ -n "$got" ] && ((r <= 3 && g >= 117 && g <= 223 && b >= 77 && b <= 83))
}

indicator_offline() { pixel_near $((win_x + 572)) $((win_y + 374)) 220 40 40 3; }

screenshot() { import -window root "$out_dir/$1.png" 2>/dev/null || true; }

# visible_window NAME: id of a visible window whose title is exactly NAME.
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
has_visible_window() { [ -n "$(visible_window "$1")" ]; }
no_visible_window() { [ -z "$(visible_window "$1")" ]; }

# The launcher's main window: the visible "Ombrelta Launcher" window of 1080 x 607.
main_window() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Ombrelta Launcher$' 2>/dev/null); do
        if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q 'Geometry: 1080x607'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
has_main_window() { main_window >/dev/null; }
no_main_window() { ! main_window >/dev/null; }

# A message box: a visible "Ombrelta Launcher" window that is not the main window.
message_box() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        if ! xdotool getwindowgeometry "$id" 2>/dev/null | grep -q 'Geometry: 1080x607'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
has_message_box() { message_box "$1" >/dev/null; }

# Dismisses the message box titled NAME with Enter.
dismiss_box() {
    local id
    id=$(message_box "$1") || return 1
    xdotool windowfocus "$id" 2>/dev/null || true
    sleep 0.3
    xdotool key Return
}

# Reads the main window's position into win_x and win_y.
read_window_position() {
    local id geometry
    id=$(main_window) || return 1
    geometry=$(xdotool getwindowgeometry "$id")
    win_x=$(sed -n 's/.*Position: \([-0-9]*\),.*/\1/p' <<<"$geometry")
    win_y=$(sed -n 's/.*Position: [-0-9]*,\([-0-9]*\).*/\1/p' <<<"$geometry")
}

# Clicks at client point X Y of the main window.
click_client() {
    xdotool mousemove $((win_x + $1)) $((win_y + $2)) click 1
    xdotool mousemove 5 5
}

# start_launcher DIR: runs the launcher with DIR as working directory; its exit code goes to
# DIR/exit-code when it ends. Sets launcher_pid.
start_launcher() {
    local dir=$1
    rm -f "$dir/exit-code"
    (cd "$dir" && wine OmbreltaLauncher.exe; echo $? >"$dir/exit-code") >"$out_dir/wine-$(basename "$dir").log" 2>&1 &
    launcher_pid=$!
    started_pids+=("$launcher_pid")
}

launcher_ended() { [ -f "$1/exit-code" ]; }

# expect_exit DIR SECONDS: the launcher of DIR ends within SECONDS with exit code 0.
expect_exit() {
    if ! wait_for "$2" launcher_ended "$1"; then
        fail "launcher in $1 still runs after $2 s"
        return 1
    fi
    local code
    code=$(cat "$1/exit-code")
    if [ "$code" != 0 ]; then
        fail "launcher exit code $code"
        return 1
    fi
    return 0
}

# A port on 127.0.0.1 that nothing listens on (free when asked).
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_server ROOT: runs ombrelta-server on an ephemeral port; sets server_port and server_pid.
start_server() {
    local logfile=$out_dir/server-$(basename "$1").log
    rm -f "$logfile"
    "$server_exe" --root "$1" --listen 127.0.0.1:0 >"$logfile" 2>&1 </dev/null &
    server_pid=$!
    started_pids+=("$server_pid")
    wait_for 20 grep -q 'listening on' "$logfile" || return 1
    server_port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$logfile" | head -1)
}

# start_silent_server: accepts one connection and never answers; sets server_port.
start_silent_server() {
    local portfile=$out_dir/silent-port
    rm -f "$portfile"
    python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(4)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
conns = []
while True:
    conns.append(s.accept())
' "$portfile" >/dev/null 2>&1 </dev/null &
    started_pids+=("$!")
    wait_for 10 test -s "$portfile" || return 1
    server_port=$(cat "$portfile")
}

# make_install DIR PORT [LINES]: a launcher installation with the test skin and an "Ombrel.dat"
# (LINES, with \n escapes, added to it).
make_install() {
    local dir=$1
    mkdir -p "$dir/data2"
    cp "$launcher_exe" "$dir/OmbreltaLauncher.exe"
    cp -r "$skin_dir" "$dir/data2/Ombrelta"
    printf "host=127.0.0.1\\nport=%s\\nfacebook=\\ndiscord=\\nwhatsapp=\\n${3:-}" "$2" |
        "$config_exe" encode - "$dir/Ombrel.dat"
}

cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wineserver -k 2>/dev/null || true
    for pid in "${started_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
