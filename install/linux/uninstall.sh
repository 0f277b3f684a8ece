#!/usr/bin/env bash
# Removes PelliportHost from the current user's browsers on Linux: deletes its
# native-messaging host manifest from the per-user folders of Chromium, Google
# Chrome and Firefox, and those folders when nothing else is left in them.
# Removing what is not installed does nothing.
#
#   uninstall.sh
set -euo pipefail

case "${1:-}" in
  "") ;;
  -h|--help) sed -n '2,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) echo "uninstall.sh: unknown argument: $1" >&2; exit 2 ;;
esac

# The folders in which `PelliportHost --write-manifests` put the manifest
# (manifests/ManifestPlaces_posix.cpp). Removal needs no program: it works
# when the program is gone already.
host_name="com.kelmarq.pelliport"
case "${XDG_CONFIG_HOME:-}" in
  /*) config="$XDG_CONFIG_HOME" ;;
  *) config="$HOME/.config" ;;
esac

removed=0
for folder in "$config/chromium/NativeMessagingHosts" "$config/google-chrome/NativeMessagingHosts" \
              "$HOME/.mozilla/native-messaging-hosts"; do
  manifest="$folder/$host_name.json"
  if [ -e "$manifest" ] || [ -L "$manifest" ]; then
    rm -f "$manifest"
    echo "removed $manifest"
    removed=1
  fi
  # The manifest folder and the browser's folder above it go only when empty;
  # the browser makes them again when it needs them.
  if [ -d "$folder" ]; then
    rmdir --ignore-fail-on-non-empty "$folder" "$(dirname "$folder")" 2>/dev/null || true
  fi
done
[ "$removed" = 1 ] || echo "PelliportHost was not installed for this user"
