#!/usr/bin/env python3
"""The built host's files on a real Linux system, tried as an unlucky or a
hostile user would: long temporary folders, the umask, the 50 hosts that
start around the log's size limit and (as root) full file systems and a
squatter who takes every work-folder name first.

    test_host_files.py --host PATH [--root]

Without --root it runs the tests that any user can run. With --root it runs
those that need root (small tmpfs mounts, a second user through setpriv);
when not root it says so and ends with 77, the code for a skipped test.
"""
import argparse
import base64
import hashlib
import json
import os
import pathlib
import re
import shutil
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HOST = None
HERE = pathlib.Path(__file__).resolve().parent
JPEG = (HERE.parent / "import" / "testdata" / "baseline.jpg").read_bytes()
LOG_LIMIT = 2097152


class Notifications:
    """A WebSocket server in the desktop application's place: answers the
    handshake, keeps the one text message of each connection and closes."""

    def __init__(self):
        self.messages = []
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.lock = threading.Lock()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._one, args=(conn,), daemon=True).start()

    @staticmethod
    def _read(conn, count, buffer):
        while len(buffer) < count:
            chunk = conn.recv(65536)
            if not chunk:
                raise EOFError
            buffer += chunk
        return buffer[:count], buffer[count:]

    def _one(self, conn):
        with conn:
            conn.settimeout(10)
            try:
                data = b""
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(4096)
                    if not chunk:
                        return
                    data += chunk
                head, rest = data.split(b"\r\n\r\n", 1)
                key = re.search(rb"Sec-WebSocket-Key:\s*(\S+)", head, re.I).group(1)
                accept = base64.b64encode(hashlib.sha1(key + b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11").digest())
                conn.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                             b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
                header, rest = self._read(conn, 2, rest)
                length = header[1] & 0x7F
                if length == 126:
                    raw, rest = self._read(conn, 2, rest)
                    length = struct.unpack(">H", raw)[0]
                elif length == 127:
                    raw, rest = self._read(conn, 8, rest)
                    length = struct.unpack(">Q", raw)[0]
                mask, rest = self._read(conn, 4, rest)
                payload, rest = self._read(conn, length, rest)
                text = bytes(b ^ mask[i % 4] for i, b in enumerate(payload)).decode("utf-8")
                with self.lock:
                    self.messages.append(text)
            except (OSError, EOFError, AttributeError):
                return

    def take(self):
        with self.lock:
            messages, self.messages = self.messages, []
        return messages

    def close(self):
        self.sock.close()


def frame(request):
    data = json.dumps(request).encode("utf-8")
    return struct.pack("<I", len(data)) + data


def capture(page="<html><body>Profil von Erika</body></html>", photo=JPEG, url="https://www.xing.com/profile/Erika_Muster"):
    return {"html": page, "b64Pic": "data:image/jpeg;base64," + base64.b64encode(photo).decode(),
            "profilUrl": url, "srcImg": "https://img.example/p.jpg", "protocol": ""}


def domain(text="example.com"):
    return {"domain": text, "protocol": ""}


class Home:
    """A user's folders: application data with its Orvanta folder, the port
    setting and the temporary folder."""

    def __init__(self, root, port, temp=None):
        self.root = pathlib.Path(root)
        self.data = self.root / "data"
        (self.data / "Orvanta").mkdir(parents=True, exist_ok=True)
        config = self.root / "config" / "Kelmarq" / "Orvanta"
        config.mkdir(parents=True, exist_ok=True)
        (config / "WebSocketPort").write_text(str(port))
        self.temp = pathlib.Path(temp) if temp else self.root / "temp"
        self.temp.mkdir(parents=True, exist_ok=True)

    @property
    def log(self):
        return self.data / "Orvanta" / "PelliportLog.txt"

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(HOME=str(self.root), XDG_DATA_HOME=str(self.data), XDG_CONFIG_HOME=str(self.root / "config"),
                   TMPDIR=str(self.temp), LC_ALL="C")
        return env

    def run(self, request, umask=None, **popen):
        def preexec():
            if umask is not None:
                os.umask(umask)
        result = subprocess.run([HOST], input=frame(request), env=self.env(), capture_output=True,
                                timeout=60, preexec_fn=preexec, **popen)
        return result

    def log_texts(self):
        if not self.log.exists():
            return []
        return [line.split("]: ", 1)[-1] for line in self.log.read_bytes().decode("cp1252").split("\r\n") if line]


def files_under(folder):
    return sorted(p for p in pathlib.Path(folder).rglob("*"))


class HostFileTests(unittest.TestCase):
    def setUp(self):
        self.scratch = pathlib.Path(tempfile.mkdtemp(prefix="pelliport-files-"))
        self.server = Notifications()

    def tearDown(self):
        self.server.close()
        shutil.rmtree(self.scratch, ignore_errors=True)

    # What every run must keep: a notification names complete files only, and
    # a run that hands nothing over shows a box.
    def check_handed_over_or_box(self, result, expect_sent):
        messages = self.server.take()
        stderr = result.stderr.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 0, stderr)
        if expect_sent is not None:
            self.assertEqual(bool(messages), expect_sent, stderr)
        if not messages:
            self.assertIn("Orvanta Browser Add-In | Fehler: ", stderr)
        for message in messages:
            sender, command, payload = message.split("\n")
            self.assertTrue(payload, message)
            listing = pathlib.Path(payload).read_bytes()
            self.assertTrue(listing.endswith(b"\r\n"), listing)
            for line in listing.decode("cp1252").split("\r\n"):
                if line.startswith("HTML=") or (line.startswith("FOTO=") and len(line) > 5):
                    self.assertTrue(pathlib.Path(line[5:]).is_file(), line)
        return messages, stderr


class UserTests(HostFileTests):
    def test_long_temporary_folders(self):
        """Names are never cut: nothing lands outside the temporary folder,
        nothing is overwritten, and a name that does not fit fails clearly."""
        for length in (250, 255, 256, 300):
            with self.subTest(length=length):
                base = self.scratch / f"t{length}"
                base.mkdir()
                temp = str(base)
                while len(temp) < length:
                    temp += "/" + "d" * min(200, length - len(temp) - 1)
                self.assertEqual(len(temp), length)
                os.makedirs(temp)
                home = Home(self.scratch / f"home{length}", self.server.port, temp)
                outside = files_under(self.scratch / f"t{length}")
                lists = {}
                for request in (domain("eins.example"), domain("zwei.example"), capture()):
                    result = home.run(request)
                    messages, stderr = self.check_handed_over_or_box(result, None)
                    for message in messages:
                        path = message.split("\n")[2]
                        self.assertTrue(path.startswith(temp + "/"), path)
                        self.assertNotIn(path, lists, "a list file handed out twice")
                        lists[path] = pathlib.Path(path).read_bytes()
                    if length >= 255:
                        # No unique name fits: no work folder, the request fails clearly.
                        self.assertEqual(messages, [])
                        self.assertTrue(any("Im Ordner \"" + temp + "\" kann keine Datei erstellt werden. File name too long"
                                            in t for t in home.log_texts()), home.log_texts())
                        self.assertIn("kann keine Datei erstellt werden", stderr)
                    elif "html" in request:
                        # The work folder fits, the page's name in it does not.
                        self.assertEqual(messages, [])
                        self.assertIn("Fehler beim Parsen", stderr)
                        self.assertTrue(any(t.startswith("[StartImport.HTML]EFCreateError: ") and "File name too long" in t
                                            for t in home.log_texts()))
                    else:
                        self.assertEqual(len(messages), 1)
                # Every list file still holds what it was written with.
                for path, content in lists.items():
                    self.assertEqual(pathlib.Path(path).read_bytes(), content)
                self.assertEqual(len(lists), 2 if length == 250 else 0)
                # Nothing beside the temporary folder; inside it, work folders
                # and list files only, none of them empty.
                now = files_under(self.scratch / f"t{length}")
                for p in now:
                    if p not in outside:
                        self.assertTrue(str(p).startswith(temp + "/"), p)
                        if p.is_file():
                            self.assertGreater(p.stat().st_size, 0, p)

    def test_modes_under_umask_022(self):
        home = Home(self.scratch / "home", self.server.port)
        os.chmod(home.temp, 0o1777)
        result = home.run(capture(), umask=0o022)
        messages, _ = self.check_handed_over_or_box(result, True)
        listing = pathlib.Path(messages[0].split("\n")[2])
        entries = files_under(home.temp)
        self.assertGreaterEqual(len(entries), 4, entries)  # work folder, page, photo, list
        for p in entries + [home.log]:
            mode = stat.S_IMODE(p.lstat().st_mode)
            self.assertEqual(mode, 0o700 if p.is_dir() else 0o600, p)
        self.assertIn(listing, entries)

    def test_fifty_hosts_around_the_log_limit(self):
        """Every line of every host is in the log or its older generation."""
        home = Home(self.scratch / "home", self.server.port)
        # One host alone: how many lines a run writes.
        home.run(domain("alone.example"))
        per_host = len(home.log.read_bytes().split(b"\r\n")) - 1
        self.server.take()
        home.log.unlink()
        filler = b"[01.01.2022 00:00:01]: filler\r\n"
        home.log.write_bytes(filler * ((LOG_LIMIT - 2000) // len(filler)))
        hosts = []
        for i in range(50):
            hosts.append(subprocess.Popen([HOST], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE, env=home.env()))
            time.sleep(0.02)
        for i, p in enumerate(hosts):
            p.communicate(frame(domain(f"host-{i}.example")), timeout=120)
            self.assertEqual(p.returncode, 0)
        old = home.log.parent / "PelliportLog.old.txt"
        self.assertTrue(old.exists(), "the limit was passed, so one host made the older generation")
        lines = []
        for f in (home.log, old):
            lines += [l for l in f.read_bytes().split(b"\r\n") if l and not l.endswith(b"filler")]
        self.assertEqual(len(lines), 50 * per_host)
        for i in range(50):
            marker = f"Domain=host-{i}.example".encode()
            self.assertEqual(sum(1 for l in lines if l.endswith(marker)), 1, i)
        self.assertEqual(sum(1 for l in lines if l.endswith(b"[PelliportHost]|_Done!")), 50)


class RootTests(HostFileTests):
    def mount(self, folder, size, inodes=None):
        folder.mkdir(parents=True, exist_ok=True)
        options = f"size={size},mode=0700" + (f",nr_inodes={inodes}" if inodes else "")
        subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(folder)], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", str(folder)])

    @staticmethod
    def fill(folder):
        """Takes all room that is left."""
        fd = os.open(folder / "filler", os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while os.write(fd, b"\0" * 4096) > 0:
                pass
        except OSError:
            pass
        finally:
            os.close(fd)

    def check_no_partial_files(self, temp, page, photo):
        for p in files_under(temp):
            if p.is_file() and p.name != "filler" and not re.fullmatch(r"f\d+", p.name):
                data = p.read_bytes()
                if data.startswith(b"<html"):
                    self.assertEqual(data, page.encode("cp1252"), p)
                elif data.startswith(b"\xff\xd8"):
                    self.assertEqual(data, photo, p)
                else:
                    self.assertTrue(data.endswith(b"\r\n"), (p, data[-20:]))

    def test_full_temporary_folder(self):
        page = "<html><body>" + "p" * 20000 + "</body></html>"
        photo = JPEG + b"\0" * 60000
        cases = [
            # room for the page only: the photo is left out with its box, the list goes without it
            ("RoomForThePage", "48k", None, capture(page, photo), "Fehler beim Speichern des Fotos"),
            # no room at all: the page cannot be written
            ("Full", "64k", None, capture(page, photo), "Fehler beim Parsen"),
            ("FullDomain", "64k", None, domain("x.example"), "Der Import konnte nicht an Orvanta übergeben werden"),
            # no inodes left
            ("NoInodes", "1m", 16, domain("x.example"), None),
        ]
        for name, size, inodes, request, box in cases:
            with self.subTest(name):
                temp = self.scratch / name / "tmp"
                self.mount(temp, size, inodes)
                home = Home(self.scratch / name, self.server.port, temp)
                if name.startswith("Full"):
                    self.fill(temp)
                if name == "NoInodes":
                    # One inode left: the work folder's reservation takes it.
                    taken = 0
                    try:
                        while True:
                            (temp / f"f{taken}").write_bytes(b"")
                            taken += 1
                    except OSError:
                        pass
                    (temp / "f0").unlink()
                result = home.run(request)
                messages, stderr = self.check_handed_over_or_box(result, None)
                if box:
                    self.assertIn(box, stderr)
                log = "\n".join(home.log_texts())
                if name == "RoomForThePage":
                    self.assertEqual(len(messages), 1)
                    self.assertIn(b"FOTO=\r\n", pathlib.Path(messages[0].split("\n")[2]).read_bytes())
                else:
                    self.assertEqual(messages, [])
                self.assertIn("No space left on device", log)
                self.assertNotIn('Datei ""', log)
                self.check_no_partial_files(temp, page, photo)

    def test_full_log_folder(self):
        """A line is written whole or not at all."""
        home = Home(self.scratch / "home", self.server.port)
        self.mount(home.data / "Orvanta", "32k")
        # Room for the rest of the log's one page only: the short lines fit,
        # the result line with the photo text does not.
        home.log.write_bytes(b"[01.01.2022 00:00:01]: earlier\r\n")
        self.fill(home.data / "Orvanta")
        for _ in range(2):
            self.check_handed_over_or_box(home.run(capture(photo=JPEG * 20)), None)
        data = home.log.read_bytes()
        self.assertTrue(data.endswith(b"\r\n"), data[-80:])
        for line in data.split(b"\r\n")[:-1]:
            self.assertTrue(line.startswith(b"[") or line.startswith(b"\r"), line[:80])
        self.assertGreater(data.count(b"\r\n"), 1, "lines that fit are still written")
        # The result line that carries the photo text did not fit: it was
        # refused whole, and the lines after it were still written.
        self.assertNotIn(b"[StartImport.DoParseJson] Result:", data)
        self.assertNotIn(base64.b64encode(JPEG)[:64], data)
        self.assertIn(b"[PelliportHost]|_Done!", data, data[-400:])

    def test_squatter_takes_every_folder_name(self):
        """Another user creates every work-folder name first in a sticky
        folder: the host fails clearly and never writes into them."""
        temp = self.scratch / "shared"
        self.mount(temp, "8m")
        os.chmod(self.scratch, 0o755)
        os.chmod(temp, 0o1777)
        squat = ("import os,sys\n"
                 "d=sys.argv[1]\n"
                 "for n in range(1,0x10000):\n"
                 "    os.mkdir(os.path.join(d,'%X'%n), 0o777)\n")
        subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                        sys.executable, "-c", squat, str(temp)], check=True)
        home = Home(self.scratch / "home", self.server.port, temp)
        for request in (capture(), domain()):
            result = home.run(request, umask=0o022)
            messages, stderr = self.check_handed_over_or_box(result, False)
            self.assertIn("kann nicht erstellt werden. File exists", stderr)
            self.assertTrue(any(t.startswith("[PelliportHost]EFCreateError: Ordner \"" + str(temp) + "/")
                                for t in home.log_texts()))
        # Nothing of the host's is in the squatter's folders, nor beside them.
        for entry in os.scandir(temp):
            self.assertTrue(entry.is_dir(follow_symlinks=False), entry.path)
            self.assertEqual(os.listdir(entry.path), [], entry.path)


def main():
    global HOST
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--root", action="store_true")
    args, rest = parser.parse_known_args()
    HOST = os.path.abspath(args.host)
    if args.root:
        if os.geteuid() != 0:
            print("SKIPPED: the full-disk (tmpfs) and squatter (setpriv) tests need root", flush=True)
            return 77
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(RootTests)
    else:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(UserTests)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
