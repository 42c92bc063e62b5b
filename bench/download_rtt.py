#!/usr/bin/env python3
"""What the one-chunk-per-round-trip protocol allows on this machine, measured with a minimal
client that keeps nothing: the round trip of a tiny request, and game file chunks per second
when the data is thrown away. Usage: download_rtt.py PORT FILE_ID"""
import socket
import struct
import sys
import time


def exchange(sock, payload):
    sock.sendall(struct.pack("<H", len(payload) + 2) + payload)
    header = sock.recv(2, socket.MSG_WAITALL)
    if len(header) != 2:
        raise SystemExit("server closed the connection")
    (length,) = struct.unpack("<H", header)
    view = bytearray(length - 2)
    got = 0
    while got < len(view):
        count = sock.recv_into(memoryview(view)[got:])
        if count == 0:
            raise SystemExit("server closed the connection")
        got += count
    return view


def main():
    port, file_id = int(sys.argv[1]), int(sys.argv[2])
    sock = socket.create_connection(("127.0.0.1", port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    tiny = struct.pack("<HH", 40104, 0) + b"\x00\x00"
    count = 2000
    start = time.perf_counter()
    for _ in range(count):
        exchange(sock, tiny)
    rtt = (time.perf_counter() - start) / count

    offset, chunks, last = 0, 0, False
    start = time.perf_counter()
    while not last:
        answer = exchange(sock, struct.pack("<HHHI", 40102, 1, file_id, offset))
        flag, size = struct.unpack_from("<II", answer, 6)
        last = flag == 1
        offset += size
        chunks += 1
    elapsed = time.perf_counter() - start
    print(f"{rtt * 1e6:.1f} {chunks} {elapsed:.3f} {offset}")


main()
