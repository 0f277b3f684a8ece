#!/usr/bin/python3
"""Times whole runs of the built host, as the browser starts it.

  host_runs.py --host build/bench/host/PelliportHost [--baseline OTHER] [--runs 30]

1. A capture with a 2 MB page and a 50 KB photo, and a domain request: wall
   time from the first byte of the frame on the host's standard input to the
   notification received by a local WebSocket server (python3-websockets),
   and the process's processor time. In the same turns, the floor of that
   work: `sh -c 'cat > file'` reading the same frame (wall time to its exit).
2. A 64 MiB capture: the host's peak memory (maximum resident set size)
   against the request's size.

With --baseline, the two hosts run in turn, pair by pair (A, B, A, B...), in
one sandbox and against one server, and each figure ends with the ratio of
the medians: a comparison that holds on this machine, today, only.
"""

import argparse
import asyncio
import base64
import json
import os
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
    """One whole process: when its frame began to go in, its exit code, and
    its processor time (user and system, seconds) and peak resident memory
    (KiB) as the kernel accounts them for this child alone."""
    process = subprocess.Popen(host if isinstance(host, list) else [host], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env)
    start = time.perf_counter()
    try:
        process.stdin.write(frame)
    except BrokenPipeError:
        pass
    process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return start, process.returncode, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def notified_run(host, frame, env, server):
    """A run that must end with one notification: wall time from the frame's
    first byte to the notification (ms), and processor time (ms)."""
    before = len(server.arrivals)
    start, code, cpu, _ = run_host(host, frame, env)
    deadline = time.time() + 5
    while len(server.arrivals) == before and time.time() < deadline:
        time.sleep(0.0005)
    if code != 0 or len(server.arrivals) == before:
        sys.exit(f"{host}: run failed (exit code {code}, notification "
                 f"{'missing' if len(server.arrivals) == before else 'there'})")
    return (server.arrivals[-1] - start) * 1000, cpu * 1000


# A child starts as a copy of its parent, and the kernel's peak of the child
# counts that copy, across exec too: this process holds the large request and
# would be measured with it. A small, fresh Python starts the host and reports
# the host's own exit code and peak (KiB).
PEAK_SPAWNER = """
import os, subprocess, sys
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(process.pid, 0)
print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)
"""


def peak_run(host, frame_path, env):
    """One run with the frame read from a file: exit code and peak resident memory (KiB)."""
    with open(frame_path, "rb") as frame_file:
        report = subprocess.run([sys.executable, "-c", PEAK_SPAWNER, host], stdin=frame_file, env=env,
                                stdout=subprocess.PIPE, check=True, text=True).stdout.split()
    return int(report[0]), int(report[1])


def floor_run(frame, env, target):
    """The physical floor of the same work: a process that reads the frame and
    writes it to one file. Wall time from the first byte to its exit (ms), and
    processor time (ms)."""
    start, code, cpu, _ = run_host(["sh", "-c", f"cat > '{target}'"], frame, env)
    end = time.perf_counter()
    if code != 0:
        sys.exit(f"the floor's run failed (exit code {code})")
    return (end - start) * 1000, cpu * 1000


def describe(values):
    return f"median {statistics.median(values):7.1f}  min {min(values):7.1f}  max {max(values):7.1f}"


def compare(name, unit, figures, hosts):
    """Prints each host's figure and, with a baseline, the ratio of the medians."""
    print(f"{name}:")
    for label, values in zip(("host", "baseline"), figures):
        print(f"  {label:<9} {describe(values)} {unit}")
    if len(hosts) == 2:
        print(f"  ratio     {statistics.median(figures[0]) / statistics.median(figures[1]):.2f}x the baseline")


def against_floor(host, floor, unit):
    """The host's figure against the floor's, measured in the same turns."""
    print(f"  floor     {describe(floor)} {unit}  (sh -c 'cat > file': the frame read and written to one file)")
    print(f"  host      {statistics.median(host) / statistics.median(floor):.2f}x the floor")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--baseline", help="a second host, run in turn with the first, pair by pair")
    parser.add_argument("--runs", type=int, default=30, help="runs (pairs with --baseline) of each request")
    parser.add_argument("--big-runs", type=int, default=3, help="runs of the 64 MiB capture")
    args = parser.parse_args()
    hosts = [args.host] + ([args.baseline] if args.baseline else [])

    server = Server()
    root, env = sandbox()
    (root / "config/Kelmarq/Orvanta/WebSocketPort").write_text(str(server.port))
    requests = {
        "capture of 2 MB page and 50 KB photo": capture_request(2_000_000, 50_000),
        "domain request": json.dumps({"domain": "kelmarq.example\nMusterstra\u00dfe 1", "protocol": ""}).encode(),
    }
    for name, request in requests.items():
        frame = struct.pack("<I", len(request)) + request
        wall = [[] for _ in hosts]
        cpu = [[] for _ in hosts]
        floor = [[], []]  # wall, processor time
        # A, B, A, B...: whatever else the machine does falls on both alike;
        # the floor runs in the same turn.
        for _ in range(args.runs):
            for i, host in enumerate(hosts):
                w, c = notified_run(host, frame, env, server)
                wall[i].append(w)
                cpu[i].append(c)
            w, c = floor_run(frame, env, root / "floor.out")
            floor[0].append(w)
            floor[1].append(c)
        compare(f"{name} ({len(request) / 1e6:.2f} MB), frame to notification, wall", "ms", wall, hosts)
        against_floor(wall[0], floor[0], "ms")
        compare(f"{name}, processor time", "ms", cpu, hosts)
        against_floor(cpu[0], floor[1], "ms")

    big = capture_request(48 << 20, 12 << 20)
    big = big + b" " * max(0, (64 << 20) - len(big))  # JSON allows trailing blanks
    size = len(big)
    big_frame = root / "big.frame"
    big_frame.write_bytes(struct.pack("<I", size) + big)
    del big
    peaks = [[] for _ in hosts]
    for _ in range(args.big_runs):
        for i, host in enumerate(hosts):
            code, peak_kib = peak_run(host, big_frame, env)
            if code != 0:
                sys.exit(f"{host}: 64 MiB run failed with exit code {code}")
            peaks[i].append(peak_kib * 1024 / size)
    compare(f"capture of {size / 2**20:.0f} MiB, peak resident memory", "times the request", peaks, hosts)
    subprocess.run(["rm", "-rf", str(root)])


if __name__ == "__main__":
    main()
