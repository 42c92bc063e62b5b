#!/usr/bin/env bash
# Delta patches against whole ones on three pairs of game content, one run, printing a table:
#   (a) a synthetic 256 MiB pak of compressible and random 4 KiB blocks; its next version changes
#       1 % of the blocks, inserts 2 MiB in the middle and deletes 1 MiB near the end;
#   (b) OmbreltaLauncher.exe and ombrelta-server built from an older commit and from this tree,
#       stripped as the release ships them;
#   (c) a tree of 3000 small files with 30 changed.
# Per pair: the patch whole and with --delta, the anchors "zstd --patch-from --long -19" and
# xdelta3 (summed over the changed files), the time of "make --delta", the time of applying it
# natively (extract_bench --delta) and with the Windows ombrelta-check.exe under Wine against a
# real ombrelta-server (extraction only: from "Extracting patch..." to "installed."), and the
# peak private memory (anonymous resident + swap) of both.
# Usage: bench/delta-patch.sh [--old-commit REV] [PAIR...]   (default: the first-parent ancestor of
#        HEAD with about 50 commits between it and HEAD, and the pairs a b c; pair (b) builds REV in
#        a copy under build/bench-delta, which takes a while the first time)
#        OMBRELTA_BENCH_OLD_EXES=DIR uses DIR/OmbreltaLauncher.exe and DIR/ombrelta-server instead.
# Needs: build/native (ombrelta-patch, ombrelta-server, extract_bench), build/windows
# (ombrelta-check.exe, OmbreltaLauncher.exe) and scripts/install-deps.sh bench (zstd, xdelta3).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
native="$root/build/native"
windows="$root/build/windows"
work="$root/build/bench-delta"

# about_50_commits_back: the first-parent ancestor of HEAD whose "git rev-list --count OLD..HEAD"
# is nearest 50 (a merge brings many commits at once).
about_50_commits_back() {
    local k=1 count best=1 best_off=50 off
    while git -C "$root" rev-parse -q --verify "HEAD~$k" >/dev/null; do
        count=$(git -C "$root" rev-list --count "HEAD~$k..HEAD")
        off=$((count > 50 ? count - 50 : 50 - count))
        if [ "$off" -lt "$best_off" ]; then best=$k best_off=$off; fi
        [ "$count" -lt 50 ] || break
        k=$((k + 1))
    done
    git -C "$root" rev-parse --short "HEAD~$best"
}

if [ "${1:-}" = "--old-commit" ]; then
    old_commit=$(git -C "$root" rev-parse --short "$2")
    shift 2
else
    old_commit=$(about_50_commits_back)
fi
pairs=("$@")
[ $# -gt 0 ] || pairs=(a b c)
tool="$native/tools/patch/ombrelta-patch"
for program in "$tool" "$native/tools/server/ombrelta-server" "$native/bench/extract_bench" \
    "$windows/tools/check/ombrelta-check.exe" "$windows/app/OmbreltaLauncher.exe"; do
    [ -x "$program" ] || { echo "missing $program: build the native and windows presets first" >&2; exit 1; }
done
command -v zstd >/dev/null && command -v xdelta3 >/dev/null ||
    { echo "missing zstd or xdelta3: bash scripts/install-deps.sh bench" >&2; exit 1; }
export WINEDEBUG=-all WINEPREFIX="$work/wineprefix"
mkdir -p "$work"

make_pak_pair() {  # DIR
    python3 - "$1" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(27)
KiB, MiB = 1024, 1 << 20
words = [b"mossfield", b"shadow", b"lantern", b"ombrelta", b"tarvesk", b"fog", b"0x%04x", b"{", b"}", b"\n"]
def block():
    if rng.random() < 0.5:
        return rng.randbytes(4 * KiB)
    text = b" ".join(rng.choice(words) for _ in range(900))
    return text[:4 * KiB].ljust(4 * KiB, b" ")
blocks = [block() for _ in range(256 * MiB // (4 * KiB))]
os.makedirs(f"{out}/old/data", exist_ok=True)
os.makedirs(f"{out}/new/data", exist_ok=True)
open(f"{out}/old/data/world.pak", "wb").write(b"".join(blocks))
for i in rng.sample(range(len(blocks)), len(blocks) // 100):
    blocks[i] = block()
data = bytearray(b"".join(blocks))
middle = len(data) // 2
data[middle:middle] = b"".join(block() for _ in range(2 * MiB // (4 * KiB)))
end = len(data) - 16 * MiB
del data[end:end + MiB]
open(f"{out}/new/data/world.pak", "wb").write(bytes(data))
PY
}

make_tree_pair() {  # DIR
    python3 - "$1" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(28)
words = ["quest", "npc", "dialog", "item", "price", "mossfield", "shadow", "level", "=", "\n"]
files = {}
for i in range(3000):
    size = rng.randint(1024, 8192)
    files[f"data/quests/{i // 100:02}/q{i:04}.txt"] = " ".join(rng.choice(words) for _ in range(size // 5)).encode()
for root, change in (("old", False), ("new", True)):
    if change:
        for name in rng.sample(sorted(files), 30):
            text = files[name]
            at = rng.randrange(len(text))
            files[name] = text[:at] + b" changed line\n" + text[at + 40:]
    for name, data in files.items():
        path = f"{out}/{root}/{name}"
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(data)
PY
}

build_old_exes() {  # DIR
    local source="$work/old-src" dir=$1
    if [ -n "${OMBRELTA_BENCH_OLD_EXES:-}" ]; then
        cp "$OMBRELTA_BENCH_OLD_EXES/OmbreltaLauncher.exe" "$OMBRELTA_BENCH_OLD_EXES/ombrelta-server" "$dir/"
        return
    fi
    if [ "$(cat "$source/.bench-commit" 2>/dev/null)" != "$old_commit" ]; then
        rm -rf "$source" && mkdir -p "$source"
        git -C "$root" archive "$old_commit" | tar -x -C "$source"
        echo "$old_commit" >"$source/.bench-commit"
    fi
    # The presets' own build folders, so that a compiler cache finds what other trees compiled.
    (cd "$source" && cmake --preset windows -DOMBRELTA_TESTS=OFF >/dev/null &&
        cmake --build build/windows -j2 --target OmbreltaLauncher >/dev/null &&
        cmake --preset native -DOMBRELTA_TESTS=OFF -DOMBRELTA_BENCH=OFF >/dev/null &&
        cmake --build build/native -j2 --target ombrelta-server >/dev/null)
    cp "$source/build/windows/app/OmbreltaLauncher.exe" "$source/build/native/tools/server/ombrelta-server" "$dir/"
}

make_exe_pair() {  # DIR
    mkdir -p "$1/old" "$1/new"
    build_old_exes "$1/old"
    cp "$windows/app/OmbreltaLauncher.exe" "$native/tools/server/ombrelta-server" "$1/new/"
    i686-w64-mingw32-strip "$1/old/OmbreltaLauncher.exe" "$1/new/OmbreltaLauncher.exe"
    strip "$1/old/ombrelta-server" "$1/new/ombrelta-server"
}

# frame_bytes DIR: the bytes of the zstd frames in DIR/delta.zip (its delta entries without their
# 92-byte headers), to hold against the zstd command's frames.
frame_bytes() {
    unzip -l "$1/delta.zip" | awk '$4 ~ /\.ombrelta-delta$/ { total += $1 - 92 } END { print total + 0 }'
}

# changed_files DIR: the files of DIR/new that differ from DIR/old (all exist in both here).
changed_files() {
    (cd "$1/new" && find . -type f -printf '%P\n' | sort) | while IFS= read -r file; do
        cmp -s "$1/old/$file" "$1/new/$file" || printf '%s\n' "$file"
    done
}

# anchor_sizes DIR: prints "ZSTD_BYTES XDELTA_BYTES", kept in DIR/anchors: they take long.
anchor_sizes() {
    [ -f "$1/anchors" ] || compute_anchor_sizes "$1" >"$1/anchors"
    cat "$1/anchors"
}

compute_anchor_sizes() {  # DIR
    local zstd_total=0 xdelta_total=0 file
    while IFS= read -r file; do
        zstd -q -f -19 --long --patch-from="$1/old/$file" "$1/new/$file" -o "$1/anchor.zst" 2>/dev/null
        xdelta3 -e -f -s "$1/old/$file" "$1/new/$file" "$1/anchor.xd3"
        zstd_total=$((zstd_total + $(stat -c %s "$1/anchor.zst")))
        xdelta_total=$((xdelta_total + $(stat -c %s "$1/anchor.xd3")))
    done < <(changed_files "$1")
    echo "$zstd_total $xdelta_total"
}

# apply_native DIR: prints "SECONDS PEAK_KIB" of extract_bench --delta over a copy of old.
apply_native() {
    rm -rf "$1/apply" && cp -r "$1/old" "$1/apply"
    local out
    out=$("$root/bench/private-peak.py" extract_bench "$native/bench/extract_bench" "$1/delta.zip" "$1/apply/" \
        --delta 2>&1)
    diff -r -q -x version.dat "$1/apply" "$1/new" >/dev/null || { echo "native apply differs: $1" >&2; exit 1; }
    echo "$(sed -n 's/^ExtractArchive: \([0-9.]*\) s$/\1/p' <<<"$out") $(sed -n 's/^peak-private-kib //p' <<<"$out")"
}

# apply_wine DIR ARCHIVE: prints "SECONDS PEAK_KIB": ombrelta-check.exe installing ARCHIVE over a
# copy of old from a real server, timed from "Extracting patch..." to "Patch 2 installed.".
apply_wine() {
    local dir=$1 server="$1/server" install="$1/wine-install" port pid out
    rm -rf "$server" "$install" && mkdir -p "$server/patches" "$server/files"
    cp "$2" "$server/patches/patch-2.zip"
    cp -r "$dir/old" "$install" && printf '1\r\n' >"$install/version.dat"
    "$native/tools/server/ombrelta-server" --root "$server" --listen 127.0.0.1:0 >"$dir/server.out" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$dir/server.out")
        [ -n "$port" ] && break
        sleep 0.1
    done
    printf 'host=127.0.0.1\nport=%s\ndelta=1\n' "$port" | "$native/tools/config/ombrelta-config" encode - "$install/Ombrel.dat"
    out=$(cd "$install" && "$root/bench/private-peak.py" ombrelta-check.exe "$root/cmake/wine-run.sh" \
        "$windows/tools/check/ombrelta-check.exe" 2>&1 | python3 -c '
import sys, time
marks = {}
for line in sys.stdin:
    if "Extracting patch..." in line: marks["start"] = time.monotonic()
    if "Patch 2 installed." in line: marks["end"] = time.monotonic()
    if line.startswith("peak-private-kib"): print("%.3f %s" % (marks["end"] - marks["start"], line.split()[1]))
')
    kill "$pid" && wait "$pid" 2>/dev/null || true
    diff -r -q -x version.dat -x Ombrel.dat "$install" "$dir/new" >/dev/null ||
        { echo "wine apply differs: $dir" >&2; exit 1; }
    echo "$out"
}

run_pair() {  # LABEL DIR
    local label=$1 dir=$2 whole delta frames make_s zstd_b xdelta_b native_r wine_r wine_whole result_bytes
    "$tool" make --from "$dir/old" --to "$dir/new" --version 2 --out "$dir/whole.zip" >/dev/null
    local started=$SECONDS start_ns
    start_ns=$(date +%s%N)
    "$tool" make --from "$dir/old" --to "$dir/new" --version 2 --out "$dir/delta.zip" --delta >"$dir/make.out"
    make_s=$(python3 -c "print('%.1f' % (($(date +%s%N) - $start_ns) / 1e9))")
    whole=$(stat -c %s "$dir/whole.zip")
    delta=$(stat -c %s "$dir/delta.zip")
    read -r zstd_b xdelta_b < <(anchor_sizes "$dir")
    frames=$(frame_bytes "$dir")
    read -r native_s native_kib < <(apply_native "$dir")
    read -r wine_s wine_kib < <(apply_wine "$dir" "$dir/delta.zip")
    read -r wine_whole _ < <(apply_wine "$dir" "$dir/whole.zip")
    result_bytes=0
    while IFS= read -r file; do result_bytes=$((result_bytes + $(stat -c %s "$dir/new/$file"))); done < <(changed_files "$dir")
    python3 - "$label" "$whole" "$delta" "$zstd_b" "$xdelta_b" "$make_s" "$native_s" "$native_kib" "$wine_s" \
        "$wine_kib" "$wine_whole" "$result_bytes" "$frames" <<'PY'
import sys
label, whole, delta, zstd_b, xdelta_b = sys.argv[1], *map(int, sys.argv[2:6])
make_s, native_s, native_kib, wine_s, wine_kib, wine_whole, result, frames = sys.argv[6:14]
mib = lambda n: "%.2f MiB" % (int(n) / 2**20) if int(n) >= 2**20 else "%.1f KiB" % (int(n) / 1024)
rate = int(result) / 2**20 / max(float(native_s), 1e-6)
print("| %s | %s | %s (%.2f %%) | %s (our frames %s, %+.1f %%) | %s | %s s | %s s, %.0f MiB/s | %.1f MiB | %s s (whole: %s s) | %.1f MiB |"
      % (label, mib(whole), mib(delta), 100 * delta / whole, mib(zstd_b), mib(frames), 100 * (int(frames) - zstd_b) / zstd_b,
         mib(xdelta_b), make_s, native_s, rate, int(native_kib) / 1024, wine_s, wine_whole, int(wine_kib) / 1024))
PY
}

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
echo "| Pair | Whole patch | --delta | zstd --patch-from --long -19 | xdelta3 | make --delta | apply natively | native peak private | apply under Wine | Wine peak private |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for pair in "${pairs[@]}"; do
    dir="$work/$pair"
    # Pair (b) is made again for every run: its executables are this tree's.
    if [ ! -d "$dir/new" ] || [ "$pair" = b ]; then
        rm -rf "$dir" && mkdir -p "$dir"
        case $pair in
        a) make_pak_pair "$dir" ;;
        b) make_exe_pair "$dir" ;;
        c) make_tree_pair "$dir" ;;
        esac
    fi
    case $pair in
    a) label="(a) 256 MiB pak" ;;
    b) label="(b) OmbreltaLauncher.exe and ombrelta-server, $old_commit..HEAD ($(git -C "$root" rev-list --count "$old_commit..HEAD") commits)" ;;
    c) label="(c) 3000 small files, 30 changed" ;;
    esac
    run_pair "$label" "$dir"
done
