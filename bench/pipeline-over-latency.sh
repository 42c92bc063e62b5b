#!/usr/bin/env bash
# Downloads over a link with latency: ombrelta-check repairing a missing 32 MiB game file and
# installing a 32 MiB patch from ombrelta-server, with the `pipeline` key at 1, 16 and 64, against
# curl fetching the same file from nginx. Every connection goes through bench/delay-proxy.py,
# which adds half the round trip each way and limits nothing else, at 0, 10, 20 and 50 ms round
# trip. One run per cell (about three minutes in all, each run bounded to 120 s); prints the
# seconds and the throughput as a share of curl's.
# Usage: bench/pipeline-over-latency.sh [build-dir]   (default build/native; needs ombrelta-server,
# ombrelta-check and ombrelta-config)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/http-server.sh"
build="$(cd "${1:-$root/build/native}" && pwd)"
server_exe="$build/tools/server/ombrelta-server"
check_exe="$build/tools/check/ombrelta-check"
config_exe="$build/tools/config/ombrelta-config"
proxy="$root/bench/delay-proxy.py"
for exe in "$server_exe" "$check_exe" "$config_exe"; do
    [ -x "$exe" ] || { echo "missing $exe: cmake --build $build --target ombrelta-server ombrelta-check ombrelta-config" >&2; exit 1; }
done
for tool in nginx curl python3 md5sum zip; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh bench)" >&2; exit 1; }
done

round_trips_ms=(0 10 20 50)
pipelines=(1 16 64)
run_limit=120

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
# nginx's workers may run as another user: they must be able to read the served files.
chmod 755 "$work"
mkdir -p "$work/repair/files" "$work/patch/patches" "$work/http" "$work/staging"

# The game file and the patch's payload: 32 MiB each from a fixed seed, incompressible.
python3 - "$work/repair/files/game.bin" "$work/staging/big.bin" <<'PY'
import random, sys
for seed, path in enumerate(sys.argv[1:]):
    rng = random.Random(20261207 + seed)
    with open(path, "wb") as f:
        for _ in range(32):
            f.write(rng.randbytes(1 << 20))
PY
printf '1\n' > "$work/staging/version.dat"
(cd "$work/staging" && zip -q -0 -X "$work/patch/patches/patch-0001.zip" version.dat big.bin)
cp "$work/repair/files/game.bin" "$work/patch/patches/patch-0001.zip" "$work/http/"
chmod 644 "$work/http/"*
game_md5=$(md5sum < "$work/repair/files/game.bin" | cut -d' ' -f1)
patch_md5=$(md5sum < "$work/staging/big.bin" | cut -d' ' -f1)
game_mib=$(awk -v b="$(stat -c %s "$work/repair/files/game.bin")" 'BEGIN { printf "%.1f", b / 1048576 }')
patch_mib=$(awk -v b="$(stat -c %s "$work/patch/patches/patch-0001.zip")" 'BEGIN { printf "%.1f", b / 1048576 }')

# wait_for_port FILE PID: sets port from the "listening on" line the process writes to FILE.
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

start_server() {  # start_server NAME: ombrelta-server over $work/NAME; sets port
    "$server_exe" --root "$work/$1" --listen 127.0.0.1:0 > "$work/$1.out" 2> "$work/$1.log" &
    pids+=($!)
    wait_for_port "$work/$1.out" $!
}

start_proxy() {  # start_proxy TARGET_PORT ROUND_TRIP_MS: sets port to the proxy's
    python3 "$proxy" "$1" "$(awk -v r="$2" 'BEGIN { print r / 2 }')" > "$work/proxy-$1-$2.out" &
    pids+=($!)
    wait_for_port "$work/proxy-$1-$2.out" $!
}

start_server repair
repair_port=$port
start_server patch
patch_port=$port
start_nginx "$work/nginx" "$work/http"
pids+=("$nginx_pid")

seconds_since() { awk -v s="$1" -v e="$(date +%s.%N)" 'BEGIN { printf "%.3f", e - s }'; }

run_curl() {  # run_curl PORT FILE EXPECTED_MD5: seconds
    rm -f "$work/curl.bin"
    local start
    start=$(date +%s.%N)
    timeout "$run_limit" curl -s -f -o "$work/curl.bin" "http://127.0.0.1:$1/$2"
    seconds_since "$start"
    [ "$(md5sum < "$work/curl.bin" | cut -d' ' -f1)" = "$3" ] || { echo "curl's $2 differs" >&2; exit 1; }
}

run_check() {  # run_check PORT PIPELINE RESULT_FILE EXPECTED_MD5: seconds
    local dir="$work/install"
    rm -rf "$dir" && mkdir -p "$dir"
    printf 'host=127.0.0.1\nport=%s\npipeline=%s\n' "$1" "$2" | "$config_exe" encode - "$dir/Ombrel.dat"
    local start
    start=$(date +%s.%N)
    (cd "$dir" && timeout "$run_limit" "$check_exe" --install-dir "$dir" --mode startup > "$work/check.out") ||
        { cat "$work/check.out" >&2; exit 1; }
    seconds_since "$start"
    [ "$(md5sum < "$dir/$3" | cut -d' ' -f1)" = "$4" ] || { echo "ombrelta-check's $3 differs" >&2; exit 1; }
}

results="$work/results"
: > "$results"
for rtt in "${round_trips_ms[@]}"; do
    start_proxy "$repair_port" "$rtt"
    repair_proxy=$port
    start_proxy "$patch_port" "$rtt"
    patch_proxy=$port
    start_proxy "$http_port" "$rtt"
    http_proxy=$port
    line="$rtt $(run_curl "$http_proxy" game.bin "$game_md5")"
    for pipeline in "${pipelines[@]}"; do
        line="$line $(run_check "$repair_proxy" "$pipeline" game.bin "$game_md5")"
    done
    line="$line $(run_curl "$http_proxy" patch-0001.zip "$(md5sum < "$work/http/patch-0001.zip" | cut -d' ' -f1)")"
    for pipeline in "${pipelines[@]}"; do
        line="$line $(run_check "$patch_proxy" "$pipeline" big.bin "$patch_md5")"
    done
    echo "$line" >> "$results"
    echo "round trip $rtt ms done: $line" >&2
done

echo "Repair of a missing $game_mib MiB game file and install of a $patch_mib MiB patch through a delay proxy."
echo "Seconds per run; in brackets the throughput as a share of curl + nginx through the same proxy."
echo "Goal: at 20 ms, at least 0.5x curl with a window; at 0 ms, a window no slower than pipeline 1."
echo
awk '{
    printf "%-6s | %-26s %-15s %-15s %-15s | %-26s %-15s %-15s %-15s\n", "", "repair: curl", "pipeline 1", "pipeline 16",
        "pipeline 64", "patch: curl", "pipeline 1", "pipeline 16", "pipeline 64"
    exit
}' "$results"
awk '{
    printf "%3s ms | %6.3f s %-17s", $1, $2, ""
    for (i = 3; i <= 5; i++) printf "%6.3f s %-6s ", $i, sprintf("(%.2fx)", $2 / $i)
    printf "| %6.3f s %-17s", $6, ""
    for (i = 7; i <= 9; i++) printf "%6.3f s %-6s ", $i, sprintf("(%.2fx)", $6 / $i)
    printf "\n"
}' "$results"
echo
awk '$1 == 0 {
    printf "at 0 ms, time against pipeline 1: repair %.2fx (16) %.2fx (64), patch %.2fx (16) %.2fx (64)\n",
        $4 / $3, $5 / $3, $8 / $7, $9 / $7
}' "$results"
