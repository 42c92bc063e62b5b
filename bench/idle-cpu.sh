#!/usr/bin/env bash
# CPU time of the idle, online launcher under Wine over a fixed period: the product, which caches
# the frame and repaints only the pulsing indicator every 30 ms, against repainting the whole
# window with its scaled background on every pulse (a build of the same sources made only for
# this comparison). Goal for the product: at most 1 % of one core, launcher, X server and
# wineserver together.
#
# Usage: bench/idle-cpu.sh [WINDOWS_BUILD [NATIVE_BUILD [SECONDS]]]
#   defaults: build/windows, build/native, 20. The native build provides ombrelta-server and
#   ombrelta-config; both launcher variants are built in WINDOWS_BUILD (-j2).
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
windows_build=$(realpath -m "${1:-$repo/build/windows}")
native_build=$(realpath -m "${2:-$repo/build/native}")
seconds=${3:-20}

if [ -z "${OMBRELTA_IDLE_XVFB:-}" ]; then
    cmake --build "$windows_build" --target OmbreltaLauncher OmbreltaLauncherFullRepaint -j2 >/dev/null || {
        echo "cannot build the launcher in $windows_build" >&2
        exit 1
    }
    export OMBRELTA_IDLE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$windows_build" "$native_build" "$seconds"
fi

out_dir=$native_build/bench/idle-cpu
rm -rf "$out_dir/run"
work=$out_dir/run
mkdir -p "$work"
server_exe=$native_build/tools/server/ombrelta-server
config_exe=$native_build/tools/config/ombrelta-config
skin_dir=$repo/assets/skin
export WINEPREFIX=$out_dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The end-to-end helpers (server, installation, launcher start and exit) and, through them, the
# screen helpers of scripts/lib/screen.sh.
source "$repo/tests/ui/e2e/e2e-lib.sh"
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -w 2>/dev/null || true
wineserver -p 2>/dev/null || true

mkdir -p "$work/root/patches" "$work/root/files"
printf 'idle\n' >"$work/root/files/readme.txt"
start_server "$work/root" || { echo "server did not start" >&2; exit 1; }

clock_ticks=$(getconf CLK_TCK)

# cpu_ticks PID...: user + system ticks of the processes and all their descendants.
cpu_ticks() {
    local total=0 pid child fields
    for pid in "$@"; do
        [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || continue
        fields=$(sed 's/^.*) //' "/proc/$pid/stat")
        total=$((total + $(awk '{print $12 + $13}' <<<"$fields")))
        for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do
            total=$((total + $(cpu_ticks "$child")))
        done
    done
    echo "$total"
}

x_server_pid() { pgrep -f "Xvfb $DISPLAY" | head -1; }
# The wineserver of our own prefix (other Wine prefixes may have theirs).
wineserver_pid() {
    local pid
    for pid in $(pgrep wineserver); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

# measure NAME EXE [LINES]: prints "NAME launcher-seconds x-seconds wineserver-seconds"; LINES
# are added to the installation's settings.
measure() {
    local dir=$work/$1
    launcher_exe=$2
    make_install "$dir" "$server_port" "${3:-}"
    if ! open_launcher_idle "$dir"; then
        wineserver -k 2>/dev/null
        return 1
    fi
    local xs ws l0 x0 w0 l1 x1 w1
    xs=$(x_server_pid)
    ws=$(wineserver_pid)
    l0=$(cpu_ticks "$launcher_pid")
    x0=$(cpu_ticks "$xs")
    w0=$(cpu_ticks "$ws")
    sleep "$seconds"
    l1=$(cpu_ticks "$launcher_pid")
    x1=$(cpu_ticks "$xs")
    w1=$(cpu_ticks "$ws")
    grab_screen "$out_dir/$1.png"
    press_escape
    expect_exit "$dir" 15 >/dev/null
    awk -v n="$1" -v l=$((l1 - l0)) -v x=$((x1 - x0)) -v w=$((w1 - w0)) -v hz="$clock_ticks" \
        'BEGIN { printf "%s %.2f %.2f %.2f\n", n, l / hz, x / hz, w / hz }'
}

open_launcher_idle() {
    start_launcher "$1"
    wait_for 60 has_main_window || { echo "no launcher window" >&2; return 1; }
    read_window_position
    park_pointer
    wait_for 60 indicator_online || { echo "launcher never came online" >&2; return 1; }
    sleep 2
}

cached=$(measure cached "$windows_build/app/OmbreltaLauncher.exe") || exit 1
full=$(measure full-repaint "$windows_build/app/OmbreltaLauncherFullRepaint.exe") || exit 1
# The details line is measured as chunks arrive, never on a timer: idle, it costs nothing.
details=$(measure details=1 "$windows_build/app/OmbreltaLauncher.exe" 'details=1\n') || exit 1
wineserver -k 2>/dev/null || true

printf '\nCPU seconds over %s s of an idle, online launcher (pulse every 30 ms):\n' "$seconds"
printf '%-16s %10s %10s %10s %16s\n' variant launcher "X server" wineserver "% of one core"
for row in "$cached" "$full" "$details"; do
    read -r name l x w <<<"$row"
    share=$(awk -v l="$l" -v x="$x" -v w="$w" -v s="$seconds" 'BEGIN { printf "%.2f", (l + x + w) * 100 / s }')
    printf '%-16s %10s %10s %10s %16s\n' "$name" "$l" "$x" "$w" "$share"
    [ "$name" = cached ] && product_share=$share
done
verdict=$(awk -v p="$product_share" 'BEGIN { print (p <= 1.0) ? "within" : "over" }')
printf 'product: %s %% of one core, %s the goal of 1 %%\n' "$product_share" "$verdict"
