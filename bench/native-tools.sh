# Sourced by the benchmark scripts that run the native ombrelta-server, ombrelta-check and
# ombrelta-config.

# use_native_tools BUILD: sets build, server_exe, check_exe and config_exe for the build folder
# BUILD, and stops with the command that builds them when one is missing.
use_native_tools() {
    build="$(cd "$1" && pwd)"
    server_exe="$build/tools/server/ombrelta-server"
    check_exe="$build/tools/check/ombrelta-check"
    config_exe="$build/tools/config/ombrelta-config"
    for exe in "$server_exe" "$check_exe" "$config_exe"; do
        [ -x "$exe" ] || { echo "missing $exe: cmake --build $build --target ombrelta-server ombrelta-check ombrelta-config" >&2; exit 1; }
    done
}

# wait_for_port FILE PID: sets port from the "listening on" line the process PID writes to FILE.
wait_for_port() {
    for _ in $(seq 600); do
        port=$(sed -n 's/^listening on \(127\.0\.0\.1:\)\{0,1\}\([0-9]*\)$/\2/p' "$1" 2>/dev/null || true)
        [ -n "$port" ] && return
        kill -0 "$2" 2>/dev/null || { echo "$1: process ended" >&2; exit 1; }
        sleep 0.1
    done
    echo "$1: no port" >&2
    exit 1
}
