#!/usr/bin/env bash
# Mirror download speed: ombrelta-check repairing one missing 256 MiB game file through its
# `mirror` (nginx serving BASE/md5/MD5) against curl fetching the same object from the same nginx
# (and, for the Windows checker, against WinHTTP alone under Wine),
# on loopback and through bench/line-model.c (100 Mbit/s, 100 ms round trip), for
# the native checker and for the Windows one under Wine. One run each (the machine may be
# shared: the figures are noisy); prints a table of times and ratios to the references.
# Usage: bench/mirror-vs-curl.sh [native-build-dir [windows-build-dir]]
#   (defaults build/native and build/windows; the Windows column is skipped without its build)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/http-server.sh"
source "$root/bench/native-tools.sh"
use_native_tools "${1:-$root/build/native}"
windows_build="$(realpath -m "${2:-$root/build/windows}")"
windows_check="$windows_build/tools/check/ombrelta-check.exe"
for tool in nginx curl python3 md5sum; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh bench)" >&2; exit 1; }
done
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}" WINEDEBUG=-all

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/server/files" "$work/www/md5"

python3 - "$work/server/files/game.bin" <<'PY'
import random, sys
rng = random.Random(20261208)
with open(sys.argv[1], "wb") as f:
    for _ in range(256):
        f.write(rng.randbytes(1 << 20))
PY
chmod 644 "$work/server/files/game.bin"
md5=$(md5sum < "$work/server/files/game.bin" | cut -d' ' -f1)
ln "$work/server/files/game.bin" "$work/www/md5/$md5"

"$server_exe" --root "$work/server" --listen 127.0.0.1:0 > "$work/server.out" 2> "$work/server.log" &
pids+=($!)
wait_for_port "$work/server.out" $!
server_port=$port
start_nginx "$work/nginx" "$work/www"
pids+=("$nginx_pid")
cc -O2 -pthread -o "$work/line-model" "$root/bench/line-model.c"
"$work/line-model" "$http_port" 100 100 > "$work/proxy.out" &
pids+=($!)
wait_for_port "$work/proxy.out" $!
line_port=$port

now() { date +%s.%N; }
seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.2f", e - s }'; }

# ours MIRROR_PORT CHECKER...: prints the seconds a fresh repair through the mirror takes.
ours() {
    local mirror_port=$1 dir="$work/ours"
    shift
    rm -rf "$dir" && mkdir -p "$dir"
    printf 'host=127.0.0.1\nport=%s\nmirror=http://127.0.0.1:%s\n' "$server_port" "$mirror_port" |
        "$config_exe" encode - "$dir/Ombrel.dat"
    local start end
    start=$(now)
    (cd "$dir" && "$@" --lines > "$work/check.out" 2> "$work/check.err") ||
        { cat "$work/check.out" "$work/check.err" >&2; exit 1; }
    end=$(now)
    grep -q "game.bin from 127.0.0.1" "$work/check.err" || { echo "not from the mirror:" >&2; cat "$work/check.err" >&2; exit 1; }
    [ "$(md5sum < "$dir/game.bin" | cut -d' ' -f1)" = "$md5" ] || { echo "repaired file differs" >&2; exit 1; }
    seconds "$start" "$end"
}

curl_time() {  # curl_time PORT: prints curl's seconds, and those of curl followed by md5sum
    local start end checked
    start=$(now)
    curl -s -f -o "$work/curl.bin" "http://127.0.0.1:$1/md5/$md5"
    end=$(now)
    [ "$(md5sum < "$work/curl.bin" | cut -d' ' -f1)" = "$md5" ] || { echo "curl's file differs" >&2; exit 1; }
    checked=$(now)
    rm -f "$work/curl.bin"
    echo "$(seconds "$start" "$end") $(seconds "$start" "$checked")"
}

winhttp_time() {  # winhttp_time PORT: prints the seconds of WinHTTP alone under Wine
    local start end
    start=$(now)
    [ "$("$root/cmake/wine-run.sh" "$work/winhttp-fetch.exe" "$1" "/md5/$md5" | tr -d '\r')" = $((256 << 20)) ] ||
        { echo "winhttp-fetch failed" >&2; exit 1; }
    end=$(now)
    seconds "$start" "$end"
}

row() {  # row NAME PORT
    local name=$1 mirror_port=$2 c cm n h="-" w="-" wr="-"
    read -r c cm < <(curl_time "$mirror_port")
    n=$(ours "$mirror_port" "$check_exe")
    if [ -f "$windows_check" ]; then
        h=$(winhttp_time "$mirror_port")
        w=$(ours "$mirror_port" "$root/cmake/wine-run.sh" "$windows_check")
        wr=$(awk -v h="$h" -v t="$w" 'BEGIN { printf "%.2fx", h / t }')
    fi
    awk -v name="$name" -v c="$c" -v cm="$cm" -v n="$n" -v h="$h" -v w="$w" -v wr="$wr" 'BEGIN {
        printf "| %-20s | %7.2f s | %9.2f s | %7.2f s | %6.2fx | %9s s | %9s s | %7s |\n", name, c, cm, n, c / n, h, w, wr }'
}

# The checker also digests the file as it arrives (a mirror's bytes are held to the list's MD5),
# which curl does not: the md5sum column shows what that costs curl afterwards.
# Under Wine the reference is WinHTTP alone (bench/winhttp-fetch.cpp): Wine's WinHTTP, not the
# launcher, sets the pace there.
if [ -f "$windows_check" ]; then
    i686-w64-mingw32-g++ -O2 -municode -static -o "$work/winhttp-fetch.exe" "$root/bench/winhttp-fetch.cpp" -lwinhttp
fi
echo "256 MiB game file, one run each; ratio = the reference's time / ours (1.00x: as fast)"
echo "| line                 |    curl   | curl+md5sum |  native   | ratio   |  WinHTTP (Wine) | Wine (.exe) | ratio   |"
echo "|----------------------|-----------|-------------|-----------|---------|-----------------|-------------|---------|"
row "loopback" "$http_port"
row "100 Mbit/s x 100 ms" "$line_port"
