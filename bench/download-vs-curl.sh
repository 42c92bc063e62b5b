#!/usr/bin/env bash
# Game file repair speed: ombrelta-check repairing one missing 256 MiB file from ombrelta-server
# (default chunks of 65519 bytes, one request per chunk) against curl fetching the same file over
# HTTP from nginx, both on loopback, 3 runs each, alternating. Prints every run, the best of each,
# the ratio, and what the protocol allows here: the round trip of a tiny request and the chunks
# per second a minimal client (download_bench) reaches when it throws the data away.
# Usage: bench/download-vs-curl.sh [build-dir]   (default build/native; needs ombrelta-server,
# ombrelta-check, ombrelta-config and download_bench)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/http-server.sh"
build="$(cd "${1:-$root/build/native}" && pwd)"
server_exe="$build/tools/server/ombrelta-server"
check_exe="$build/tools/check/ombrelta-check"
config_exe="$build/tools/config/ombrelta-config"
bench_exe="$build/bench/download_bench"
for exe in "$server_exe" "$check_exe" "$config_exe" "$bench_exe"; do
    if [ ! -x "$exe" ]; then
        echo "missing $exe: cmake --build $build --target ombrelta-server ombrelta-check" \
            "ombrelta-config download_bench" >&2
        exit 1
    fi
done
for tool in nginx curl python3 md5sum; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh bench)" >&2; exit 1; }
done

work="$(mktemp -d)"
server_pid=""
nginx_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# nginx's workers may run as another user: they must be able to read the served file.
chmod 755 "$work"
mkdir -p "$work/server/files"

python3 - "$work/server/files/game.bin" <<'PY'
import random, sys
rng = random.Random(20261207)
with open(sys.argv[1], "wb") as f:
    for _ in range(256):
        f.write(rng.randbytes(1 << 20))
PY
chmod 644 "$work/server/files/game.bin"
expected=$(md5sum < "$work/server/files/game.bin" | cut -d' ' -f1)

# The server hashes its files before it announces its port.
"$server_exe" --root "$work/server" --listen 127.0.0.1:0 > "$work/server.out" 2> "$work/server.log" &
server_pid=$!
for _ in $(seq 600); do
    grep -q '^listening on ' "$work/server.out" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
    sleep 0.1
done
server_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
[ -n "$server_port" ] || { echo "server did not start" >&2; exit 1; }

start_nginx "$work/nginx" "$work/server/files"

now() { date +%s.%N; }

run_ours() {  # prints seconds
    local dir="$work/ours"
    rm -rf "$dir" && mkdir -p "$dir"
    printf 'host=127.0.0.1\nport=%s\n' "$server_port" | "$config_exe" encode - "$dir/Ombrel.dat"
    local start end
    start=$(now)
    (cd "$dir" && /usr/bin/time -f %M -o "$work/check.rss" "$check_exe" --mode startup > "$work/check.out") ||
        { cat "$work/check.out" >&2; exit 1; }
    end=$(now)
    [ "$(md5sum < "$dir/game.bin" | cut -d' ' -f1)" = "$expected" ] || { echo "repaired file differs" >&2; exit 1; }
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

run_curl() {  # prints seconds
    local dir="$work/curl"
    rm -rf "$dir" && mkdir -p "$dir"
    local start end
    start=$(now)
    curl -s -f -o "$dir/game.bin" "http://127.0.0.1:$http_port/game.bin"
    end=$(now)
    [ "$(md5sum < "$dir/game.bin" | cut -d' ' -f1)" = "$expected" ] || { echo "curl's file differs" >&2; exit 1; }
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

: > "$work/ours.runs"
: > "$work/curl.runs"
: > "$work/probe.runs"
for run in 1 2 3; do
    run_curl >> "$work/curl.runs"
    run_ours >> "$work/ours.runs"
    "$bench_exe" "$server_port" 0 >> "$work/probe.runs"
    echo "run $run: curl + nginx $(tail -1 "$work/curl.runs") s," \
        "ombrelta-check + ombrelta-server $(tail -1 "$work/ours.runs") s," \
        "minimal client $(tail -1 "$work/probe.runs" | cut -d' ' -f3) s"
done
# The best round trip and the best chunk loop, each over the three probe runs.
rtt=$(cut -d' ' -f1 "$work/probe.runs" | sort -n | head -1)
read -r _ chunks floor bytes < <(sort -n -k3 "$work/probe.runs" | head -1)
server_peak=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB$/\1/p' "/proc/$server_pid/status")
check_peak=$(cat "$work/check.rss")

best() { sort -n "$1" | head -1; }
awk -v o="$(best "$work/ours.runs")" -v c="$(best "$work/curl.runs")" -v rtt="$rtt" -v n="$chunks" \
    -v floor="$floor" -v bytes="$bytes" -v sp="$server_peak" -v cp="$check_peak" 'BEGIN {
    mib = bytes / 1048576
    printf "best of 3: curl + nginx %.3f s (%.0f MiB/s), ombrelta %.3f s (%.0f MiB/s)\n", c, mib / c, o, mib / o
    printf "ombrelta takes %.2fx the time of curl\n", o / c
    printf "protocol: %d chunks, round trip of a tiny request %.1f us\n", n, rtt
    printf "minimal client discarding data: %.3f s, %.0f chunks/s (%.0f MiB/s)\n", floor, n / floor, mib / floor
    printf "ombrelta-check: %.0f chunks/s, %.0f%% of what the minimal client reaches\n", n / o, 100 * floor / o
    printf "peak resident memory: ombrelta-server %.1f MiB, ombrelta-check %.1f MiB\n", sp / 1024, cp / 1024
}'
