# Helpers for running the Windows launcher under Wine and Xvfb: the outcome of checks, servers,
# installations, the launcher's start and exit. Sourced by launcher-e2e.sh and bench/idle-cpu.sh.
# Every wait is bounded; every process started here is remembered and ended by cleanup.

# shellcheck source=scripts/lib/screen.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/lib/screen.sh"

started_pids=()
failures=0

log() { printf '[e2e %s] %s\n' "$(date +%H:%M:%S)" "$*"; }
fail() { log "FAIL: $*"; failures=$((failures + 1)); }
pass() { log "ok: $*"; }

screenshot() { grab_screen "$out_dir/$1.png" || true; }

# visible_window NAME: id of a visible window whose title is exactly NAME.
visible_window() { visible_windows "$1" | head -1; }
has_visible_window() { [ -n "$(visible_window "$1")" ]; }
no_visible_window() { [ -z "$(visible_window "$1")" ]; }

# A message box: a visible window titled NAME that is not of the main window's size.
message_box() {
    local id
    for id in $(visible_windows "$1"); do
        if ! launcher_sized "$id"; then
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
    press_key_in "$id" Return
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
    wait_for 20 grep -qs "listening on" "$logfile" || return 1
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
