"""Sends texts with the host's WebSocket client (the ws_send tool) to a
WebSocket server library that no one here wrote, and checks that the server
received every text intact.

    run_interop.py --server python|node --ws-send PATH --work DIR

Exit code 77 (skipped) when the server's tool is not installed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77


def payloads():
    texts = []
    for size in (0, 125, 126, 65535, 65536, 1024 * 1024 + 3):
        texts.append(bytes((32 + (i * 7) % 95) for i in range(size)))
    # Non-ASCII: two-, three- and four-byte UTF-8 sequences, line feeds as in
    # the host's notification text, crossing the 126-byte length boundary.
    text = "PC-M\u00fcller/j\u00fcrgen\nDO_XINGIMPORT\nC:\\Temp\\\u00c4\u00d6\u00dc\u00df \u6771\u4eac \U0001F600 "
    texts.append(text.encode("utf-8"))
    texts.append((text * 40).encode("utf-8"))
    return texts


def start_server(kind, work, out):
    if kind == "python":
        try:
            subprocess.run(["/usr/bin/python3", "-c", "import websockets"], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (OSError, subprocess.CalledProcessError):
            print("SKIPPED: Debian's python3-websockets is not installed")
            sys.exit(SKIP)
        command = ["/usr/bin/python3", os.path.join(HERE, "server_python.py"), out]
        env = os.environ.copy()
    else:
        node, npm = shutil.which("node"), shutil.which("npm")
        if not node or not npm:
            print("SKIPPED: Node.js or npm is not installed")
            sys.exit(SKIP)
        modules = os.path.join(work, "node")
        if not os.path.isdir(os.path.join(modules, "node_modules", "ws")):
            os.makedirs(modules, exist_ok=True)
            for name in ("package.json", "package-lock.json"):
                shutil.copy(os.path.join(HERE, name), modules)
            subprocess.run([npm, "ci", "--no-audit", "--no-fund"], cwd=modules, check=True)
        command = [node, os.path.join(HERE, "server_node.js"), out]
        env = os.environ.copy()
        env["NODE_PATH"] = os.path.join(modules, "node_modules")
    server = subprocess.Popen(command, stdout=subprocess.PIPE, env=env, text=True)
    port = int(server.stdout.readline())
    return server, port


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", choices=("python", "node"), required=True)
    parser.add_argument("--ws-send", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    work = os.path.join(args.work, args.server)
    out = os.path.join(work, "received")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    texts = payloads()
    server, port = start_server(args.server, args.work, out)
    failures = []
    try:
        for i, text in enumerate(texts):
            name = os.path.join(work, "text-%03d.txt" % i)
            with open(name, "wb") as f:
                f.write(text)
            result = subprocess.run([args.ws_send, str(port), name], timeout=60,
                                    capture_output=True, text=True)
            if result.returncode != 0:
                failures.append("text %d (%d bytes): ws_send exit %d %s"
                                % (i, len(text), result.returncode, result.stderr.strip()))
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            done = [n for n in os.listdir(out) if n.endswith(".bin")]
            if len(done) >= len(texts) - len([f for f in failures if "ws_send" in f]):
                break
            time.sleep(0.05)
    finally:
        server.terminate()
        server.wait(timeout=10)

    received = sorted(n for n in os.listdir(out) if n.endswith(".bin"))
    if len(received) != len(texts):
        failures.append("%d texts sent, %d received" % (len(texts), len(received)))
    for i, text in enumerate(texts):
        name = os.path.join(out, "msg-%03d.bin" % i)
        if not os.path.exists(name):
            continue
        with open(name, "rb") as f:
            got = f.read()
        if got != text:
            failures.append("text %d: sent %d bytes, received %d different bytes" % (i, len(text), len(got)))
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("%s server received all %d texts intact (sizes %s)"
              % (args.server, len(texts), ", ".join(str(len(t)) for t in texts)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
