#!/usr/bin/env python3
"""A link with latency for the benchmarks: forwards TCP connections from 127.0.0.1:PORT to
a target and holds every chunk for DELAY milliseconds in each direction, so a request and
its answer cost one round trip of 2 x DELAY. With BYTES_PER_SECOND, what flows towards
the client shares a link of that capacity. Prints its port, then serves until killed.

  latencyproxy.py TARGET_PORT DELAY_MS [BYTES_PER_SECOND]
"""
import asyncio
import socket
import sys


class Link:
    """The capacity all connections share in one direction; none when rate is 0."""

    def __init__(self, rate):
        self.rate, self.free_at = rate, 0.0

    def due(self, arrival, size):
        if not self.rate:
            return arrival
        start = max(arrival, self.free_at)
        self.free_at = start + size / self.rate
        return self.free_at


async def pipe(reader, writer, delay, link=None):
    """Chunks leave in order, each delay after it arrived (and after the link carried it)."""
    loop = asyncio.get_running_loop()
    # A slow link holds little: the sender then waits, as it would behind a real one.
    queue = asyncio.Queue(maxsize=4 if link and link.rate else 0)

    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            await asyncio.sleep(max(0.0, due - loop.time()))
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(16384 if link else 65536)
            arrival = loop.time() + delay
            await queue.put((link.due(arrival, len(data)) if link and data else arrival, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, asyncio.CancelledError):
        sender.cancel()
    finally:
        writer.close()


async def main():
    target, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000.0
    downstream = Link(int(sys.argv[3]) if len(sys.argv) > 3 else 0)

    async def connection(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection('127.0.0.1', target)
        except OSError:
            client_writer.close()
            return
        if downstream.rate:
            server_writer.get_extra_info('socket').setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        await asyncio.gather(pipe(client_reader, server_writer, delay),
                             pipe(server_reader, client_writer, delay, downstream))

    server = await asyncio.start_server(connection, '127.0.0.1', 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == '__main__':
    asyncio.run(main())
