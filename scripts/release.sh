#!/usr/bin/env bash
# Builds a release from the committed tree: the sources of HEAD are exported into a fresh folder
# and built there (Windows and native, RelWithDebInfo, no tests), then packed by package.sh into
# build/release/: the Windows launcher zip, the Linux server tarball, the debug archive and
# SHA256SUMS. Refuses to run with uncommitted changes, which the release would not contain.
# With --sign-key and --sign-cert (PEM) the Windows programs are Authenticode-signed (see
# package.sh); without them the package says that they are unsigned.
# Usage: bash scripts/release.sh [--sign-key KEY.pem --sign-cert CERT.pem]
set -euo pipefail

sign_options=()
while [ $# -gt 0 ]; do
    case $1 in
    --sign-key | --sign-cert)
        [ $# -ge 2 ] || { echo "release.sh: $1 needs a file" >&2; exit 2; }
        [ -f "$2" ] || { echo "release.sh: no such file: $2" >&2; exit 2; }
        sign_options+=("$1" "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
        shift 2
        ;;
    *)
        echo "usage: bash scripts/release.sh [--sign-key KEY.pem --sign-cert CERT.pem]" >&2
        exit 2
        ;;
    esac
done

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: the working tree has uncommitted changes; commit them first" >&2
    exit 1
fi
bash scripts/install-deps.sh build
# The compiler cache serves when present; a release builds the same either way.
[ -f /work/ccache-env.sh ] && source /work/ccache-env.sh

release="$root/build/release"
source_dir="$release/source"
rm -rf "$release"
mkdir -p "$source_dir"
commit=$(git rev-parse HEAD)
git archive "$commit" | tar -x -C "$source_dir"
# The archives' file times: the commit's, so the same commit packs the same way.
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")

build() {  # build PRESET
    local preset=$1 dir="$release/build-$1"
    echo "=== $preset build ($dir)"
    cmake -S "$source_dir" --preset "$preset" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DOMBRELTA_TESTS=OFF -DOMBRELTA_BENCH=OFF >"$release/$preset-configure.log" 2>&1 ||
        { cat "$release/$preset-configure.log"; exit 1; }
    cmake --build "$dir" -j2 >"$release/$preset-build.log" 2>&1 ||
        { tail -n 60 "$release/$preset-build.log"; exit 1; }
}
build windows
build native

bash "$source_dir/scripts/package.sh" "$release/build-windows" "$release/build-native" "$release" "${sign_options[@]}"
