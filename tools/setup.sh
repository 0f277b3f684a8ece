#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root,
# or with sudo available). Safe to run again.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(
  # Linux build and tests
  build-essential cmake ninja-build libgtest-dev libgmock-dev googletest libbenchmark-dev
  libicu-dev libjpeg62-turbo-dev python3
  # WebSocket interoperability tests: Debian's python3-websockets server
  python3-websockets
  # JSON readers that the JSON benchmark compares with
  nlohmann-json3-dev rapidjson-dev
)
# ... and the npm package ws, run with Node.js (kept when it is already there)
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${packages[@]}"
