#!/usr/bin/env bash
# The `maxrate` speed cap over loopback: ombrelta-check repairs a missing 64 MiB game file from
# ombrelta-server with maxrate=2048 (2 MiB/s), with pipeline=1, pipeline=16 and pipeline=auto,
# while a sampler reads the file's size every 20 ms. Prints the rate of every second and checks
# that every 10 s window after the first second averages within 5 % of 2 MiB/s (about 100 s).
# Usage: bench/maxrate-repair.sh [build-dir]   (default build/native; needs ombrelta-server,
# ombrelta-check and ombrelta-config)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/bench/native-tools.sh"
use_native_tools "${1:-$root/build/native}"
command -v python3 >/dev/null || { echo "missing python3 (scripts/install-deps.sh bench)" >&2; exit 1; }

maxrate_kib=2048
work="$(mktemp -d)"
server_pid=""
cleanup() {
    [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null; } || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/server/files/data"
head -c $((64 << 20)) /dev/urandom > "$work/server/files/data/game.pak"

"$server_exe" --root "$work/server" --listen 127.0.0.1:0 > "$work/server.out" 2> "$work/server.log" &
server_pid=$!
port=""
for _ in $(seq 600); do
    port=$(sed -n 's/^listening on \(127\.0\.0\.1:\)\{0,1\}\([0-9]*\)$/\2/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the server reported no port" >&2; cat "$work/server.log" >&2; exit 1; }

failed=0
for pipeline in 1 16 auto; do
    install="$work/install-$pipeline"
    mkdir -p "$install"
    printf 'host=127.0.0.1\nport=%s\nmaxrate=%s\npipeline=%s\n' "$port" "$maxrate_kib" "$pipeline" |
        "$config_exe" encode - "$install/Ombrel.dat"
    echo "== maxrate=$maxrate_kib pipeline=$pipeline: 64 MiB repair"
    python3 - "$check_exe" "$install" "$maxrate_kib" <<'PY' || failed=1
import os, subprocess, sys, time

check, install, maxrate = sys.argv[1], sys.argv[2], int(sys.argv[3])
target = os.path.join(install, "data", "game.pak")
goal = maxrate * 1024.0
run = subprocess.Popen([check, "--lines"], cwd=install, stdout=subprocess.DEVNULL)
samples = []  # (seconds, bytes) from the first byte on
start = None
while run.poll() is None:
    now = time.monotonic()
    try:
        size = os.path.getsize(target)
    except OSError:
        size = 0
    if size and start is None:
        start = now
    if start is not None:
        samples.append((now - start, size))
    time.sleep(0.02)
if run.returncode != 0 or start is None:
    sys.exit(f"ombrelta-check failed with exit code {run.returncode}")
# The answers still in flight when the last request went out are written at the very end.
samples.append((time.monotonic() - start, os.path.getsize(target)))

def size_at(t):
    # Linear between the two samples around t.
    for (t0, b0), (t1, b1) in zip(samples, samples[1:]):
        if t0 <= t <= t1:
            return b0 + (b1 - b0) * ((t - t0) / (t1 - t0) if t1 > t0 else 0)
    return samples[-1][1]

end = samples[-1][0]
print("second  MiB/s")
for second in range(int(end)):
    rate = (size_at(second + 1) - size_at(second)) / 1048576
    print(f"{second + 1:6d}  {rate:5.2f}")
windows = [(t / 10, (size_at(t / 10 + 10) - size_at(t / 10)) / 10) for t in range(10, int((end - 10) * 10) + 1)]
if not windows:
    sys.exit("the repair took less than 11 s: no 10 s window to measure")
low = min(windows, key=lambda w: w[1])
high = max(windows, key=lambda w: w[1])
print(f"total {samples[-1][1] / 1048576:.1f} MiB in {end:.2f} s, {samples[-1][1] / end / 1048576:.3f} MiB/s on average")
print(f"10 s windows after the first second: {len(windows)}, "
      f"lowest {low[1] / 1048576:.3f} MiB/s (from {low[0]:.1f} s), highest {high[1] / 1048576:.3f} MiB/s (from {high[0]:.1f} s)")
worst = max(abs(low[1] - goal), abs(high[1] - goal)) / goal
print(f"largest deviation from {goal / 1048576:.2f} MiB/s: {worst * 100:.2f} % -> {'PASS' if worst <= 0.05 else 'FAIL'} (limit 5 %)")
sys.exit(0 if worst <= 0.05 else 1)
PY
done
exit "$failed"
