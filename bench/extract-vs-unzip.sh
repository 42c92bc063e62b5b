#!/usr/bin/env bash
# Extraction speed: ExtractArchive (extract_bench) against Info-ZIP's "unzip -o -q" on the same
# 256 MiB archive of mixed files, 3 runs each into a fresh directory, alternating; prints every
# time, the best of each and the ratio, then checks that both produced the same files.
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

# 256 MiB: 24 random files (stored by zip), 24 of base64 text (deflates to about 3/4), 15 of
# repetitive log lines (deflates very well), and 1024 small files of each kind (16 MiB).
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
for i in range(24): write(f"{src}/text/t{i:02}.txt", text_bytes(4 * MiB))
for i in range(15): write(f"{src}/logs/l{i:02}.log", log_bytes(4 * MiB))
for i in range(1024):
    kind = (random_bytes, text_bytes, log_bytes)[i % 3]
    write(f"{src}/small/{i // 100:02}/s{i:04}.dat", kind(16 * 1024))
PY
(cd "$work/src" && zip -q -r "$work/mixed.zip" .)
echo "archive: $(du -m "$work/mixed.zip" | cut -f1) MiB compressed, $(du -sm "$work/src" | cut -f1) MiB of files"
rm -rf "$work/src"

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
ours=() theirs=()
for run in 1 2 3; do
    rm -rf "$work/ours" "$work/theirs"
    start=$(now)
    "$bench" "$work/mixed.zip" "$work/ours/" > /dev/null
    ours+=("$(since "$start")")
    mkdir -p "$work/theirs"
    start=$(now)
    unzip -o -q "$work/mixed.zip" -d "$work/theirs"
    theirs+=("$(since "$start")")
    printf 'run %d: ExtractArchive %.3f s   unzip %.3f s\n' "$run" "${ours[-1]}" "${theirs[-1]}"
done
best() { printf '%s\n' "$@" | sort -g | head -1; }
best_ours=$(best "${ours[@]}")
best_theirs=$(best "${theirs[@]}")
printf 'best: ExtractArchive %.3f s   unzip %.3f s   unzip/ExtractArchive = %.2f\n' \
    "$best_ours" "$best_theirs" "$(awk -v a="$best_theirs" -v b="$best_ours" 'BEGIN { print a / b }')"
diff -r -q "$work/ours" "$work/theirs" > /dev/null && echo "outputs identical" || { echo "outputs differ"; exit 1; }
