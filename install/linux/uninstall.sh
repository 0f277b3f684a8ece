#!/usr/bin/env bash
# Removes PelliportHost from the browsers on Linux: deletes its
# native-messaging host manifest from the folders of Chromium, Google
# Chrome, Microsoft Edge, Brave, Vivaldi and Firefox, those of the current
# user or, with --system, the system-wide ones, and the folders made for it
# when nothing else is left in them. Removing what is not installed does
# nothing.
#
#   uninstall.sh [--system]
#
# --system   for every user of the computer (run it as root)
set -euo pipefail

system=0
case "${1:-}" in
  "") ;;
  --system) system=1 ;;
  -h|--help) sed -n '2,11s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) echo "uninstall.sh: unknown argument: $1" >&2; exit 2 ;;
esac
[ $# -le 1 ] || { echo "uninstall.sh: unknown argument: $2" >&2; exit 2; }
if [ "$system" = 1 ] && [ "$(id -u)" != 0 ]; then
  echo "uninstall.sh: --system removes from the browsers' system-wide folders: run it as root" >&2
  exit 2
fi

# The folders in which `PelliportHost --write-manifests` put the manifest
# (manifests/ManifestPlaces_posix.cpp), each with the folder above which
# nothing is removed: what lies above belongs to the user or the system.
# Removal needs no program: it works when the program is gone already.
host_name="com.kelmarq.pelliport"
if [ "$system" = 1 ]; then
  places=(
    /etc/chromium/native-messaging-hosts /etc
    /etc/opt/chrome/native-messaging-hosts /etc/opt
    /etc/opt/edge/native-messaging-hosts /etc/opt
    /etc/opt/vivaldi/native-messaging-hosts /etc/opt
    /usr/lib/mozilla/native-messaging-hosts /usr/lib/mozilla
    /usr/lib64/mozilla/native-messaging-hosts /usr/lib64/mozilla
  )
  whose="every user"
else
  case "${XDG_CONFIG_HOME:-}" in
    /*) config="$XDG_CONFIG_HOME" ;;
    *) config="$HOME/.config" ;;
  esac
  places=(
    "$config/chromium/NativeMessagingHosts" "$config"
    "$config/google-chrome/NativeMessagingHosts" "$config"
    "$config/microsoft-edge/NativeMessagingHosts" "$config"
    "$config/BraveSoftware/Brave-Browser/NativeMessagingHosts" "$config"
    "$config/vivaldi/NativeMessagingHosts" "$config"
    "$HOME/.mozilla/native-messaging-hosts" "$HOME"
  )
  whose="this user"
fi

removed=0
for ((i = 0; i < ${#places[@]}; i += 2)); do
  folder="${places[i]}"
  keep="${places[i + 1]}"
  manifest="$folder/$host_name.json"
  if [ -e "$manifest" ] || [ -L "$manifest" ]; then
    rm -f "$manifest"
    echo "removed $manifest"
    removed=1
  fi
  # The manifest folder and the browser's folders above it go only when
  # empty; the browser makes them again when it needs them.
  while [ "$folder" != "$keep" ] && [ "$folder" != / ] && [ -d "$folder" ] && rmdir "$folder" 2>/dev/null; do
    folder="$(dirname "$folder")"
  done
done
[ "$removed" = 1 ] || echo "PelliportHost was not installed for $whose"
