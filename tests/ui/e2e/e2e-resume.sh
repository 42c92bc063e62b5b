# The launcher with resume=1 and retries=3 through a relay that cuts the connection once in the
# middle of the patch download. Sourced by launcher-e2e.sh.

# start_cutting_proxy PORT BYTES: relays 127.0.0.1:PORT and drops the first connection once
# BYTES have come from the server, writing "$out_dir/cut" then; sets proxy_port.
start_cutting_proxy() {
    local portfile=$out_dir/proxy-port
    rm -f "$portfile" "$out_dir/cut"
    python3 -c '
import socket, sys, threading
target, budget, portfile, cutfile = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
lock = threading.Lock()
left = [budget]
def pump(src, dst, counted):
    try:
        while True:
            with lock:
                want = min(65536, left[0]) if counted and left[0] > 0 else 65536
            data = src.recv(want)
            if not data:
                break
            dst.sendall(data)
            if counted and left[0] > 0:
                with lock:
                    left[0] -= len(data)
                    cut = left[0] == 0
                if cut:
                    open(cutfile, "w").write("cut")
                    break
    except OSError:
        pass
    for s in (src, dst):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
def serve(client):
    server = socket.create_connection(("127.0.0.1", target))
    threading.Thread(target=pump, args=(client, server, False), daemon=True).start()
    pump(server, client, True)
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
open(portfile, "w").write(str(listener.getsockname()[1]))
while True:
    client, _ = listener.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
' "$1" "$2" "$portfile" "$out_dir/cut" >/dev/null 2>&1 </dev/null &
    started_pids+=("$!")
    wait_for 10 test -s "$portfile" || return 1
    proxy_port=$(cat "$portfile")
}

# A server root whose patch is large enough for the cut to fall in its download.
make_large_patch_root() {
    local root=$1 src=$work/large-patch-src
    make_server_root "$root"
    mkdir -p "$src"
    printf '1\n' >"$src/version.dat"
    python3 -c 'import random, sys; random.seed(9); sys.stdout.buffer.write(random.randbytes(600000))' >"$src/big.bin"
    rm -f "$root/patches/patch1.zip"
    (cd "$src" && zip -q -X "$root/patches/patch1.zip" version.dat big.bin)
}

scenario_resume_after_a_cut() {
    local dir=$work/resume root=$work/root-resume
    make_large_patch_root "$root"
    start_server "$root" || { fail "server did not start"; return; }
    start_cutting_proxy "$server_port" 200000 || { fail "proxy did not start"; return; }
    make_install "$dir" "$proxy_port" 'resume=1\nretries=3\n'
    open_ready_launcher "$dir" || return
    screenshot resume-ready
    check "the connection was cut" test -f "$out_dir/cut"
    check "patch applied after the cut" grep -qx 1 "$dir/version.dat"
    check "patch file intact" cmp -s "$work/large-patch-src/big.bin" "$dir/big.bin"
    check "game file downloaded" cmp -s "$root/files/data/game.pak" "$dir/data/game.pak"
    check "nothing left in _patch_temp" test ! -e "$dir/_patch_temp"
    escape_and_exit "$dir" && pass "Escape ends the launcher with 0"
}
