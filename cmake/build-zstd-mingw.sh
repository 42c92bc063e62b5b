#!/usr/bin/env bash
# Builds zstd's static decoder for 32-bit Windows from Debian's own source package, once, into a
# cache folder: Debian has no MinGW build of it, and the tree keeps no copy of its sources.
# Needs the deb-src lines that scripts/install-deps.sh build adds, and dpkg-dev.
# Usage: bash cmake/build-zstd-mingw.sh CACHE_DIR C_COMPILER AR
# Leaves CACHE_DIR/include/zstd.h, zstd_errors.h and CACHE_DIR/lib/libzstd.a; quick when they exist.
set -euo pipefail

cache=$1
cc=$2
ar=$3
built() { [ -f "$cache/lib/libzstd.a" ] && [ -f "$cache/include/zstd.h" ]; }
built && exit 0

mkdir -p "$(dirname "$cache")"
# Two configures at once build it once.
exec 9>"$cache.lock"
flock 9
built && exit 0

work=$(mktemp -d "$cache.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# The newest source first; a mirror may lack one archive's sources (often the security one's),
# so every version apt knows is tried in turn.
versions=$(apt-cache showsrc libzstd 2>/dev/null | sed -n 's/^Version: //p' | sort -Vru)
if [ -z "$versions" ]; then
    echo "build-zstd-mingw.sh: apt knows no source of libzstd; run scripts/install-deps.sh build" >&2
    exit 1
fi
fetched=
for version in $versions; do
    if apt-get source -qq "libzstd=$version" >fetch.log 2>&1; then
        fetched=$version
        break
    fi
    rm -rf libzstd*
done
if [ -z "$fetched" ]; then
    cat fetch.log >&2
    echo "build-zstd-mingw.sh: apt-get source libzstd failed" >&2
    exit 1
fi
source_dir=$(find . -maxdepth 1 -type d -name 'libzstd-*' | head -n 1)

# The decoder only, without the legacy formats: all a launcher applying patches needs. Optimised
# as zstd's own build does, whatever CFLAGS the caller's environment holds.
CFLAGS=-O3 make -C "$source_dir/lib" -j2 libzstd.a CC="$cc" AR="$ar" ZSTD_LIB_COMPRESSION=0 ZSTD_LIB_DICTBUILDER=0 \
    ZSTD_LIB_DEPRECATED=0 ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_ASM=1 >build.log 2>&1 || {
    tail -n 40 build.log >&2
    exit 1
}

staging="$work/out"
mkdir -p "$staging/include" "$staging/lib"
cp "$source_dir/lib/zstd.h" "$source_dir/lib/zstd_errors.h" "$staging/include/"
cp "$source_dir/lib/libzstd.a" "$staging/lib/"
echo "libzstd $fetched (Debian source package), decoder only" >"$staging/SOURCE"
rm -rf "$cache"
mv "$staging" "$cache"
