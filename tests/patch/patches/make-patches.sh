#!/usr/bin/env bash
# Makes the patch archives of the patch loop tests with Info-ZIP zip (-X: no extra fields,
# fixed file times, so the archives are the same on every run).
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_patch() {  # name version-or-empty files...
    local name=$1 version=$2
    shift 2
    rm -rf "$work/content" && mkdir -p "$work/content"
    [ -n "$version" ] && printf '%s\r\n' "$version" > "$work/content/version.dat"
    for f in "$@"; do
        mkdir -p "$work/content/$(dirname "$f")"
        printf 'content of %s in %s\n' "$f" "$name" > "$work/content/$f"
    done
    find "$work/content" -exec touch -d '2024-05-01 12:00:00' {} +
    rm -f "$name"
    (cd "$work/content" && zip -q -X -r "$OLDPWD/$name" .)
}

make_patch patch1.zip 1 data/a.bin readme.txt
make_patch patch2.zip 2 b.txt
make_patch patch3.zip 3 data/c.bin
make_patch noversion.zip "" x.txt
make_patch wrongversion.zip 7 y.txt
