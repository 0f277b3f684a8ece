#!/usr/bin/env bash
# Runs a Windows program under Wine with a Wine prefix of its own:
#   tools/wine-run.sh <wine prefix folder> [<program.exe> [arguments...]]
# The prefix is created on first use (that takes a while); runs that start
# at the same time wait for each other's creation. Without a program it
# only creates the prefix.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <wine prefix folder> [<program> [arguments...]]" >&2; exit 2; }
export WINEPREFIX="$(realpath -m "$1")"
shift
export WINEDEBUG=-all
here="$(dirname "$(realpath "$0")")"
# The prefix's kind follows the programs: 32-bit for the i686 build, 64-bit
# for the x86_64 build (tools/wine.sh chooses when WINEARCH is not set).
# No Wine helpers (Mono, Gecko) asked for.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# No display: message boxes return at once instead of waiting for a click.
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/.pelliport-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.pelliport-ready" ]; then
      if [ "${WINEARCH:-}" = win32 ] && [ -f "${PELLIPORT_WINE32_TEMPLATE:-}/.pelliport-ready" ]; then
        # A ready prefix made once (the emulated PC has one, tools/pc/):
        # copied in seconds, where wineboot takes minutes there.
        rm -rf "$WINEPREFIX"
        cp -a "$PELLIPORT_WINE32_TEMPLATE" "$WINEPREFIX"
      else
        "$here/wine.sh" wineboot --init >/dev/null 2>&1 </dev/null
        wineserver --wait
        touch "$WINEPREFIX/.pelliport-ready"
      fi
    fi
  ) 9>"$WINEPREFIX.lock"
fi
[ $# -eq 0 ] || exec "$here/wine.sh" "$@"
