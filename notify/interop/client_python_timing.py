"""A python3-websockets client that does what the host does, for comparison:
connect, send one text, close. Prints the median time of one such
notification in microseconds.

    client_python_timing.py PORT RUNS TEXT
"""
import asyncio
import statistics
import sys
import time

import websockets


async def run(port, runs, text):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        async with websockets.connect("ws://127.0.0.1:%d/" % port, compression=None) as ws:
            await ws.send(text)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1e6


def main():
    port, runs, text = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    print("%.1f" % asyncio.run(run(port, runs, text)))


if __name__ == "__main__":
    main()
