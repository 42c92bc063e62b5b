#!/usr/bin/env bash
# Installs the Debian packages of the named groups that are not installed yet; quick when they all
# are. apt's output goes to a temporary file and is shown only when apt fails.
# Usage: bash scripts/install-deps.sh [GROUP...]   (default: every group)
#   build  compilers, libraries and tools for every preset and for packing (and signing) a release;
#          also the deb-src lines from which cmake/build-zstd-mingw.sh fetches zstd for Windows
#   test   the whole test run beyond the build: Wine, Xvfb and the screen tools, archivers, HAProxy,
#          Prometheus, tmux, nginx and varnish (the mirror tests)
#   bench  the benchmarks and the demo beyond the build: Wine, Xvfb and the screen tools, nginx,
#          curl, archivers ("demo" names the same group)
set -euo pipefail

build_packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    zlib1g-dev libz-mingw-w64-dev libssl-dev libminizip-dev
    libgtest-dev googletest libbenchmark-dev libasio-dev prometheus-cpp-dev zip osslsigncode
    libzstd-dev dpkg-dev ccache libcurl4-openssl-dev libxxhash-dev
)
# The launcher under Wine on a private X server, watched and driven from scripts/lib/screen.sh.
screen_packages=(wine wine32 fonts-wine xvfb xdotool x11-utils imagemagick fonts-dejavu-core fonts-urw-base35)
test_packages=("${screen_packages[@]}" python3 zip unzip p7zip-full haproxy prometheus tmux nginx-light varnish)
bench_packages=("${screen_packages[@]}" python3 zip unzip curl nginx-light zstd xdelta3)

groups=("$@")
[ $# -gt 0 ] || groups=(build test bench)
wanted=()
for group in "${groups[@]}"; do
    case $group in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${test_packages[@]}") ;;
    bench | demo) wanted+=("${bench_packages[@]}") ;;
    *)
        echo "install-deps.sh: unknown group \"$group\" (build, test, bench or demo)" >&2
        exit 2
        ;;
    esac
done

# Debian has no MinGW build of zstd: the Windows preset builds it from Debian's own source
# package, which apt-get source finds through deb-src lines for the archive already in use.
source_list=/etc/apt/sources.list.d/ombrelta-deb-src.sources
add_sources=false
[[ " ${wanted[*]} " == *" dpkg-dev "* ]] && [ ! -e "$source_list" ] && add_sources=true

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -gt 0 ] || $add_sources || exit 0

[ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# quietly COMMAND...: runs COMMAND with its output in the log; on failure shows the log and stops.
quietly() {
    "${sudo[@]}" "$@" >>"$log" 2>&1 </dev/null && return 0
    echo "install-deps.sh: failed: $*" >&2
    cat "$log" >&2
    exit 1
}

# wine32 is an i386 package: apt only sees it once the architecture is added and the lists are read.
if [[ " ${missing[*]} " == *" wine32 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    quietly dpkg --add-architecture i386
fi
# deb822 "Types: deb" stanzas (Debian 12) or one-line "deb" entries, each repeated as deb-src.
if $add_sources; then
    if [ -e /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$log.src"
    else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$log.src"
        source_list=${source_list%.sources}.list
    fi
    quietly install -m 0644 "$log.src" "$source_list"
    rm -f "$log.src"
fi
quietly apt-get update
[ ${#missing[@]} -eq 0 ] || quietly apt-get install -y --no-install-recommends "${missing[@]}"
echo "Installed ${#missing[@]} package(s)." >&2
