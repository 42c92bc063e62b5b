#!/usr/bin/env python3
"""Load test of ombrelta-server on loopback: honest ombrelta-check runs among hostile clients.

Runs 50 honest checks at once on a quiet server, then again while 2,000 idle connections,
500 hostile ones (two-byte headers, half packets, one-byte trickles) and a client connecting
in a loop are at work, and once more while 200 clients each keep 256 chunk requests in flight
(the launcher's largest window), reading their answers at a player's pace. Prints each batch's
times, the worst slowdown of a run against the same run on the quiet server, and the server's
resident memory. The server serves --metrics: the bench times scrapes while 1,000 idle
connections are open, and compares the throughput of batches on servers with and without
--metrics (best of several, alternating). Bounded in time (about two and a half minutes).

Usage: bench/server-load.py [NATIVE_BUILD]   (default build/native; needs ombrelta-server,
       ombrelta-check and ombrelta-config built there)
"""
import os
import random
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

HONEST_RUNS = 50
IDLE = 2000
HOSTILE = 500
PIPELINED = 200
WINDOW = 256
GOAL_RSS_MIB = 64
GOAL_SLOWDOWN = 3.0
SCRAPE_CONNECTIONS = 1000
SCRAPES = 50
GOAL_SCRAPE_MS = 5.0
THROUGHPUT_ROUNDS = 5
GOAL_METRICS_DROP = 0.02


def frame(payload):
    return struct.pack("<H", len(payload) + 2) + payload


HAS_NEXT = frame(b"\xa8\x9c\x00\x00\x07UNKNOWN\x07UNKNOWN")
GET_PATCH_CHUNK = 40101


def make_content(root):
    rng = random.Random(1)
    files = {}
    for i in range(20):
        size = rng.choice([0, 1, 1000, 65519, 65520, 200000, 700000])
        files[f"data/part{i:02}.bin"] = rng.randbytes(size)
    files["readme.txt"] = b"ombrelta load test\n"
    for name, data in files.items():
        path = os.path.join(root, "files", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
    os.makedirs(os.path.join(root, "patches"))
    with zipfile.ZipFile(os.path.join(root, "patches", "p1.zip"), "w") as archive:
        archive.writestr("version.dat", "1\n")
        archive.writestr("patched.txt", rng.randbytes(100000))
    return files


def start_server(server_exe, root, log_path, metrics=True):
    """Returns the process, its game port and its metrics port (None without metrics)."""
    log = open(log_path, "ab")
    # Every client of this test shares 127.0.0.1, so the per-address cap is lifted.
    args = [server_exe, "--root", root, "--listen", "127.0.0.1:0", "--max-per-address", "100000"]
    if metrics:
        args += ["--metrics", "127.0.0.1:0"]
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
    line = proc.stdout.readline().decode()
    if not line.startswith("listening on 127.0.0.1:"):
        sys.exit("server did not start: " + line)
    metrics_port = None
    if metrics:
        metrics_line = proc.stdout.readline().decode()
        if not metrics_line.startswith("metrics on 127.0.0.1:"):
            sys.exit("server did not report its metrics port: " + metrics_line)
        metrics_port = int(metrics_line.rsplit(":", 1)[1])
    return proc, int(line.rsplit(":", 1)[1]), metrics_port


def stop_server(proc):
    proc.send_signal(signal.SIGTERM)
    return proc.wait(timeout=30)


def scrape(port):
    """One GET /metrics; returns its time in seconds, failing unless it answers 200."""
    started = time.monotonic()
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
    took = time.monotonic() - started
    if not answer.startswith(b"HTTP/1.1 200 OK") or b"ombrelta_connections_active " not in answer:
        sys.exit("scrape failed: " + answer[:200].decode(errors="replace"))
    return took


def scrape_times(port, metrics_port):
    """Scrape times while SCRAPE_CONNECTIONS idle connections are open."""
    idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(SCRAPE_CONNECTIONS)]
    times = []
    for _ in range(SCRAPES):
        times.append(scrape(metrics_port))
        time.sleep(0.02)
    for s in idle:
        s.close()
    return times


def throughputs(server_exe, check_exe, config_exe, root, base, files):
    """Bytes per second of honest batches, best of THROUGHPUT_ROUNDS, without and with metrics."""
    served = sum(len(data) for data in files.values()) * HONEST_RUNS
    best = {False: 0.0, True: 0.0}
    for round_index in range(THROUGHPUT_ROUNDS):
        for metrics in (False, True):
            server, port, _ = start_server(server_exe, root, os.path.join(base, "throughput.log"), metrics)
            try:
                times = honest_batch(check_exe, config_exe, port,
                                     os.path.join(base, f"throughput{round_index}-{metrics}"), files)
            finally:
                stop_server(server)
            best[metrics] = max(best[metrics], served / max(times))
    return best[False], best[True]


def prepare_run(base, index, config_exe, port):
    work = os.path.join(base, f"run{index:02}")
    os.makedirs(work)
    plain = os.path.join(work, "Ombrel.txt")
    with open(plain, "w") as out:
        out.write(f"host=127.0.0.1\nport={port}\n")
    subprocess.run([config_exe, "encode", plain, os.path.join(work, "Ombrel.dat")], check=True)
    os.remove(plain)
    return work


def honest_batch(check_exe, config_exe, port, base, files):
    """Runs HONEST_RUNS checks at once; returns their times, failing on any wrong result."""
    works = [prepare_run(base, i, config_exe, port) for i in range(HONEST_RUNS)]
    started = time.monotonic()
    procs = [subprocess.Popen([check_exe, "--install-dir", w], cwd=w, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT) for w in works]
    times = [0.0] * HONEST_RUNS
    outputs = [b""] * HONEST_RUNS
    waiting = set(range(HONEST_RUNS))
    readers = []
    for i, proc in enumerate(procs):
        def read(i=i, proc=proc):
            outputs[i] = proc.stdout.read()
            proc.wait()
            times[i] = time.monotonic() - started
        readers.append(threading.Thread(target=read))
        readers[-1].start()
    for reader in readers:
        reader.join(timeout=300)
    for i, work in enumerate(works):
        lines = outputs[i].decode(errors="replace").strip().splitlines()
        if procs[i].returncode != 0 or not lines or not lines[-1].endswith("Ready."):
            sys.exit(f"honest run {i} failed: {lines[-3:]}")
        for name, data in files.items():
            with open(os.path.join(work, name), "rb") as got:
                if got.read() != data:
                    sys.exit(f"honest run {i}: {name} differs")
    return times


class Load:
    """The hostile side: idle sockets, bad clients that reconnect when closed, a looping client."""

    def __init__(self, port):
        self.port = port
        self.stop = threading.Event()
        self.idle = [self.connect() for _ in range(IDLE)]
        self.threads = [threading.Thread(target=self.hostile, args=(kind,)) for kind in range(3)]
        self.threads.append(threading.Thread(target=self.looper))
        self.loops = 0
        for thread in self.threads:
            thread.start()

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port))
        s.setblocking(False)
        return s

    @staticmethod
    def closed(s):
        try:
            return s.recv(1) == b""
        except BlockingIOError:
            return False
        except OSError:
            return True

    def hostile(self, kind):
        # 0: two-byte headers, 1: half packets, 2: one byte of a request every half second.
        count = HOSTILE // 3 + (1 if kind < HOSTILE % 3 else 0)
        sockets = [[self.connect(), 0] for _ in range(count)]
        while not self.stop.wait(0.5):
            for entry in sockets:
                s, sent = entry
                if self.closed(s):
                    s.close()
                    entry[0], entry[1] = self.connect(), 0
                    s, sent = entry
                try:
                    if kind == 0:
                        s.send(b"\xff\xff")
                    elif kind == 1 and sent == 0:
                        entry[1] = s.send(HAS_NEXT[:5])
                    elif kind == 2 and sent < len(HAS_NEXT):
                        entry[1] += s.send(HAS_NEXT[sent:sent + 1])
                except OSError:
                    pass
        for s, _ in sockets:
            s.close()

    def looper(self):
        while not self.stop.is_set():
            try:
                socket.create_connection(("127.0.0.1", self.port)).close()
                self.loops += 1
            except OSError:
                time.sleep(0.01)

    def end(self):
        self.stop.set()
        for thread in self.threads:
            thread.join()
        for s in self.idle:
            s.close()


class Pipelined:
    """Clients that send WINDOW requests for chunks of patch 1 back to back, then read the answers
    at about 1.6 MB/s each, and again; each must get every answer, in order."""

    def __init__(self, port, patch_size):
        self.port = port
        self.offsets = list(range(0, patch_size, 65536))
        self.stop = threading.Event()
        self.answers = 0
        self.bytes = 0
        self.started = time.monotonic()
        self.seconds = 0.0
        self.failures = []
        self.lock = threading.Lock()
        self.threads = [threading.Thread(target=self.client) for _ in range(PIPELINED)]
        for thread in self.threads:
            thread.start()

    def requests(self):
        return b"".join(frame(struct.pack("<HHI", GET_PATCH_CHUNK, 1, self.offsets[i % len(self.offsets)]))
                        for i in range(WINDOW))

    def client(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port)) as s:
                batch = self.requests()
                while not self.stop.is_set():
                    s.sendall(batch)
                    self.read_answers(s)
        except (OSError, ValueError) as error:
            with self.lock:
                self.failures.append(str(error))

    def read_answers(self, s):
        pending = b""
        for i in range(WINDOW):
            while len(pending) < 2 or len(pending) < struct.unpack_from("<H", pending)[0]:
                if self.stop.is_set():
                    return
                piece = s.recv(16384)
                if not piece:
                    raise ValueError("the server closed a pipelined connection")
                pending += piece
                time.sleep(0.01)
            # The last flag tells which request an answer belongs to: the order is checked.
            code, last = struct.unpack_from("<HI", pending, 2)
            if code != GET_PATCH_CHUNK or last != (i % len(self.offsets) == len(self.offsets) - 1):
                raise ValueError("an answer out of order")
            length = struct.unpack_from("<H", pending)[0]
            pending = pending[length:]
            with self.lock:
                self.answers += 1
                self.bytes += length
        if pending:
            raise ValueError("more answers than requests")

    def end(self):
        self.stop.set()
        for thread in self.threads:
            thread.join()
        self.seconds = time.monotonic() - self.started


def sampled_batch(server, check_exe, config_exe, port, base, files):
    """An honest batch with the server's resident memory sampled while it runs."""
    rss = []
    sampling = threading.Event()

    def sample():
        while not sampling.wait(0.2):
            rss.append(memory_kib(server.pid, "VmRSS"))
    sampler = threading.Thread(target=sample)
    sampler.start()
    times = honest_batch(check_exe, config_exe, port, base, files)
    sampling.set()
    sampler.join()
    return times, max(rss, default=0)


def memory_kib(pid, field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(repo, "build", "native"))
    server_exe = os.path.join(build, "tools/server/ombrelta-server")
    check_exe = os.path.join(build, "tools/check/ombrelta-check")
    config_exe = os.path.join(build, "tools/config/ombrelta-config")
    with tempfile.TemporaryDirectory(prefix="ombrelta-load-") as base:
        root = os.path.join(base, "root")
        files = make_content(root)
        files["patched.txt"] = zipfile.ZipFile(os.path.join(root, "patches", "p1.zip")).read("patched.txt")
        server, port, metrics_port = start_server(server_exe, root, os.path.join(base, "server.log"))
        try:
            quiet = honest_batch(check_exe, config_exe, port, os.path.join(base, "quiet"), files)
            scrapes = scrape_times(port, metrics_port)
            load = Load(port)
            # Past the 10 s request timeout, so half packets and trickles are being cut and
            # coming back while the honest runs go.
            time.sleep(12)
            loaded, rss = sampled_batch(server, check_exe, config_exe, port, os.path.join(base, "loaded"), files)
            loops = load.loops
            load.end()
            pipelined = Pipelined(port, os.path.getsize(os.path.join(root, "patches", "p1.zip")))
            time.sleep(2)
            windowed, windowed_rss = sampled_batch(server, check_exe, config_exe, port,
                                                   os.path.join(base, "windowed"), files)
            pipelined.end()
            peak = memory_kib(server.pid, "VmHWM")
        finally:
            code = stop_server(server)
        plain, metered = throughputs(server_exe, check_exe, config_exe, root, base, files)
    slowdown = max(l / q for l, q in zip(loaded, quiet))
    windowed_slowdown = max(w / q for w, q in zip(windowed, quiet))
    print(f"honest runs, quiet server : median {statistics.median(quiet):.2f} s, max {max(quiet):.2f} s")
    print(f"honest runs, under load   : median {statistics.median(loaded):.2f} s, max {max(loaded):.2f} s")
    print(f"load: {IDLE} idle, {HOSTILE} hostile, {loops} connect/close cycles of the looping client")
    print(f"honest runs, {PIPELINED} clients at window {WINDOW}: median {statistics.median(windowed):.2f} s,"
          f" max {max(windowed):.2f} s (worst against the same run quiet {windowed_slowdown:.2f}x: a share of"
          f" what the windows pull, {pipelined.bytes / pipelined.seconds / 1e6:.0f} MB/s in"
          f" {pipelined.answers} answers, all in order; {len(pipelined.failures)} clients failed"
          f"{': ' + pipelined.failures[0] if pipelined.failures else ''})")
    print(f"worst run under load / same run quiet: {slowdown:.2f}x (goal <= {GOAL_SLOWDOWN}x)")
    print(f"server RSS: max sampled under load {rss / 1024:.1f} MiB, among windows of {WINDOW}"
          f" {windowed_rss / 1024:.1f} MiB, peak (VmHWM) {peak / 1024:.1f} MiB (goal < {GOAL_RSS_MIB} MiB)")
    scrape_ms = sorted(1000 * t for t in scrapes)
    scrape_median = statistics.median(scrape_ms)
    print(f"scrape of /metrics with {SCRAPE_CONNECTIONS} connections open: median {scrape_median:.2f} ms, "
          f"95th percentile {scrape_ms[int(0.95 * len(scrape_ms)) - 1]:.2f} ms, max {scrape_ms[-1]:.2f} ms "
          f"(goal: median <= {GOAL_SCRAPE_MS} ms)")
    drop = 1 - metered / plain
    print(f"throughput, best of {THROUGHPUT_ROUNDS} batches: without metrics {plain / 2**20:.1f} MiB/s, "
          f"with metrics {metered / 2**20:.1f} MiB/s, drop {100 * drop:.1f} % "
          f"(goal <= {100 * GOAL_METRICS_DROP:.0f} %)")
    runs = (3 + 2 * THROUGHPUT_ROUNDS) * HONEST_RUNS
    print(f"all {runs} honest runs ended \"Ready.\" with byte-exact files; server exit code {code}")
    ok = (slowdown <= GOAL_SLOWDOWN and peak / 1024 < GOAL_RSS_MIB and code == 0 and not pipelined.failures
          and scrape_median <= GOAL_SCRAPE_MS and drop <= GOAL_METRICS_DROP)
    print("goals met" if ok else "GOALS MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
