# Sourced by the verification benchmarks. Sets bench to the verify_bench program of the build
# folder (first argument, default build/native), work to a fresh folder removed on exit, and
# fills work/files with 64 files of 16 MiB (1 GiB, fixed seed, read once into the page cache)
# listed in work/list.md5 as md5sum writes it.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/native}"
bench="$build/bench/verify_bench"
if [ ! -x "$bench" ]; then
    echo "missing $bench: cmake --preset native && cmake --build build/native --target verify_bench" >&2
    exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"

python3 - "$work/files" <<'PY'
import random, sys
rng = random.Random(20261207)
for i in range(64):
    with open(f"{sys.argv[1]}/game{i:02}.bin", "wb") as f:
        f.write(rng.randbytes(16 << 20))
PY
cat "$work/files"/* > /dev/null
(cd "$work/files" && md5sum -- *.bin > "$work/list.md5")
