#!/bin/sh
# The guest's first boot (tools/pc/pc.sh make): a ready 32-bit Wine prefix,
# which every run copies instead of making its own (wineboot takes about
# three minutes in the PC, a copy seconds). tools/wine-run.sh takes it from
# PELLIPORT_WINE32_TEMPLATE, which the guest's PID 1 reads from
# /etc/pelliport-pc.env.
set -eu
template=/var/lib/pelliport-pc/wine-win32
export WINEARCH=win32 WINEPREFIX="$template" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$template")"
start=$(date +%s)
wineboot --init </dev/null
wineserver --wait
touch "$template/.pelliport-ready"
echo "export PELLIPORT_WINE32_TEMPLATE=$template" > /etc/pelliport-pc.env
echo "guest-prepare: 32-bit Wine prefix made in $(( $(date +%s) - start )) s ($(du -sh "$template" | cut -f1))"
