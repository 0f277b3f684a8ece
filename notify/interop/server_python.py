"""WebSocket server of python3-websockets for the interoperability check.

Prints its port, then stores every message it receives as OUT/msg-NNN.bin
(UTF-8 bytes for text), in the order received.
"""
import asyncio
import os
import sys

import websockets


def main():
    out = sys.argv[1]
    count = 0

    async def handler(ws, path=None):
        nonlocal count
        try:
            async for message in ws:
                data = message.encode("utf-8") if isinstance(message, str) else message
                name = os.path.join(out, "msg-%03d.bin" % count)
                count += 1
                with open(name + ".tmp", "wb") as f:
                    f.write(data)
                os.replace(name + ".tmp", name)
        except websockets.ConnectionClosed:
            pass  # the client ends with the TCP stream, without a close frame

    async def serve():
        async with websockets.serve(handler, "127.0.0.1", 0, max_size=None) as server:
            print(server.sockets[0].getsockname()[1], flush=True)
            await asyncio.Future()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
