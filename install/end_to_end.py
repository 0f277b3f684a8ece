"""What the browsers' end-to-end tests share: a scratch user with the host
installed by install/linux/install.sh, the stand-in of the desktop
application, a browser started headless with the test extension (one folder
for Chromium and Firefox), and the checks of what the extension's requests
leave behind: the host's log, the work folders and files, and the
notifications that reach the stand-in.

Each check belongs to a group: "frame" (the browser's frame reaches the host
and a run per request), "capture", "domain", "identification", "addin" (what
each request kind leaves), "notify" (the desktop notifications) and "policy"
(a run under the browser's policies: what the browser and --check say).
Groups named in --pending are still checked and reported, but their failures
do not fail the run; use it for features that the host does not have yet.

A run under policies that keep the browser from starting the host
(run_blocked) checks that no host runs and that each request ends with the
browser's error."""

import base64
import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
EXTENSION = HERE / "test-extension"
STANDIN = ROOT / "tools" / "orvanta-standin" / "orvanta_standin.py"
GROUPS = ("frame", "capture", "domain", "identification", "addin", "notify", "policy")
HOST_NAME = "com.kelmarq.pelliport"
UTF8_SIGNATURE = b"\xef\xbb\xbf"


def frame_text(message):
    """The JSON text the browsers write for a message: JSON.stringify's form."""
    return json.dumps(message, ensure_ascii=False, separators=(",", ":"))


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


def decode_ansi(data):
    """Files the host writes are in its ANSI code page: UTF-8 behind the
    signature EF BB BF, otherwise Windows-1252."""
    if data.startswith(UTF8_SIGNATURE):
        return data[len(UTF8_SIGNATURE):].decode("utf-8")
    return data.decode("cp1252", errors="replace")


def list_lines(path):
    text = decode_ansi(path.read_bytes())
    return text.split("\r\n")[:-1] if text.endswith("\r\n") else [text] if text else []


class Run:
    """One scratch user: folders, the installed host, the stand-in, the browser."""

    def __init__(self, host, scratch):
        self.scratch = scratch
        self.home = scratch / "home"
        self.config = self.home / ".config"
        self.data = self.home / ".local" / "share"
        self.temp = scratch / "tmp"
        self.log = self.data / "Orvanta" / "PelliportLog.txt"
        self.record = scratch / "notifications.jsonl"
        for folder in (self.config, self.data / "Orvanta", self.temp):
            folder.mkdir(parents=True)
        # Installed like a user would, in a folder whose name has a blank.
        self.host = self.home / "Pelliport Host" / "PelliportHost"
        self.host.parent.mkdir()
        shutil.copy2(host, self.host)
        self.environment = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": str(self.home),
            "XDG_CONFIG_HOME": str(self.config),
            "XDG_DATA_HOME": str(self.data),
            "TMPDIR": str(self.temp),
        }
        for name in ("LANG", "LC_ALL", "LC_CTYPE", "LC_TIME"):
            if name in os.environ:
                self.environment[name] = os.environ[name]
        self.standin = None
        self.browser = None
        self.browser_output = None

    def start_standin(self, count, timeout):
        output = self.scratch / "standin.txt"
        with open(output, "w", encoding="utf-8") as stream:
            self.standin = subprocess.Popen(
                ["/usr/bin/python3", str(STANDIN), "--port", "0", "--record", str(self.record),
                 "--count", str(count), "--timeout", str(timeout)],
                env=self.environment, stdin=subprocess.DEVNULL, stdout=stream, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            match = re.match(r"listening on 127\.0\.0\.1:(\d+)", output.read_text(encoding="utf-8"))
            if match:
                break
            if self.standin.poll() is not None:
                raise RuntimeError(f"the stand-in did not start: {output.read_text(encoding='utf-8')}")
            time.sleep(0.05)
        else:
            raise RuntimeError("the stand-in did not start within 15 s")
        # The host reads the port from the per-user setting.
        setting = self.config / "Kelmarq" / "Orvanta" / "WebSocketPort"
        setting.parent.mkdir(parents=True)
        setting.write_text(f"{match.group(1)}\n", encoding="ascii")

    def install(self, *options):
        """install.sh for the installed host, with the options that name the extension."""
        result = subprocess.run(["bash", str(HERE / "linux" / "install.sh"), "--program", str(self.host), *options],
                                env=self.environment, capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            raise RuntimeError(f"install.sh failed: {result.stderr}")

    def start_browser(self, name, command, extra_environment=None):
        """Starts the browser in a session of its own; its output goes to <name>.txt."""
        self.browser_output = self.scratch / f"{name}.txt"
        with open(self.browser_output, "w", encoding="utf-8") as stream:
            self.browser = subprocess.Popen(
                command, env={**self.environment, **(extra_environment or {})}, stdin=subprocess.DEVNULL,
                stdout=stream, stderr=subprocess.STDOUT, start_new_session=True)

    def log_text(self):
        try:
            data = self.log.read_bytes()
        except FileNotFoundError:
            return ""
        # Each line may carry the signature when the code page is UTF-8.
        if UTF8_SIGNATURE in data:
            return data.replace(UTF8_SIGNATURE, b"").decode("utf-8", errors="replace")
        return data.decode("cp1252", errors="replace")

    def wait_for_host_runs(self, runs, deadline):
        while time.monotonic() < deadline:
            if self.log_text().count("[PelliportHost]|_Done!") >= runs:
                return True
            if self.browser.poll() is not None:
                return False
            time.sleep(0.2)
        return False

    def wait_for_standin(self, deadline):
        while time.monotonic() < deadline and self.standin.poll() is None:
            time.sleep(0.1)

    def stop(self):
        if self.browser and self.browser.poll() is None:
            os.killpg(self.browser.pid, signal.SIGTERM)
            try:
                self.browser.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.browser.pid, signal.SIGKILL)
                self.browser.wait()
        # Host processes the browser started and left behind (each is given up
        # by id, found by the installed program's path).
        for entry in Path("/proc").iterdir():
            if entry.name.isdigit():
                try:
                    if os.readlink(entry / "exe") == str(self.host):
                        os.kill(int(entry.name), signal.SIGKILL)
                except OSError:
                    pass
        if self.standin and self.standin.poll() is None:
            self.standin.terminate()
            self.standin.wait(5)

    def console_messages(self):
        """What the test extension logged for each request: the browser's
        answer or error (Chromium writes its console to its log)."""
        if not self.browser_output or not self.browser_output.exists():
            return []
        text = self.browser_output.read_text(encoding="utf-8", errors="replace")
        return re.findall(r'"' + re.escape(HOST_NAME) + r': (.*?)", source: chrome-extension://', text)

    def wait_for_console(self, count, deadline):
        while time.monotonic() < deadline:
            if len(self.console_messages()) >= count:
                return True
            if self.browser.poll() is not None:
                return False
            time.sleep(0.2)
        return False

    def self_check(self):
        """PelliportHost --check as this user: its exit code and report."""
        result = subprocess.run([str(self.host), "--check"], env=self.environment, capture_output=True, text=True,
                                timeout=60)
        return result.returncode, result.stdout

    def notifications(self):
        if not self.record.exists():
            return []
        return [json.loads(line) for line in self.record.read_text(encoding="utf-8").splitlines()]


class Checks:
    """Results by group; failures of pending groups are reported only."""

    def __init__(self, pending):
        self.pending = pending
        self.results = {}

    def check(self, group, name, condition, detail=""):
        self.results.setdefault(group, []).append((name, bool(condition)))
        state = "ok" if condition else "PENDING" if group in self.pending else "FAIL"
        print(f"[{state:7}] {group:14} {name}" + (f": {detail}" if detail and not condition else ""))
        return condition

    def failed(self):
        return [name for group, results in self.results.items() if group not in self.pending
                for name, ok in results if not ok]

    def summary(self):
        for group in sorted(self.pending & set(self.results)):
            failing = [name for name, ok in self.results[group] if not ok]
            if failing:
                print(f"pending group {group}: {len(failing)} of {len(self.results[group])} checks fail")
            else:
                print(f"pending group {group}: all checks pass now; it need not be pending any more")


def run_checks(run, requests, checks):
    log = run.log_text()
    by_kind = {r["kind"]: r["message"] for r in requests}
    frames = [frame_text(r["message"]) for r in requests]

    # --- frame: one host run per request, in the order sent, with the frame intact
    starts = log.count("[PelliportHost] Start")
    checks.check("frame", f"{len(requests)} host runs started by the browser", starts == len(requests),
                 f"{starts} runs in {run.log}")
    lengths = [int(n) for n in re.findall(r"\[PelliportHost\] DataLength=(-?\d+)", log)]
    checks.check("frame", "DataLength of each frame is its JSON text's length in UTF-8",
                 lengths == [len(f.encode("utf-8")) for f in frames],
                 f"logged {lengths}, sent {[len(f.encode('utf-8')) for f in frames]}")
    decoded = [int(n) for n in re.findall(r"\[StartImport\] UTF8ContentLength=(\d+)", log)]
    checks.check("frame", "each payload decoded as UTF-8 (UTF8ContentLength in UTF-16 units)",
                 decoded == [utf16_length(f) for f in frames],
                 f"logged {decoded}, sent {[utf16_length(f) for f in frames]}")
    checks.check("frame", "no decoding error", "GetUtf8Content" not in log)
    done = log.count("[PelliportHost]|_Done!")
    checks.check("frame", "every run ended", done == len(requests), f"{done} ended")
    folders = [Path(p) for p in re.findall(r"\[StartImport\] TmpFilePath=(.*?)\r?\n", log)]
    checks.check("frame", "each run made its work folder in the browser's TMPDIR",
                 len(folders) == len(requests) and all(f.parent == run.temp and f.is_dir() for f in folders),
                 f"{folders}")

    list_files = [p for p in run.temp.iterdir() if p.is_file()]
    lists = {p: list_lines(p) for p in list_files}

    # --- capture: HTML and picture files in the first run's folder, the XING list file
    capture = by_kind["page capture"]
    picture = base64.b64decode(capture["b64Pic"].split(",", 1)[1])
    work = folders[0] if folders else run.temp / "missing"
    stored = {p: p.read_bytes() for p in work.iterdir()} if work.is_dir() else {}
    html_files = [p for p, data in stored.items() if data != picture and decode_ansi(data) == capture["html"]]
    picture_files = [p for p, data in stored.items() if data == picture]
    checks.check("capture", "the page's HTML stored in the work folder", len(html_files) == 1,
                 f"files: {sorted(str(p) for p in stored)}")
    checks.check("capture", "the photo stored byte for byte in the work folder", len(picture_files) == 1)
    xing = [p for p, lines in lists.items() if lines[:1] == ["TYPE=XING"]]
    expected_xing = ["TYPE=XING", f"URL={capture['profilUrl']}",
                     f"HTML={html_files[0] if html_files else '?'}",
                     f"FOTO={picture_files[0] if picture_files else '?'}", f"FOTOURL={capture['srcImg']}"]
    checks.check("capture", "the XING list file names the page, its files and the photo's URL",
                 len(xing) == 1 and lists[xing[0]] == expected_xing, f"lists: {lists}")

    # --- domain: the list file of the domain's lines
    domain_lines = by_kind["domain"]["domain"].split("\n")
    domain = [p for p, lines in lists.items() if lines == domain_lines]
    checks.check("domain", "a list file holds the domain's lines", len(domain) == 1, f"lists: {lists}")

    # --- identification: the command and URL reach the host's log
    identification = by_kind["identification"]
    checks.check("identification", "the command and the URL are logged",
                 f"Command: {identification['command']}" in log and f"Data: {identification['URL']}" in log)

    # --- addin: the add-in's error is logged with its title and description
    addin = by_kind["add-in error"]
    checks.check("addin", "the add-in's error is logged",
                 "[StartImport] AddIn reports error" + addin["OrvantaBrowserAddInErrorTitle"] + ": "
                 + addin["OrvantaBrowserAddInErrorDescription"] in log)

    # --- notify: three notifications reach the stand-in of the desktop application
    received = run.notifications()
    sender = f"{socket.gethostname()}/{pwd.getpwuid(os.geteuid()).pw_name}"
    expected = [("DO_XINGIMPORT", str(xing[0]) if xing else "(XING list file)"),
                ("DO_GOOGLEPLACES", str(domain[0]) if domain else "(domain list file)"),
                ("DO_VORANDTIMPORT", identification["URL"])]
    got = [(n["command"], n["payload"]) for n in received]
    checks.check("notify", "the desktop application gets the three notifications in order", got == expected,
                 f"got {got}, expected {expected}")
    checks.check("notify", f"each notification's sender line is {sender}",
                 bool(received) and all(n["sender"] == sender for n in received),
                 f"{[n['sender'] for n in received]}")
    checks.check("notify", "the list files the notifications name hold the list entries",
                 [n["list_file"]["lines"] if n["list_file"] else None for n in received[:2]]
                 == [expected_xing, domain_lines])


def report_rows(report, item):
    """The rows of an item in --check's report."""
    return [line for line in report.splitlines() if line[6:].startswith(item + " ")]


def prepare(browser, args):
    """The requests, a scratch user and the checks of one run."""
    pending = {g for g in args.pending.split(",") if g}
    unknown = pending - set(GROUPS)
    if unknown:
        raise SystemExit(f"unknown groups: {sorted(unknown)}; known: {GROUPS}")
    host = Path(args.host).resolve()
    if not host.is_file():
        raise SystemExit(f"no host program at {host}")
    requests = json.loads((EXTENSION / "requests.json").read_text(encoding="utf-8"))
    scratch = Path(tempfile.mkdtemp(prefix=f"pelliport-{browser.split()[0].lower()}-"))
    return requests, scratch, Run(host, scratch), Checks(pending)


def finish(run, checks, scratch, args):
    """The summary; on a failure the log, the stand-in's and the browser's
    output. Returns the exit code."""
    checks.summary()
    failed = checks.failed()
    if failed:
        print("FAILED:", "; ".join(failed))
        print(f"--- {run.log}")
        print(run.log_text())
        for path in (scratch / "standin.txt", run.browser_output):
            if path:
                print(f"--- {path}")
                print(path.read_text(errors="replace")[-4000:])
    elif not args.keep:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failed else 0


def run_end_to_end(browser, args, install_options, start_browser, after=None):
    """The whole test for one browser: stand-in, installation, the browser's
    run, the checks. `start_browser(run)` starts the browser through
    run.start_browser; `after(run, checks)`, when given, checks more once the
    browser is done. Returns the exit code."""
    requests, scratch, run, checks = prepare(browser, args)
    started = time.monotonic()
    try:
        notifying = len([r for r in requests if r["kind"] != "add-in error"])
        run.start_standin(notifying, args.timeout + 10)
        run.install(*install_options)
        start_browser(run)
        finished = run.wait_for_host_runs(len(requests), started + args.timeout)
        if not finished:
            print(f"the host did not end {len(requests)} runs within {args.timeout:.0f} s")
        # The host sends before it ends; give the stand-in a moment to record.
        run.wait_for_standin(time.monotonic() + (3 if finished else 0))
    finally:
        run.stop()
    print(f"{browser} end-to-end: {time.monotonic() - started:.1f} s, scratch {scratch}")
    run_checks(run, requests, checks)
    if after:
        after(run, checks)
    return finish(run, checks, scratch, args)


def run_blocked(browser, args, install_options, start_browser, error, after):
    """A browser whose policies keep it from starting the host: the host,
    installed as always, runs not once, each request of the extension ends
    with the browser's `error`, nothing reaches the desktop application.
    `after(run, checks)` checks more while the stand-in still listens.
    Returns the exit code."""
    requests, scratch, run, checks = prepare(browser, args)
    started = time.monotonic()
    try:
        run.start_standin(1, args.timeout + 10)
        run.install(*install_options)
        start_browser(run)
        if not run.wait_for_console(len(requests), started + args.timeout):
            print(f"the browser did not answer {len(requests)} requests within {args.timeout:.0f} s")
        after(run, checks)
    finally:
        run.stop()
    print(f"{browser} end-to-end: {time.monotonic() - started:.1f} s, scratch {scratch}")
    messages = run.console_messages()
    checks.check("policy", f"each of the {len(requests)} requests ends with the browser's error \"{error}\"",
                 messages == [error] * len(requests), f"{messages}")
    starts = run.log_text().count("[PelliportHost] Start")
    checks.check("policy", "the browser starts the host not once", starts == 0, f"{starts} runs in {run.log}")
    checks.check("policy", "nothing reaches the desktop application", run.notifications() == [],
                 f"{run.notifications()}")
    return finish(run, checks, scratch, args)


def add_common_arguments(parser):
    parser.add_argument("--host", required=True, help="the built PelliportHost")
    parser.add_argument("--timeout", type=float, default=40, help="seconds to wait for the host's runs")
    parser.add_argument("--pending", default="", help="comma-separated groups whose failures are reported only")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
