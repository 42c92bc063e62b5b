#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that models a player's line in each direction: bytes leave one after
the other at the line's rate (none: at once), then take a fixed delay to arrive. What waits for
the line is buffered without limit, like a deep queue in front of a slow link.

Usage: delay-proxy.py TARGET_PORT ONE_WAY_DELAY_MS [RATE_MBIT_PER_S]
Listens on an ephemeral port, prints "listening on PORT" once ready, and forwards every
connection to 127.0.0.1:TARGET_PORT until it is terminated.
"""
import asyncio
import socket
import sys

MAX_READ = 1 << 18
MIN_READ = 1 << 14


def read_size(rate):
    """Pieces of about 2 ms of the line, so that a piece is not held back for long as a whole."""
    return MAX_READ if rate == 0 else max(MIN_READ, min(MAX_READ, int(rate * 0.002)))


async def pump(reader, writer, delay, rate):
    """Copies one direction: each piece read is written, in order, delay seconds after the line
    has sent it at rate bytes per second (0: as soon as it arrived)."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()
    line_free = 0.0
    size = read_size(rate)

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    delivery = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(size)
            line_free = max(line_free, loop.time()) + (len(data) / rate if rate else 0)
            queue.put_nowait((line_free + delay, data or None))
            if not data:
                break
        await delivery
    except (ConnectionError, OSError):
        delivery.cancel()


async def serve(client_reader, client_writer, target_port, delay, rate):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    for writer in (client_writer, server_writer):
        writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    await asyncio.gather(pump(client_reader, server_writer, delay, rate),
                         pump(server_reader, client_writer, delay, rate), return_exceptions=True)
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    target_port = int(sys.argv[1])
    delay = float(sys.argv[2]) / 1000.0
    rate = float(sys.argv[3]) * 1e6 / 8 if len(sys.argv) > 3 else 0.0
    server = await asyncio.start_server(lambda r, w: serve(r, w, target_port, delay, rate), "127.0.0.1", 0)
    print(f"listening on {server.sockets[0].getsockname()[1]}", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    asyncio.run(main())
