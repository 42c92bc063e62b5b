#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that holds every byte for a fixed delay in each direction and limits
nothing else: what a player's link with that round trip looks like to both ends.

Usage: delay-proxy.py TARGET_PORT ONE_WAY_DELAY_MS
Listens on an ephemeral port, prints "listening on PORT" once ready, and forwards every
connection to 127.0.0.1:TARGET_PORT until it is terminated.
"""
import asyncio
import socket
import sys

READ_SIZE = 1 << 18


async def pump(reader, writer, delay):
    """Copies one direction: each piece read is written delay seconds after it arrived, in order."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

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
            data = await reader.read(READ_SIZE)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
        await delivery
    except (ConnectionError, OSError):
        delivery.cancel()


async def serve(client_reader, client_writer, target_port, delay):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    for writer in (client_writer, server_writer):
        writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    await asyncio.gather(pump(client_reader, server_writer, delay), pump(server_reader, client_writer, delay),
                         return_exceptions=True)
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    target_port = int(sys.argv[1])
    delay = float(sys.argv[2]) / 1000.0
    server = await asyncio.start_server(lambda r, w: serve(r, w, target_port, delay), "127.0.0.1", 0)
    print(f"listening on {server.sockets[0].getsockname()[1]}", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    asyncio.run(main())
