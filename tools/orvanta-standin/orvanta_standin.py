#!/usr/bin/python3
"""Development stand-in for the desktop application Orvanta.

Listens for the host's notifications on the loopback address, like the
desktop application does, and prints each one: the sender line, the command
word and the payload, and when the payload names a list file, its lines.

    /usr/bin/python3 tools/orvanta-standin/orvanta_standin.py [--port N]
        [--record FILE] [--count N] [--timeout SECONDS]

The port is the per-user "WebSocketPort" setting the host reads
($XDG_CONFIG_HOME/Kelmarq/Orvanta/WebSocketPort, 5414 when it is missing)
unless --port gives one; --port 0 picks a free port. The first line printed
is "listening on 127.0.0.1:PORT (where the port came from)". --record appends each notification to FILE
as one JSON object per line; --count ends after that many notifications;
--timeout ends after that many seconds, with exit status 1 when --count was
given and not reached.

Needs Debian's python3-websockets (run it with /usr/bin/python3). The server
answers the WebSocket opening handshake and sends nothing else.
"""

import argparse
import asyncio
import json
import os
import sys
import time
from pathlib import Path

try:
    import websockets
except ImportError:  # pragma: no cover - depends on the machine
    sys.exit("orvanta-standin: needs python3-websockets (apt-get install python3-websockets; "
             "run with /usr/bin/python3)")

DEFAULT_PORT = 5414
UTF8_SIGNATURE = b"\xef\xbb\xbf"


def port_setting_path(environ=os.environ):
    """The file that holds the per-user WebSocketPort setting off Windows."""
    config = environ.get("XDG_CONFIG_HOME", "")
    if not os.path.isabs(config):
        config = os.path.join(environ.get("HOME", os.path.expanduser("~")), ".config")
    return Path(config) / "Kelmarq" / "Orvanta" / "WebSocketPort"


def read_port_setting(path):
    """The port the host would use: the file's number, 5414 when the file is
    missing or does not hold a number (the host falls back to 5414 too)."""
    try:
        text = path.read_text(encoding="ascii", errors="replace")
    except FileNotFoundError:
        return DEFAULT_PORT, f"{path} not found, default port {DEFAULT_PORT}"
    except OSError as error:
        return DEFAULT_PORT, f"{path} unreadable ({error}), default port {DEFAULT_PORT}"
    try:
        return int(text.strip()), f"port from {path}"
    except ValueError:
        return DEFAULT_PORT, f"{path} holds no number, default port {DEFAULT_PORT}"


def decode_list_file(data):
    """List files are in the host's ANSI code page: UTF-8 behind the signature
    EF BB BF, otherwise Windows-1252. Returns (encoding, text)."""
    if data.startswith(UTF8_SIGNATURE):
        return "utf-8", data[len(UTF8_SIGNATURE):].decode("utf-8", errors="replace")
    # Windows-1252 leaves five bytes undefined; show them rather than fail.
    return "windows-1252", data.decode("cp1252", errors="replace")


def split_list_lines(text):
    """Lines of a list file; every line ends in CR LF, the last one too."""
    if text == "":
        return []
    lines = text.split("\r\n")
    if lines[-1] == "":
        lines.pop()
    return lines


def describe(text, peer):
    """Turns one received message into the record the stand-in prints and
    writes: the three lines of the notification text and, when the payload
    names an existing file, that list file's lines."""
    sender, _, rest = text.partition("\n")
    command, _, payload = rest.partition("\n")
    record = {
        "time": time.time(),
        "peer": peer,
        "text": text,
        "sender": sender,
        "command": command,
        "payload": payload,
        "list_file": None,
    }
    if payload and os.path.isfile(payload):
        try:
            data = Path(payload).read_bytes()
        except OSError as error:
            record["list_file"] = {"error": str(error)}
        else:
            encoding, content = decode_list_file(data)
            record["list_file"] = {"encoding": encoding, "lines": split_list_lines(content)}
    return record


def print_record(number, record, out=sys.stdout):
    print(f"--- notification {number} from {record['peer']}", file=out)
    print(record["sender"], file=out)
    print(record["command"], file=out)
    print(record["payload"], file=out)
    listed = record["list_file"]
    if listed is not None:
        if "error" in listed:
            print(f"--- list file unreadable: {listed['error']}", file=out)
        else:
            print(f"--- list file ({listed['encoding']}, {len(listed['lines'])} lines)", file=out)
            for line in listed["lines"]:
                print(line, file=out)
    out.flush()


class StandIn:
    def __init__(self, record_path, count):
        self.record_path = record_path
        self.count = count
        self.received = 0
        self.enough = asyncio.Event()

    async def handle(self, connection):
        peer = "%s:%s" % connection.remote_address[:2]
        try:
            async for message in connection:
                if isinstance(message, bytes):
                    # The host sends text frames; show anything else as it came.
                    message = message.decode("utf-8", errors="replace")
                self.received += 1
                record = describe(message, peer)
                print_record(self.received, record)
                if self.record_path:
                    with open(self.record_path, "a", encoding="utf-8") as recording:
                        recording.write(json.dumps(record, ensure_ascii=False) + "\n")
                if self.count and self.received >= self.count:
                    self.enough.set()
        except websockets.ConnectionClosed:
            # The host closes the TCP connection without a closing handshake.
            pass


async def serve(port, origin, record_path, count, timeout):
    standin = StandIn(record_path, count)
    # No pings: the desktop application's side sends nothing after the handshake.
    async with websockets.serve(standin.handle, "127.0.0.1", port, ping_interval=None) as server:
        bound = server.sockets[0].getsockname()[1]
        print(f"listening on 127.0.0.1:{bound} ({origin})", flush=True)
        try:
            await asyncio.wait_for(standin.enough.wait(), timeout)
        except asyncio.TimeoutError:
            if count:
                print(f"--- timeout: {standin.received} of {count} notifications", flush=True)
                return 1
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description="Development stand-in for Orvanta's WebSocket server.")
    parser.add_argument("--port", type=int, help="port to listen on (0: any free port); "
                        "default: the WebSocketPort setting, else 5414")
    parser.add_argument("--record", metavar="FILE", help="append each notification to FILE as a JSON line")
    parser.add_argument("--count", type=int, default=0, metavar="N", help="end after N notifications")
    parser.add_argument("--timeout", type=float, metavar="SECONDS", help="end after this many seconds")
    args = parser.parse_args(argv)

    if args.port is None:
        port, origin = read_port_setting(port_setting_path())
    else:
        port, origin = args.port, "--port"
    if not 0 <= port <= 65535:
        parser.error(f"port out of range: {port}")
    try:
        return asyncio.run(serve(port, origin, args.record, args.count, args.timeout))
    except KeyboardInterrupt:
        return 0
    except OSError as error:
        print(f"orvanta-standin: cannot listen on 127.0.0.1:{port}: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
