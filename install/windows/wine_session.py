"""Wine for the tests of the Windows installation: a prefix of the test's own
with one persistent Wine server for the whole run, and `wine` with the loader
this machine can execute (tools/wine.sh)."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
# The Wine loader; a test may name another one.
WINE = [str(ROOT / "tools" / "wine.sh")]
ENVIRONMENT = {}


def configure(prefix):
    """Points every later run at the prefix, without a display: message boxes return at once."""
    ENVIRONMENT.clear()
    ENVIRONMENT.update(os.environ)
    ENVIRONMENT.update({
        "WINEPREFIX": str(Path(prefix).resolve()),
        "WINEDEBUG": "-all",
        # Neither Mono nor Gecko are needed, so Wine asks for neither.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    })
    ENVIRONMENT.pop("DISPLAY", None)
    ENVIRONMENT.pop("WAYLAND_DISPLAY", None)


def wine(*args, cwd=None, stdin_bytes=b"", timeout=300, debug=None):
    """One Wine run; `debug` is its WINEDEBUG (none by default)."""
    # Input and output go through files, not pipes: Wine's background
    # processes, which the first run starts, inherit the handles and would
    # hold a pipe open.
    with tempfile.TemporaryFile() as inp, tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        inp.write(stdin_bytes)
        inp.seek(0)
        environment = ENVIRONMENT if debug is None else {**ENVIRONMENT, "WINEDEBUG": debug}
        code = subprocess.run([*WINE, *args], cwd=cwd, env=environment, stdin=inp, stdout=out, stderr=err,
                              timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, code, out.read().decode("utf-8", "replace"),
                                           err.read().decode("utf-8", "replace"))


def windows_path(path):
    return wine("winepath", "-w", str(path)).stdout.strip()


def unix_path(path):
    return Path(wine("winepath", "-u", path).stdout.strip())


def run_tests(argv):
    """Makes the configured prefix ready and runs the module's tests under one
    Wine server (each run would otherwise start its own). The exit code."""
    # tools/wine-run.sh makes the prefix as every Windows test gets it.
    boot = subprocess.run([str(ROOT / "tools" / "wine-run.sh"), ENVIRONMENT["WINEPREFIX"]], env=ENVIRONMENT,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    if boot.returncode != 0:
        print(f"making the Wine prefix failed ({boot.returncode})")
        return 1
    subprocess.run(["wineserver", "-p"], env=ENVIRONMENT, check=False)
    try:
        program = unittest.main(argv=argv, exit=False)
        return 0 if program.result.wasSuccessful() else 1
    finally:
        subprocess.run(["wineserver", "-k"], env=ENVIRONMENT, check=False)


def run_tests_in_fresh_prefix(prefix, argv):
    """Runs the module's tests in the prefix, made anew: no server of an
    earlier run may hold the old one. The exit code."""
    prefix = Path(prefix).resolve()
    configure(prefix)
    subprocess.run(["wineserver", "-k"], env=ENVIRONMENT, check=False, stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    return run_tests(argv)
