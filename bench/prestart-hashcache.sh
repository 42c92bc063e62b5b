#!/usr/bin/env bash
# Second-launch pre-start verification of 64 intact files of 16 MiB (1 GiB, read from the page
# cache) with and without "hashcache=1", side by side: verify_bench checks once without the key,
# and twice with it (the first check fills "_verify_cache", the second is measured). 3 rounds,
# alternating; prints every run, the best of each, the ratio and the peak resident memory.
# Usage: bench/prestart-hashcache.sh [build-dir]   (default build/native; needs target verify_bench)
set -euo pipefail

source "$(dirname "$0")/game-files.sh"

# Prints "seconds peak-KiB" of the measured check, as verify_bench reports them.
measure() {
    "$bench" "$work/files" "$work/list.md5" default "$@" > "$work/out" || { cat "$work/out" >&2; exit 1; }
    sed -E 's/.*seconds=([0-9.]+).*peak-rss-KiB=([0-9]+).*/\1 \2/' "$work/out"
}
best() { sort -n | head -1; }

: > "$work/plain.runs"; : > "$work/cached.runs"
for run in 1 2 3; do
    measure >> "$work/plain.runs"
    measure hashcache >> "$work/cached.runs"
    echo "run $run (seconds): without the key $(tail -1 "$work/plain.runs" | cut -d' ' -f1)," \
        "hashcache=1 $(tail -1 "$work/cached.runs" | cut -d' ' -f1)"
done
echo "last run: $(cat "$work/out")"

plain=$(cut -d' ' -f1 "$work/plain.runs" | best)
cached=$(cut -d' ' -f1 "$work/cached.runs" | best)
plainPeak=$(cut -d' ' -f2 "$work/plain.runs" | sort -n | tail -1)
cachedPeak=$(cut -d' ' -f2 "$work/cached.runs" | sort -n | tail -1)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
awk -v p="$plain" -v c="$cached" -v pm="$plainPeak" -v cm="$cachedPeak" 'BEGIN {
    printf "best of 3: without the key %.3f s, hashcache=1 %.4f s\n", p, c
    printf "speed-up with hashcache=1: %.0fx (goal: at least 20x)\n", p / c
    printf "peak resident memory: without the key %.1f MiB, hashcache=1 %.1f MiB (goal: under 32 MiB)\n", pm / 1024, cm / 1024
}'
