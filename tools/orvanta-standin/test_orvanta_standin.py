#!/usr/bin/python3
"""Tests of the Orvanta stand-in: its port setting, list-file decoding, and a
whole run against a client that talks like the host (handshake, one masked
text frame, then the TCP connection closed without a closing handshake)."""

import base64
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import orvanta_standin as standin  # noqa: E402


def send_like_the_host(port, text):
    """One notification as the host sends it."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        key = base64.b64encode(os.urandom(16)).decode()
        sock.sendall((f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                      f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                      f"Origin: 127.0.0.1\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            chunk = sock.recv(4096)
            if not chunk:
                break
            answer += chunk
        if not answer.startswith(b"HTTP/1.1 101"):
            raise AssertionError(f"handshake refused: {answer!r}")
        payload = text.encode("utf-8")
        mask = os.urandom(4)
        header = bytes([0x81])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        else:
            header += bytes([0x80 | 126]) + len(payload).to_bytes(2, "big")
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        sock.sendall(header + mask + masked)
        sock.shutdown(socket.SHUT_WR)
        return answer


class PortSettingTest(unittest.TestCase):
    def test_port_comes_from_the_setting_file_or_defaults(self):
        cases = [
            ("missing file", None, 5414),
            ("plain number", "6000", 6000),
            ("blanks and line break", " 6001 \n", 6001),
            ("no number", "port=6002", 5414),
            ("empty file", "", 5414),
        ]
        for name, content, expected in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                path = Path(folder) / "WebSocketPort"
                if content is not None:
                    path.write_text(content, encoding="ascii")
                self.assertEqual(standin.read_port_setting(path)[0], expected)

    def test_setting_path_follows_xdg_config_home_when_absolute(self):
        cases = [
            ({"HOME": "/home/u", "XDG_CONFIG_HOME": "/cfg"}, "/cfg/Kelmarq/Orvanta/WebSocketPort"),
            ({"HOME": "/home/u"}, "/home/u/.config/Kelmarq/Orvanta/WebSocketPort"),
            ({"HOME": "/home/u", "XDG_CONFIG_HOME": "relative"},
             "/home/u/.config/Kelmarq/Orvanta/WebSocketPort"),
        ]
        for environ, expected in cases:
            with self.subTest(environ):
                self.assertEqual(str(standin.port_setting_path(environ)), expected)


class ListFileTest(unittest.TestCase):
    def test_decoding_by_signature(self):
        cases = [
            (b"\xef\xbb\xbfTYPE=XING\r\nURL=K\xc3\xb6ln\r\n", "utf-8", ["TYPE=XING", "URL=Köln"]),
            (b"TYPE=XING\r\nURL=K\xf6ln \x96 Bonn\r\n", "windows-1252", ["TYPE=XING", "URL=Köln – Bonn"]),
            (b"", "windows-1252", []),
            (b"\r\n", "windows-1252", [""]),
            (b"a\r\n\r\nb\r\n", "windows-1252", ["a", "", "b"]),
        ]
        for data, encoding, lines in cases:
            with self.subTest(data):
                found_encoding, text = standin.decode_list_file(data)
                self.assertEqual(found_encoding, encoding)
                self.assertEqual(standin.split_list_lines(text), lines)


class RunTest(unittest.TestCase):
    def start(self, *args):
        process = subprocess.Popen([sys.executable, str(HERE / "orvanta_standin.py"), "--port", "0", *args],
                                   stdout=subprocess.PIPE, text=True, encoding="utf-8")
        self.addCleanup(lambda: process.poll() is None and process.kill())
        first = process.stdout.readline()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+) ", first)
        self.assertIsNotNone(match, first)
        return process, int(match.group(1))

    def test_prints_and_records_notifications_until_the_count(self):
        with tempfile.TemporaryDirectory() as folder:
            list_file = Path(folder) / "1A2B.tmp"
            list_file.write_bytes(b"TYPE=XING\r\nURL=https://example.com/K\xf6ln\r\n")
            record = Path(folder) / "record.jsonl"
            process, port = self.start("--record", str(record), "--count", "2", "--timeout", "20")

            send_like_the_host(port, f"pc/erika\nDO_XINGIMPORT\n{list_file}")
            send_like_the_host(port, "pc/erika\nDO_VORANDTIMPORT\n")
            output, _ = process.communicate(timeout=20)

            self.assertEqual(process.returncode, 0, output)
            self.assertIn(f"pc/erika\nDO_XINGIMPORT\n{list_file}\n--- list file (windows-1252, 2 lines)\n"
                          "TYPE=XING\nURL=https://example.com/Köln\n", output)
            records = [json.loads(line) for line in record.read_text(encoding="utf-8").splitlines()]
            self.assertEqual([(r["sender"], r["command"], r["payload"]) for r in records],
                             [("pc/erika", "DO_XINGIMPORT", str(list_file)),
                              ("pc/erika", "DO_VORANDTIMPORT", "")])
            self.assertEqual(records[0]["list_file"]["lines"], ["TYPE=XING", "URL=https://example.com/Köln"])
            self.assertIsNone(records[1]["list_file"])

    @unittest.skipUnless(os.environ.get("PELLIPORT_WS_SEND"), "PELLIPORT_WS_SEND names no ws_send tool")
    def test_receives_from_the_hosts_websocket_client(self):
        # ws_send sends through the host's own WebSocket client.
        with tempfile.TemporaryDirectory() as folder:
            note = Path(folder) / "note.txt"
            note.write_bytes("pc/jürgen\nDO_VORANDTIMPORT\nhttps://example.com/a?b=c".encode("utf-8"))
            record = Path(folder) / "record.jsonl"
            process, port = self.start("--record", str(record), "--count", "1", "--timeout", "20")
            sent = subprocess.run([os.environ["PELLIPORT_WS_SEND"], str(port), str(note)], timeout=30)
            process.communicate(timeout=20)
            self.assertEqual((sent.returncode, process.returncode), (0, 0))
            received = json.loads(record.read_text(encoding="utf-8"))
            self.assertEqual((received["sender"], received["command"], received["payload"]),
                             ("pc/jürgen", "DO_VORANDTIMPORT", "https://example.com/a?b=c"))

    def test_timeout_before_the_count_fails(self):
        process, _ = self.start("--count", "1", "--timeout", "0.3")
        output, _ = process.communicate(timeout=20)
        self.assertEqual(process.returncode, 1)
        self.assertIn("timeout: 0 of 1 notifications", output)


if __name__ == "__main__":
    unittest.main()
