#!/usr/bin/env bash
# Game file check speed: the pre-start verification (verify_bench, against a loopback server
# listing the files) against "md5sum" over the same 64 intact files of 16 MiB (1 GiB, read from
# the page cache). Runs md5sum, then our check with the checking thread hashing alone, then with the
# default hashing threads, 3 times each, alternating; prints every run, the best of each, the
# ratios to md5sum and the peak resident memory.
# Usage: bench/verify-vs-md5sum.sh [build-dir]   (default build/native; needs target verify_bench)
set -euo pipefail

source "$(dirname "$0")/game-files.sh"

# Prints "seconds peak-KiB cpu-seconds" of one command.
measure() {
    /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" > "$work/out" || { cat "$work/out" >&2; exit 1; }
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time"
}
best() { sort -n | head -1; }

: > "$work/md5sum.runs"; : > "$work/one.runs"; : > "$work/pool.runs"
for run in 1 2 3; do
    (cd "$work/files" && measure md5sum -- *.bin) >> "$work/md5sum.runs"
    measure "$bench" "$work/files" "$work/list.md5" 0 >> "$work/one.runs"
    measure "$bench" "$work/files" "$work/list.md5" default >> "$work/pool.runs"
    echo "run $run (wall / cpu seconds): md5sum $(tail -1 "$work/md5sum.runs" | cut -d' ' -f1,3)," \
        "one thread $(tail -1 "$work/one.runs" | cut -d' ' -f1,3)," \
        "default threads $(tail -1 "$work/pool.runs" | cut -d' ' -f1,3)"
done
echo "last run of ours: $(cat "$work/out")"

theirs=$(cut -d' ' -f1 "$work/md5sum.runs" | best)
one=$(cut -d' ' -f1 "$work/one.runs" | best)
pool=$(cut -d' ' -f1 "$work/pool.runs" | best)
theirsCpu=$(cut -d' ' -f3 "$work/md5sum.runs" | best)
oneCpu=$(cut -d' ' -f3 "$work/one.runs" | best)
peak=$(cat "$work/one.runs" "$work/pool.runs" | cut -d' ' -f2 | sort -n | tail -1)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores (a busy machine hides the threads' gain)"
awk -v t="$theirs" -v o="$one" -v p="$pool" -v m="$peak" -v tc="$theirsCpu" -v oc="$oneCpu" 'BEGIN {
    printf "best of 3: md5sum %.2f s, one hashing thread %.2f s, default threads %.2f s\n", t, o, p
    printf "speed vs md5sum: one thread %.2fx, default threads %.2fx\n", t / o, t / p
    printf "cpu seconds: md5sum %.2f, one hashing thread %.2f\n", tc, oc
    printf "peak resident memory of ours: %.1f MiB\n", m / 1024
}'
