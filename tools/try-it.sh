#!/usr/bin/env bash
# Builds the Linux host and pipes a sample request through it, in a scratch
# folder, then shows the log lines the host wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux --target PelliportHost

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/data/Orvanta" "$scratch/temp" "$scratch/config"
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/temp"

request=tools/samples/domain-request.json
echo "== request: $request"
cat "$request"; echo
/usr/bin/python3 tools/frame.py < "$request" | build/linux/host/PelliportHost
echo "== exit code: $?"
echo "== log: $XDG_DATA_HOME/Orvanta/PelliportLog.txt"
cat "$XDG_DATA_HOME/Orvanta/PelliportLog.txt"
