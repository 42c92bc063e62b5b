#!/usr/bin/env bash
# Extraction speed: ExtractArchive (extract_bench) against Info-ZIP's "unzip -o -q" on the same
# 256 MiB archive of mixed files, 3 runs each into a fresh directory, alternating; prints every
# wall and CPU time, the best of each side and the ratios (above 1: ExtractArchive is faster),
# then checks that both produced the same files.
# Usage: bench/extract-vs-unzip.sh [build-dir]   (default build/native; needs target extract_bench)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/native}"
bench="$build/bench/extract_bench"
if [ ! -x "$bench" ]; then
    echo "missing $bench: cmake --preset native && cmake --build build/native --target extract_bench" >&2
    exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# 256 MiB: 24 random files of 4 MiB (stored by zip), 22 of base64 text (deflates to about 3/4),
# 14 of repetitive log lines (deflates very well), and 1024 small files of the three kinds (16 MiB).
python3 - "$work/src" <<'PY'
import base64, os, random, sys
src = sys.argv[1]
rng = random.Random(20261207)
MiB = 1 << 20
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
def random_bytes(n): return rng.randbytes(n)
def text_bytes(n): return base64.b64encode(rng.randbytes(n * 3 // 4 + 3))[:n]
def log_bytes(n):
    lines = b"".join(b"%08d INFO worker-%d finished job %d in %d ms\n" % (i, i % 7, i * 13, i % 97)
                     for i in range(n // 40 + 1))
    return lines[:n]
for i in range(24): write(f"{src}/random/r{i:02}.bin", random_bytes(4 * MiB))
for i in range(22): write(f"{src}/text/t{i:02}.txt", text_bytes(4 * MiB))
for i in range(14): write(f"{src}/logs/l{i:02}.log", log_bytes(4 * MiB))
for i in range(1024):
    kind = (random_bytes, text_bytes, log_bytes)[i % 3]
    write(f"{src}/small/{i // 100:02}/s{i:04}.dat", kind(16 * 1024))
PY
(cd "$work/src" && zip -q -r "$work/mixed.zip" .)
echo "archive: $(du -m "$work/mixed.zip" | cut -f1) MiB holding $(du -sm --apparent-size "$work/src" | cut -f1) MiB of files"
rm -rf "$work/src"

# Prints "wall cpu" seconds of one command (cpu = user + system of the command and its children).
measure() {
    local TIMEFORMAT='%R %U %S' timing
    timing=$( { time "$@" > /dev/null; } 2>&1 )
    awk '{ printf "%.3f %.3f", $1, $2 + $3 }' <<< "$timing"
}
ours=() theirs=()
for run in 1 2 3; do
    rm -rf "$work/ours" "$work/theirs"
    ours+=("$(measure "$bench" "$work/mixed.zip" "$work/ours/")")
    mkdir -p "$work/theirs"
    theirs+=("$(measure unzip -o -q "$work/mixed.zip" -d "$work/theirs")")
    read -r ow oc <<< "${ours[-1]}"
    read -r tw tc <<< "${theirs[-1]}"
    printf 'run %d: ExtractArchive %s s (cpu %s s)   unzip %s s (cpu %s s)\n' "$run" "$ow" "$oc" "$tw" "$tc"
done
# Best wall time and best CPU time of each side.
best() { printf '%s\n' "${@:2}" | awk -v f="$1" '{ print $f }' | sort -g | head -1; }
ow=$(best 1 "${ours[@]}") oc=$(best 2 "${ours[@]}")
tw=$(best 1 "${theirs[@]}") tc=$(best 2 "${theirs[@]}")
printf 'best wall: ExtractArchive %s s   unzip %s s   unzip/ExtractArchive = %s\n' "$ow" "$tw" \
    "$(awk -v a="$tw" -v b="$ow" 'BEGIN { printf "%.2f", a / b }')"
printf 'best cpu:  ExtractArchive %s s   unzip %s s   unzip/ExtractArchive = %s\n' "$oc" "$tc" \
    "$(awk -v a="$tc" -v b="$oc" 'BEGIN { printf "%.2f", a / b }')"
diff -r -q "$work/ours" "$work/theirs" > /dev/null && echo "outputs identical" || { echo "outputs differ"; exit 1; }
