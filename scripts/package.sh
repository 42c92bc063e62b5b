#!/usr/bin/env bash
# Packs built programs into the release archives: the Windows launcher zip, the Linux server
# tarball, a debug archive and SHA256SUMS. The programs are stripped in the package; their debug
# information goes into the debug archive, and each program names its file through a debug link.
# With --sign-key and --sign-cert (PEM files) every .exe of the Windows package gets an
# Authenticode signature (osslsigncode, SHA-256, no timestamp server) before anything is packed.
# Usage: bash scripts/package.sh WINDOWS_BUILD NATIVE_BUILD OUT_DIR [--sign-key KEY.pem --sign-cert CERT.pem]
# scripts/release.sh calls it on fresh builds; the release test calls it on the test builds.
set -euo pipefail

usage() {
    echo "usage: bash scripts/package.sh WINDOWS_BUILD NATIVE_BUILD OUT_DIR [--sign-key KEY.pem --sign-cert CERT.pem]" >&2
    exit 2
}
[ $# -ge 3 ] || usage
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
windows_build=$(cd "$1" && pwd)
native_build=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
shift 3
sign_key="" sign_cert=""
while [ $# -gt 0 ]; do
    case $1 in
    --sign-key) [ $# -ge 2 ] || usage; sign_key=$2; shift 2 ;;
    --sign-cert) [ $# -ge 2 ] || usage; sign_cert=$2; shift 2 ;;
    *) usage ;;
    esac
done
if [ -n "$sign_key$sign_cert" ] && { [ -z "$sign_key" ] || [ -z "$sign_cert" ]; }; then
    echo "package.sh: --sign-key and --sign-cert go together" >&2
    exit 2
fi

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
# sign_programs DIR: signs every .exe below DIR in place, or says that the programs are unsigned.
sign_programs() {
    local dir=$1 program count=0 when=()
    if [ -z "$sign_key" ]; then
        echo "package.sh: the Windows programs are unsigned (no --sign-key and --sign-cert)"
        return
    fi
    # The signing time is the commit's, like the archives' file times.
    [ -z "${SOURCE_DATE_EPOCH:-}" ] || when=(-time "$SOURCE_DATE_EPOCH")
    while IFS= read -r program; do
        osslsigncode sign -certs "$sign_cert" -key "$sign_key" -h sha256 -n "Ombrelta Launcher" "${when[@]}" \
            -in "$program" -out "$program.signed" >/dev/null
        mv "$program.signed" "$program"
        count=$((count + 1))
    done < <(find "$dir" -name '*.exe' | LC_ALL=C sort)
    echo "package.sh: signed $count Windows programs with $sign_cert"
}
sign_programs "$stage/$windows_name"
cp "$root/assets/skin/"*.png "$stage/$windows_name/data2/Ombrelta/"
cp "$root/deploy/launcher/Ombrel.txt" "$root/deploy/launcher/README-operators.txt" "$stage/$windows_name/"

for program in tools/server/ombrelta-server tools/patch/ombrelta-patch tools/check/ombrelta-check \
    tools/config/ombrelta-config; do
    strip_into objcopy "$native_build/$program" "$stage/$linux_name/bin"
done
cp -R "$root/deploy" "$stage/$linux_name/deploy"
rm -rf "$stage/$linux_name/deploy/launcher"
cp "$root/docs/operators.md" "$root/docs/launcher.md" "$root/docs/formats.md" "$stage/$linux_name/"

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
