#!/usr/bin/env python3
"""A link with latency for the benchmarks: forwards TCP connections from 127.0.0.1:PORT to
a target and holds every chunk for DELAY milliseconds in each direction, so a request and
its answer cost one round trip of 2 x DELAY. Prints its port, then serves until killed.

  latencyproxy.py TARGET_PORT DELAY_MS
"""
import asyncio
import sys


async def pipe(reader, writer, delay):
    """Chunks leave in order, each delay after it arrived: latency, not a bandwidth cap."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

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
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data or None))
            if not data:
                break
        await sender
    except (ConnectionError, asyncio.CancelledError):
        sender.cancel()
    finally:
        writer.close()


async def main():
    target, delay = int(sys.argv[1]), int(sys.argv[2]) / 1000.0

    async def connection(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection('127.0.0.1', target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, delay), pipe(server_reader, client_writer, delay))

    server = await asyncio.start_server(connection, '127.0.0.1', 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == '__main__':
    asyncio.run(main())
