#!/usr/bin/env bash
# `blockrepair` over loopback: ombrelta-check repairs a 1 GiB game file with three damaged 4 KiB
# spots in three blocks from ombrelta-server --metrics, with the key and without it (the whole
# file again, with pipeline=auto), on loopback and through bench/line-model.c (100 Mbit/s, 100 ms
# round trip), and prints the time and the file bytes the server sent for each; then times the
# check of the intact file with and without the key (goal: no more than 5 % slower).
# Usage: bench/block-repair.sh [build-dir] [size-MiB]   (default build/native and 1024; needs
# ombrelta-server, ombrelta-check and ombrelta-config)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
size_mib="${2:-1024}"
source "$root/bench/native-tools.sh"
use_native_tools "${1:-$root/build/native}"

work="$(mktemp -d)"
server_pid="" line_pid=""
cleanup() {
    [ -z "$line_pid" ] || { kill "$line_pid" 2>/dev/null && wait "$line_pid" 2>/dev/null; } || true
    [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null; } || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/server/files"
head -c $((size_mib << 20)) /dev/urandom > "$work/server/files/game.pak"

"$server_exe" --root "$work/server" --listen 127.0.0.1:0 --metrics 127.0.0.1:0 > "$work/server.out" 2> "$work/server.log" &
server_pid=$!
port="" metrics=""
for _ in $(seq 1200); do
    port=$(sed -n 's/^listening on \(127\.0\.0\.1:\)\{0,1\}\([0-9]*\)$/\2/p' "$work/server.out")
    metrics=$(sed -n 's/^metrics on \(127\.0\.0\.1:\)\{0,1\}\([0-9]*\)$/\2/p' "$work/server.out")
    [ -n "$port" ] && [ -n "$metrics" ] && break
    sleep 0.1
done
[ -n "$port" ] && [ -n "$metrics" ] || { echo "the server reported no ports" >&2; cat "$work/server.out" "$work/server.log" >&2; exit 1; }

file_bytes_sent() {
    curl -s "http://127.0.0.1:$metrics/metrics" | sed -n 's/^ombrelta_sent_bytes_total{kind="file"} //p'
}

# An installation of the game file, damaged at three spots when asked, for the server at a port.
install() {
    local dir="$work/$1" keys="$2" damage="$3" at="${4:-$port}"
    rm -rf "$dir" && mkdir -p "$dir"
    cp "$work/server/files/game.pak" "$dir/game.pak"
    if [ "$damage" = 1 ]; then
        for mib in 1 $((size_mib / 2)) $((size_mib - 1)); do
            head -c 4096 /dev/urandom | dd of="$dir/game.pak" bs=4096 seek=$((mib * 256 + 3)) conv=notrunc status=none
        done
    fi
    printf 'host=127.0.0.1\nport=%s\n%b' "$at" "$keys" | "$config_exe" encode - "$dir/Ombrel.dat"
}

# Runs the check in an installation; prints its seconds and the file bytes the server sent.
timed_check() {
    local dir="$work/$1" before after start end
    before=$(file_bytes_sent)
    start=$(date +%s.%N)
    (cd "$dir" && "$check_exe" > "$dir.out")
    end=$(date +%s.%N)
    tail -n 1 "$dir.out" | grep -q 'Ready\.' || { echo "$1 did not end Ready." >&2; cat "$dir.out" >&2; exit 1; }
    cmp -s "$dir/game.pak" "$work/server/files/game.pak" || { echo "$1 left other bytes" >&2; exit 1; }
    after=$(file_bytes_sent)
    python3 -c "print(f'{$end - $start:8.2f} s  {($after - $before) / 1048576:10.1f} MiB of file bytes sent')"
}

cc -O2 -pthread -o "$work/line-model" "$root/bench/line-model.c"
"$work/line-model" "$port" 100 100 > "$work/line.out" &
line_pid=$!
line_port=""
for _ in $(seq 100); do
    line_port=$(sed -n 's/^listening on \([0-9]*\)$/\1/p' "$work/line.out")
    [ -n "$line_port" ] && break
    sleep 0.1
done
[ -n "$line_port" ] || { echo "the line model reported no port" >&2; exit 1; }

for line in loopback "100 Mbit/s x 100 ms"; do
    at=$port
    [ "$line" = loopback ] || at=$line_port
    echo "== ${size_mib} MiB file, 3 damaged 4 KiB spots in 3 blocks, $line"
    install block "blockrepair=1\npipeline=auto\n" 1 "$at"
    printf '%-28s' "repair with blockrepair=1:"; timed_check block
    install whole "pipeline=auto\n" 1 "$at"
    printf '%-28s' "repair without the key:"; timed_check whole
done
echo "== check of the intact file (page cache warm, best of 3)"
for keys in "" "blockrepair=1\n"; do
    install intact "$keys" 0
    best=""
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        (cd "$work/intact" && "$check_exe" > /dev/null)
        end=$(date +%s.%N)
        best=$(python3 -c "t = $end - $start; b = '$best'; print(t if not b else min(t, float(b)))")
    done
    printf "%-28s%8.2f s\n" "check, $(printf %b "${keys:-no key}" | tr -d "\n"):" "$best"
done
