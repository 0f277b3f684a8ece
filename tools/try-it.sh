#!/usr/bin/env bash
# The host's main job, end to end, on this machine: builds the Linux host,
# starts the stand-in of the desktop application on a free port, pipes the
# sample capture (a made-up profile page and photo) through the host, and
# shows what the stand-in received and what the host logged. Everything the
# host writes stays in a scratch folder.
#   tools/try-it.sh [request.json]    (default: tools/samples/capture-request.json)
set -euo pipefail
cd "$(dirname "$0")/.."
request="${1:-tools/samples/capture-request.json}"
tools/setup.sh >/dev/null
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux --target PelliportHost >/dev/null

scratch=$(mktemp -d)
standin_pid=""
cleanup() {
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/data/Orvanta" "$scratch/temp" "$scratch/config"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/temp"

# The stand-in listens on a free port; the host finds it through the port setting.
/usr/bin/python3 -u tools/orvanta-standin/orvanta_standin.py --port 0 --count 1 --timeout 20 \
  > "$scratch/standin.out" 2>&1 &
standin_pid=$!
for _ in $(seq 100); do grep -q '^listening on' "$scratch/standin.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$scratch/standin.out")
mkdir -p "$XDG_CONFIG_HOME/Kelmarq/Orvanta"
echo "$port" > "$XDG_CONFIG_HOME/Kelmarq/Orvanta/WebSocketPort"

echo "== request: $request"
/usr/bin/python3 tools/frame.py < "$request" | build/linux/host/PelliportHost
echo "== host exit code: $?"
wait "$standin_pid" || true
standin_pid=""
echo "== the stand-in of the desktop application received:"
cat "$scratch/standin.out"
echo "== files the host left in $TMPDIR:"
find "$TMPDIR" -type f | sort | while read -r f; do echo "$f ($(stat -c %s "$f") bytes)"; done
echo "== log ($XDG_DATA_HOME/Orvanta/PelliportLog.txt):"
cat "$XDG_DATA_HOME/Orvanta/PelliportLog.txt"
