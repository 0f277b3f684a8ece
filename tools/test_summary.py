#!/usr/bin/python3
"""What a test run did not test: the steps of tools/test-all.sh with their
times, every step that was skipped or degraded and why, and every test that
ctest or GoogleTest skipped. The run's record lives in build/test-summary/.

    test_summary.py start [SINCE]              a new run, begun at SINCE (epoch seconds; now)
    test_summary.py step NAME SECONDS STATUS   a step's time and exit code
    test_summary.py note KIND TEXT             skipped | degraded | blocked | untested | ran | failed
    test_summary.py ctest BUILD_FOLDER         a ctest run whose skips count
    test_summary.py report                     prints the summary

KIND untested is something the product needs tested that was not, where
the machine could have tested it: with CI=true in the environment, `report`
then fails (exit 1). KIND blocked is a part that this machine cannot test;
the summary says so as loudly, but the run does not fail for it. KIND ran
says on which build and where a suite ran; KIND failed names what failed
where the step's own log is not at hand (inside the emulated PC)."""

import os
import re
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RECORD = ROOT / "build" / "test-summary"
STEPS = RECORD / "steps.tsv"
NOTES = RECORD / "notes.tsv"
CTESTS = RECORD / "ctest.tsv"
STARTED = RECORD / "started"

SECTION = re.compile(r'^\d+/\d+ Test: (\S+)$')
SKIPPED_TEST = re.compile(r'^\[  SKIPPED \] (\S+\.\S+) \(')


def append(path, *fields):
    RECORD.mkdir(parents=True, exist_ok=True)
    with path.open("a", encoding="utf-8") as f:
        f.write("\t".join(str(field).replace("\t", " ").replace("\n", " ") for field in fields) + "\n")


def rows(path):
    if not path.exists():
        return []
    return [line.split("\t") for line in path.read_text(encoding="utf-8").splitlines() if line]


def ctest_skips(folder):
    """(ctest test, what was skipped, why) from a ctest run's full log:
    GoogleTest cases skipped inside a test program, unittest's skips, and
    programs that ended with their skip code. The log records those as
    passed, so every such program says why on a line "SKIPPED: <why>"."""
    log = Path(folder) / "Testing" / "Temporary" / "LastTest.log"
    if not log.exists():
        return [(str(folder), "the whole ctest run", "it left no log")]
    skips = []
    test, reason = "?", ""
    lines = log.read_text(encoding="utf-8", errors="replace").splitlines()
    for i, line in enumerate(lines):
        if match := SECTION.match(line):
            test, reason = match.group(1), ""
        elif line.endswith(": Skipped") and i + 1 < len(lines):
            reason = lines[i + 1].strip()
        elif match := SKIPPED_TEST.match(line):
            skips.append((test, match.group(1), reason or "no reason given"))
            reason = ""
        elif line.startswith("SKIPPED:"):
            skips.append((test, "the test program", line[len("SKIPPED:"):].strip()))
        elif m := re.search(r'\bOK \(skipped=(\d+)\)', line):
            skips.append((test, f"{m.group(1)} Python test case(s)", "skipped by unittest"))
    return skips


def minutes(seconds):
    whole = int(float(seconds))
    return f"{whole // 60:3d} min {whole % 60:02d} s"


def report():
    steps = rows(STEPS)
    notes = rows(NOTES)
    print()
    print("==== What this test run did ====")
    for name, seconds, status in steps:
        print(f"  {name:<44} {minutes(seconds)}{'' if status == '0' else '   FAILED (' + status + ')'}")
    if STARTED.exists():
        # The run's own time, not the steps' sum: a step may run beside others.
        print(f"  {'in all':<44} {minutes(time.time() - float(STARTED.read_text()))}")
    ran = [text for kind, text in notes if kind == "ran"]
    if ran:
        print("==== Where the suites ran ====")
        for text in ran:
            print(f"  {text}")
    failed = [text for kind, text in notes if kind == "failed"]
    if failed:
        print("==== What failed ====")
        for text in failed:
            print(f"  FAILED: {text}")
    print("==== What it skipped or tested otherwise ====")
    said = False
    for kind, text in notes:
        if kind in ("ran", "failed"):
            continue
        print(f"  {kind.upper()}: {text}")
        said = True
    for folder in dict.fromkeys(folder for (folder,) in rows(CTESTS)):
        for test, what, why in ctest_skips(folder):
            print(f"  SKIPPED in {Path(folder).name}: {test}: {what}: {why}")
            said = True
    if not said:
        print("  nothing")
    untested = [text for kind, text in notes if kind == "untested"]
    if untested and os.environ.get("CI") == "true":
        print("==== CI=true: the run fails, because the product was not tested in full ====")
        return 1
    return 0


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    command, args = argv[1], argv[2:]
    if command == "start" and len(args) <= 1:
        RECORD.mkdir(parents=True, exist_ok=True)
        for path in (STEPS, NOTES, CTESTS):
            path.unlink(missing_ok=True)
        STARTED.write_text(args[0] if args else str(time.time()))
    elif command == "step" and len(args) == 3:
        append(STEPS, *args)
    elif command == "note" and len(args) == 2 and args[0] in ("skipped", "degraded", "blocked", "untested", "ran", "failed"):
        append(NOTES, *args)
    elif command == "ctest" and len(args) == 1:
        append(CTESTS, Path(args[0]).resolve())
    elif command == "report" and not args:
        return report()
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
