#!/usr/bin/env bash
# Downloads over a modelled line: ombrelta-check repairing a missing game file and installing a
# patch of the same size from ombrelta-server, with the `pipeline` key at 16, 64 and auto, against
# curl fetching the same file from nginx. Every connection goes through bench/line-model.c (built
# here with cc -O2), which sends the bytes at the line's rate and delivers them half the round
# trip later, each way, with a queue of about one round trip of the line in front of it:
# 100 Mbit/s at 20, 100 and 200 ms round trip and 1 Gbit/s at 50 and 100 ms. Before the runs it
# prints what the model itself carries (curl through it without a rate at 0 and 50 ms). One run
# per cell (RUNS: the median of that many, taken in turn), each bounded to 120 s; prints the
# seconds and the throughput as a share of curl's. LINES ("MBIT:RTT_MS ...", MBIT 0 for no rate
# limit), PIPELINES and SIZE_MIB (64 by default) override the lines, the values measured and the
# size of both files.
# Usage: bench/pipeline-over-latency.sh [build-dir]   (default build/native; needs ombrelta-server,
# ombrelta-check and ombrelta-config)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/http-server.sh"
source "$root/bench/native-tools.sh"
use_native_tools "${1:-$root/build/native}"
for tool in nginx curl python3 md5sum zip cc; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh bench)" >&2; exit 1; }
done

read -r -a lines <<< "${LINES:-100:20 100:100 100:200 1000:50 1000:100}"
read -r -a pipelines <<< "${PIPELINES:-16 64 auto}"
size_mib=${SIZE_MIB:-64}
runs=${RUNS:-1}
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
relay="$work/line-model"
cc -O2 -pthread -o "$relay" "$root/bench/line-model.c"

# The game file and the patch's payload: 64 MiB each from a fixed seed, incompressible.
python3 - "$size_mib" "$work/repair/files/game.bin" "$work/staging/big.bin" <<'PY'
import random, sys
for seed, path in enumerate(sys.argv[2:]):
    rng = random.Random(20261207 + seed)
    with open(path, "wb") as f:
        for _ in range(int(sys.argv[1])):
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

start_server() {  # start_server NAME: ombrelta-server over $work/NAME; sets port
    "$server_exe" --root "$work/$1" --listen 127.0.0.1:0 > "$work/$1.out" 2> "$work/$1.log" &
    pids+=($!)
    wait_for_port "$work/$1.out" $!
}

start_proxy() {  # start_proxy TARGET_PORT MBIT ROUND_TRIP_MS: sets port to the line model's
    "$relay" "$1" "$3" "$2" > "$work/proxy-$1-$2-$3.out" &
    pids+=($!)
    wait_for_port "$work/proxy-$1-$2-$3.out" $!
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

# run_check PORT PIPELINE RESULT_FILE EXPECTED_MD5 [UNTIL]: seconds, to the first report holding UNTIL
# when given
run_check() {
    local dir="$work/install"
    rm -rf "$dir" && mkdir -p "$dir"
    printf 'host=127.0.0.1\nport=%s\npipeline=%s\n' "$1" "$2" | "$config_exe" encode - "$dir/Ombrel.dat"
    local start=$EPOCHREALTIME
    (cd "$dir" && timeout "$run_limit" "$check_exe" --install-dir "$dir" --mode startup) |
        while IFS= read -r report; do printf '%s %s\n' "$EPOCHREALTIME" "$report"; done > "$work/check.out" ||
        { cat "$work/check.out" >&2; exit 1; }
    if [ -n "${5:-}" ]; then
        awk -v s="$start" -v until="$5" 'index($0, until) { printf "%.3f", $1 - s; exit }' "$work/check.out"
    else
        seconds_since "$start"
    fi
    [ "$(md5sum < "$dir/$3" | cut -d' ' -f1)" = "$4" ] || { echo "ombrelta-check's $3 differs" >&2; exit 1; }
}

# What the model carries without a rate, so that a slow line can be told from a busy machine.
for rtt in 0 50; do
    start_proxy "$http_port" 0 "$rtt"
    seconds=$(run_curl "$port" game.bin "$game_md5")
    echo "line model without a rate at $rtt ms: $(awk -v s="$seconds" -v m="$game_mib" 'BEGIN { printf "%.0f Mbit/s", m * 8 * 1.048576 / s }') (curl, $game_mib MiB in $seconds s)" >&2
done

results="$work/results"
: > "$results"
for line_model in "${lines[@]}"; do
    mbit=${line_model%%:*}
    rtt=${line_model##*:}
    start_proxy "$repair_port" "$mbit" "$rtt"
    repair_proxy=$port
    start_proxy "$patch_port" "$mbit" "$rtt"
    patch_proxy=$port
    start_proxy "$http_port" "$mbit" "$rtt"
    http_proxy=$port
    # Each run of the row in turn, RUNS times; each cell is the median of its runs.
    : > "$work/runs"
    for _ in $(seq "$runs"); do
        row="$(run_curl "$http_proxy" game.bin "$game_md5")"
        for pipeline in "${pipelines[@]}"; do
            row="$row $(run_check "$repair_proxy" "$pipeline" game.bin "$game_md5")"
        done
        row="$row $(run_curl "$http_proxy" patch-0001.zip "$(md5sum < "$work/http/patch-0001.zip" | cut -d' ' -f1)")"
        for pipeline in "${pipelines[@]}"; do
            row="$row $(run_check "$patch_proxy" "$pipeline" big.bin "$patch_md5" "Extracting patch...")"
        done
        echo "$row" >> "$work/runs"
    done
    row="$mbit $rtt $(awk '{ for (i = 1; i <= NF; i++) cell[i, NR] = $i } END {
        for (i = 1; i <= NF; i++) {
            n = 0
            for (r = 1; r <= NR; r++) v[++n] = cell[i, r]
            for (a = 1; a <= n; a++) for (b = a + 1; b <= n; b++) if (v[b] < v[a]) { t = v[a]; v[a] = v[b]; v[b] = t }
            printf "%s%s", (i > 1 ? " " : ""), v[int((n + 1) / 2)]
        }
    }' "$work/runs")"
    echo "$row" >> "$results"
    echo "$mbit Mbit/s at $rtt ms done: $row" >&2
done

count=${#pipelines[@]}
echo "Repair of a missing $game_mib MiB game file and install of a $patch_mib MiB patch over a modelled line"
echo "(bench/line-model.c: the line's rate, then half the round trip, each way; a patch's time ends where"
echo "its extraction begins). Seconds per run (median of $runs); in brackets the throughput as a share of curl + nginx on the same line."
echo "Goal: pipeline=auto at least 0.95x curl up to 100 Mbit/s x 100 ms and 1 Gbit/s x 50 ms, 0.9x beyond, never below pipeline=64."
echo "Load while running: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) on $(nproc) cores."
echo
awk -v n="$count" -v names="${pipelines[*]}" 'BEGIN {
    split(names, name, " ")
    printf "%-16s | %-9s", "line", "curl"
    for (i = 1; i <= n; i++) printf " %-17s", "repair " name[i]
    printf " | %-9s", "curl"
    for (i = 1; i <= n; i++) printf " %-17s", "patch " name[i]
    printf "\n"
}
{
    printf "%-16s | %7.3f s", sprintf("%s Mbit/s %s ms", $1, $2), $3
    for (i = 1; i <= n; i++) printf " %7.3f s %-7s", $(3 + i), sprintf("(%.2fx)", $3 / $(3 + i))
    curl = $(4 + n)
    printf " | %7.3f s", curl
    for (i = 1; i <= n; i++) printf " %7.3f s %-7s", $(4 + n + i), sprintf("(%.2fx)", curl / $(4 + n + i))
    printf "\n"
}' "$results"
