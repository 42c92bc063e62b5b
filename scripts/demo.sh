#!/usr/bin/env bash
# The Ombrelta Launcher demo, one command on a Debian machine:
#     bash scripts/demo.sh
# It installs what the build and the demo need (scripts/install-deps.sh build demo), builds
# ombrelta-server and ombrelta-config natively and OmbreltaLauncher.exe and the stand-in game
# Tarvesk.exe for Windows, lays out a launcher server folder (build/demo/server: three patches
# from version 0 and the game files, one of them 64 MiB) and a fresh installation at version 0
# (build/demo/install), lays out the same content as a mirror tree (build/demo/mirror, with
# "ombrelta-patch mirror"), serves it with nginx and deploy/nginx/mirror.conf, starts
# ombrelta-server on 127.0.0.1 and runs the launcher under Wine from the installation folder.
#   - With a desktop ($DISPLAY set) the launcher appears there: it patches to version 3, fetches
#     the game files and says "Ready."; press PLAY and the stand-in game runs for a few seconds;
#     once it has ended the launcher closes itself, and the demo stops the server and nginx.
#   - Without a display it runs on a private Xvfb, presses PLAY itself and saves screenshots
#     (during the download, at "Ready.", after PLAY) in build/demo/screenshots.
#
# Settings (environment): OMBRELTA_DEMO_HEADLESS=1 uses Xvfb even when $DISPLAY is set;
# OMBRELTA_DEMO_GAME_SECONDS (12) is how long the stand-in game runs; OMBRELTA_NATIVE_BUILD and
# OMBRELTA_WINDOWS_BUILD (build/native, build/windows) are the build folders; OMBRELTA_JOBS (2)
# the parallel build jobs.
#
# On Windows the same folders serve with the Windows programs (the windows preset builds
# ombrelta-server.exe and ombrelta-config.exe as well): copy build/demo and the two tools to
# the Windows machine, set port=47000 in demo\Ombrel.txt, then in one console
#     ombrelta-server.exe --root demo\server --listen 127.0.0.1:47000
# and in a second one
#     ombrelta-config.exe encode demo\Ombrel.txt demo\install\Ombrel.dat
#     cd demo\install
#     OmbreltaLauncher.exe
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
demo_dir="$root/build/demo"
native_build="${OMBRELTA_NATIVE_BUILD:-$root/build/native}"
windows_build="${OMBRELTA_WINDOWS_BUILD:-$root/build/windows}"
jobs="${OMBRELTA_JOBS:-2}"
shots="$demo_dir/screenshots"
headless=0
[ -z "${DISPLAY:-}" ] || [ "${OMBRELTA_DEMO_HEADLESS:-0}" = 1 ] && headless=1

source "$root/scripts/demo/content.sh"
source "$root/scripts/lib/screen.sh"

say() { printf '\n== %s\n' "$*"; }

server_pid=
mirror_pid=
launcher_pid=
cleanup() {
    [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
    if [ -n "$mirror_pid" ]; then
        kill "$mirror_pid" 2>/dev/null && wait "$mirror_pid" 2>/dev/null
        echo "demo: mirror stopped"
    fi
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
        echo "demo: server stopped"
    fi
    [ "$headless" = 1 ] && [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    stop_xvfb
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

build_programs() {
    say "Building ombrelta-server, ombrelta-config and ombrelta-patch (native) in $native_build"
    cmake --preset native -B "$native_build" >/dev/null
    cmake --build "$native_build" --target ombrelta-server ombrelta-config ombrelta-patch -j"$jobs"
    say "Building OmbreltaLauncher.exe and Tarvesk.exe (Windows) in $windows_build"
    cmake --preset windows -B "$windows_build" >/dev/null
    cmake --build "$windows_build" --target OmbreltaLauncher Tarvesk -j"$jobs"
}

start_server() {
    say "Starting ombrelta-server on 127.0.0.1"
    : >"$demo_dir/server.log"
    "$native_build/tools/server/ombrelta-server" --root "$demo_dir/server" --listen 127.0.0.1:0 \
        --chunk-size "${OMBRELTA_DEMO_CHUNK_SIZE:-8192}" \
        >"$demo_dir/server.log" 2>&1 &
    server_pid=$!
    if ! wait_for 30 grep -q '^listening on ' "$demo_dir/server.log"; then
        cat "$demo_dir/server.log" >&2
        echo "demo: the server did not start" >&2
        exit 1
    fi
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$demo_dir/server.log" | head -1)
    echo "  listening on 127.0.0.1:$port (log: $demo_dir/server.log)"
}

# start_mirror: nginx serving build/demo/mirror on a free port of 127.0.0.1 with the shipped
# configuration, run in the foreground of a background job so that the demo can stop it.
start_mirror() {
    say "Starting nginx for the mirror on 127.0.0.1"
    local conf="$demo_dir/nginx"
    mirror_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    rm -rf "$conf" && mkdir -p "$conf/temp"
    sed -e "s|listen 80;|listen 127.0.0.1:$mirror_port;|" -e "s|root /srv/ombrelta-mirror;|root $demo_dir/mirror;|" \
        -e "s|/var/log/nginx/ombrelta-mirror.access.log|$demo_dir/mirror-access.log|" \
        "$root/deploy/nginx/mirror.conf" >"$conf/mirror.conf"
    cat >"$conf/nginx.conf" <<NGINX
daemon off;
master_process off;
pid $conf/nginx.pid;
events { worker_connections 256; }
http {
    client_body_temp_path $conf/temp;
    proxy_temp_path $conf/temp;
    include $conf/mirror.conf;
}
NGINX
    "$(command -v nginx || echo /usr/sbin/nginx)" -p "$conf" -c "$conf/nginx.conf" -e "$demo_dir/mirror-error.log" &
    mirror_pid=$!
    if ! wait_for 30 python3 -c "import socket; socket.create_connection(('127.0.0.1', $mirror_port), 1)"; then
        cat "$demo_dir/mirror-error.log" >&2
        echo "demo: nginx did not start" >&2
        exit 1
    fi
    echo "  serving $demo_dir/mirror on http://127.0.0.1:$mirror_port/ (log: $demo_dir/mirror-access.log)"
}

prepare_wine() {
    export WINEPREFIX="$demo_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Preparing a Wine prefix in $WINEPREFIX (first run only)"
        timeout 600 wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -w || true
}

start_launcher() {
    (cd "$demo_dir/install" && exec wine OmbreltaLauncher.exe) &
    launcher_pid=$!
}

# Waits for the launcher to end by itself; prints and returns its exit code.
wait_launcher() {
    local status=0
    wait "$launcher_pid" || status=$?
    launcher_pid=
    echo "  the launcher exited with code $status"
    return "$status"
}

run_on_desktop() {
    say "Running the launcher on $DISPLAY: wait for \"Ready.\", then press PLAY"
    start_launcher
    wait_launcher
}

source "$root/scripts/demo/tour.sh"

bash "$root/scripts/install-deps.sh" build demo
build_programs
say "Laying out $demo_dir/server and $demo_dir/install"
make_server_folder
make_install_folder
make_mirror
start_mirror
start_server
write_config "$port" "$mirror_port"
status=0
if [ "$headless" = 1 ]; then
    start_xvfb 1280x800
    prepare_wine
    run_headless_tour || status=$?
else
    prepare_wine
    run_on_desktop || status=$?
fi
say "The installation after the run"
report_installation
exit "$status"
