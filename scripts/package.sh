#!/usr/bin/env bash
# Packs built programs into the release archives: the Windows launcher zip, the Linux server
# tarball, a debug archive and SHA256SUMS. The programs are stripped in the package; their debug
# information goes into the debug archive, and each program names its file through a debug link.
# Usage: bash scripts/package.sh WINDOWS_BUILD NATIVE_BUILD OUT_DIR
# scripts/release.sh calls it on fresh builds; the release test calls it on the test builds.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
windows_build=$(cd "$1" && pwd)
native_build=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)

# The one version of a release: the CMake project version, which the version resource also takes.
version=$(sed -n 's/^project(OmbreltaLauncher VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package.sh: no project version in CMakeLists.txt" >&2; exit 1; }

windows_name="ombrelta-launcher-$version-windows"
linux_name="ombrelta-server-$version-linux-x86_64"
debug_name="ombrelta-$version-debug"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage/$windows_name/data2/Ombrelta" "$stage/$linux_name/bin" "$stage/$debug_name"

# strip_into OBJCOPY PROGRAM TARGET_DIR: a stripped copy in TARGET_DIR, its debug file in the
# debug folder, linked to each other by name.
strip_into() {
    local objcopy=$1 program=$2 target=$3 name
    name=$(basename "$program")
    "$objcopy" --only-keep-debug "$program" "$stage/$debug_name/$name.debug"
    "$objcopy" --strip-all "$program" "$target/$name"
    (cd "$stage/$debug_name" && "$objcopy" --add-gnu-debuglink="$name.debug" "$target/$name")
}

for program in app/OmbreltaLauncher.exe tools/check/ombrelta-check.exe tools/config/ombrelta-config.exe \
    tools/server/ombrelta-server.exe; do
    strip_into i686-w64-mingw32-objcopy "$windows_build/$program" "$stage/$windows_name"
done
cp "$root/assets/skin/"*.png "$stage/$windows_name/data2/Ombrelta/"
cp "$root/deploy/launcher/Ombrel.txt" "$root/deploy/launcher/README-operators.txt" "$stage/$windows_name/"

for program in tools/server/ombrelta-server tools/patch/ombrelta-patch tools/check/ombrelta-check \
    tools/config/ombrelta-config; do
    strip_into objcopy "$native_build/$program" "$stage/$linux_name/bin"
done
cp -R "$root/deploy" "$stage/$linux_name/deploy"
rm -rf "$stage/$linux_name/deploy/launcher"
cp "$root/tools/server/README.md" "$stage/$linux_name/README.md"

# Fixed owners, order and times: the same programs give the same archives.
find "$stage" -exec touch -d "@${SOURCE_DATE_EPOCH:-0}" {} +
rm -f "$out/$windows_name.zip" "$out/$linux_name.tar.gz" "$out/$debug_name.tar.gz" "$out/SHA256SUMS"
(cd "$stage" && find "$windows_name" | LC_ALL=C sort | zip -q -X -9 "$out/$windows_name.zip" -@)
tar_flags=(--sort=name --owner=0 --group=0 --numeric-owner)
(cd "$stage" && tar "${tar_flags[@]}" -cf - "$linux_name" | gzip -n -9 >"$out/$linux_name.tar.gz")
(cd "$stage" && tar "${tar_flags[@]}" -cf - "$debug_name" | gzip -n -9 >"$out/$debug_name.tar.gz")
(cd "$out" && sha256sum "$windows_name.zip" "$linux_name.tar.gz" "$debug_name.tar.gz" >SHA256SUMS)
rm -rf "$stage"
echo "$out/$windows_name.zip"
echo "$out/$linux_name.tar.gz"
echo "$out/$debug_name.tar.gz"
echo "$out/SHA256SUMS"
