#!/usr/bin/python3
"""Times whole runs of the built host, as the browser starts it.

  host_runs.py --host build/bench/host/PelliportHost [--runs 30]

1. A capture with a 2 MB page and a 50 KB photo, from the first byte of the
   frame on the host's standard input to the notification received by a
   local WebSocket server (python3-websockets): the median of the runs.
2. A 64 MiB capture: the host's peak memory (maximum resident set size)
   against the request's size.
"""

import argparse
import asyncio
import base64
import json
import os
import resource
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import websockets

ROOT = Path(__file__).resolve().parents[2]


def capture_request(page_bytes, photo_bytes):
    jpeg = (ROOT / "import" / "testdata" / "baseline.jpg").read_bytes()
    photo = jpeg + b"\0" * max(0, photo_bytes - len(jpeg))  # a JPEG stream with trailing data
    block = ('<div class=\\"section\\"><h2>Berufserfahrung</h2><p>Leitung der Qualit\u00e4tssicherung '
             'f\u00fcr gro\u00dfe Kunden, M\u00fcnchen</p></div>\\n')
    html = (block * (page_bytes // len(block.encode()) + 1))
    html = html[: page_bytes]
    return json.dumps({
        "html": html,
        "b64Pic": "data:image/jpeg;base64," + base64.b64encode(photo).decode(),
        "profilUrl": "https://www.xing.com/profile/Erika_Mustermann",
        "srcImg": "https://www.xing.com/image/e.jpg",
        "protocol": "",
    }, ensure_ascii=False).encode()


class Server:
    """A WebSocket server on a free port that notes when each message arrives."""

    def __init__(self):
        self.arrivals = []
        self.ready = threading.Event()
        self.loop = asyncio.new_event_loop()
        threading.Thread(target=self._run, daemon=True).start()
        self.ready.wait()

    def _run(self):
        asyncio.set_event_loop(self.loop)

        async def handler(ws, path=None):
            try:
                async for _ in ws:
                    self.arrivals.append(time.perf_counter())
            except websockets.ConnectionClosed:
                pass  # the host closes without a close frame

        async def main():
            server = await websockets.serve(handler, "127.0.0.1", 0, max_size=None)
            self.port = server.sockets[0].getsockname()[1]
            self.ready.set()
            await asyncio.Future()

        self.loop.run_until_complete(main())


def sandbox():
    root = Path(tempfile.mkdtemp(prefix="pelliport-bench-"))
    for sub in ("data/Orvanta", "temp", "config/Kelmarq/Orvanta"):
        (root / sub).mkdir(parents=True)
    env = dict(os.environ, XDG_DATA_HOME=str(root / "data"), XDG_CONFIG_HOME=str(root / "config"),
               TMPDIR=str(root / "temp"), DISPLAY="", WAYLAND_DISPLAY="")
    return root, env


def run_host(host, frame, env):
    process = subprocess.Popen([host], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env)
    start = time.perf_counter()
    process.communicate(frame)
    return start, process.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()

    server = Server()
    root, env = sandbox()
    (root / "config/Kelmarq/Orvanta/WebSocketPort").write_text(str(server.port))
    request = capture_request(2_000_000, 50_000)
    frame = struct.pack("<I", len(request)) + request
    latencies = []
    for _ in range(args.runs):
        before = len(server.arrivals)
        start, code = run_host(args.host, frame, env)
        deadline = time.time() + 5
        while len(server.arrivals) == before and time.time() < deadline:
            time.sleep(0.0005)
        if code != 0 or len(server.arrivals) == before:
            sys.exit(f"run failed (exit code {code}, notification {'missing' if len(server.arrivals) == before else 'there'})")
        latencies.append((server.arrivals[-1] - start) * 1000)
    print(f"capture of {len(request) / 1e6:.1f} MB (2 MB page, 50 KB photo), frame to notification: "
          f"median {statistics.median(latencies):.1f} ms, min {min(latencies):.1f} ms, max {max(latencies):.1f} ms "
          f"over {args.runs} runs")

    big = capture_request(48 << 20, 12 << 20)
    big = big + b" " * max(0, (64 << 20) - len(big))  # JSON allows trailing blanks
    frame = struct.pack("<I", len(big)) + big
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start, code = run_host(args.host, frame, env)
    peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if code != 0:
        sys.exit(f"64 MiB run failed with exit code {code}")
    print(f"capture of {len(big) / 2**20:.0f} MiB: peak resident memory {peak_kib / 1024:.0f} MiB = "
          f"{peak_kib * 1024 / len(big):.2f} times the request (earlier children peaked at {before / 1024:.0f} MiB)")
    subprocess.run(["rm", "-rf", str(root)])


if __name__ == "__main__":
    main()
