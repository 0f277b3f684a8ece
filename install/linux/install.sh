#!/usr/bin/env bash
# Installs PelliportHost for the current user's browsers on Linux: writes the
# native-messaging host manifest into the per-user folders that Chromium,
# Google Chrome and Firefox read. Running it again rewrites the manifests.
#
#   install.sh [--program PATH] [--chrome-extension ID]... [--firefox-extension ID]...
#
# --program            the installed host program (default: PelliportHost beside this script)
# --chrome-extension   id of an allowed extension of Chromium or Chrome (32 letters a-p),
#                      or its origin chrome-extension://ID/
# --firefox-extension  id of an allowed Firefox extension (name@domain or {guid})
# Chromium and Chrome get a manifest when a --chrome-extension is given, Firefox
# when a --firefox-extension is given.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=common.sh
. "$here/common.sh"

usage() { sed -n '2,14s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }
fail() { echo "install.sh: $*" >&2; exit 2; }

program="$here/PelliportHost"
chrome_origins=()
firefox_ids=()
while [ $# -gt 0 ]; do
  case "$1" in
    --program) [ $# -ge 2 ] || fail "--program needs a path"; program="$2"; shift 2 ;;
    --chrome-extension)
      [ $# -ge 2 ] || fail "--chrome-extension needs an id"
      id="${2#chrome-extension://}"; id="${id%/}"
      [[ "$id" =~ ^[a-p]{32}$ ]] || fail "not a Chromium extension id: $2"
      chrome_origins+=("chrome-extension://$id/"); shift 2 ;;
    --firefox-extension)
      [ $# -ge 2 ] || fail "--firefox-extension needs an id"
      [[ "$2" =~ ^([A-Za-z0-9._+-]*@[A-Za-z0-9._-]+|\{[0-9A-Fa-f-]+\})$ ]] || fail "not a Firefox extension id: $2"
      firefox_ids+=("$2"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; fail "unknown argument: $1" ;;
  esac
done
[ ${#chrome_origins[@]} -gt 0 ] || [ ${#firefox_ids[@]} -gt 0 ] ||
  fail "give at least one --chrome-extension or --firefox-extension"

# The browsers start the program by its absolute path.
case "$program" in /*) ;; *) program="$PWD/$program" ;; esac
[ -f "$program" ] && [ -x "$program" ] || fail "no executable program at $program"
[[ "$program" != *[[:cntrl:]]* ]] || fail "the program's path holds a control character"

# Writes a manifest through a temporary file in the same folder, so that a
# browser never reads half a manifest.
write_manifest() {
  local folder="$1" content="$2" target temporary
  target="$folder/$PELLIPORT_HOST_NAME.json"
  mkdir -p "$folder"
  temporary="$(mktemp "$folder/.$PELLIPORT_HOST_NAME.json.XXXXXX")"
  printf '%s\n' "$content" > "$temporary"
  chmod 644 "$temporary"
  mv -f "$temporary" "$target"
  echo "installed $target"
}

manifest() {  # manifest KEY VALUE...: the manifest with the list KEY of the values
  local key="$1" list="" value
  shift
  for value in "$@"; do list+="${list:+, }$(json_string "$value")"; done
  printf '{\n  "name": "%s",\n  "description": "%s",\n  "path": %s,\n  "type": "stdio",\n  "%s": [%s]\n}' \
    "$PELLIPORT_HOST_NAME" "$PELLIPORT_DESCRIPTION" "$(json_string "$program")" "$key" "$list"
}

if [ ${#chrome_origins[@]} -gt 0 ]; then
  content="$(manifest allowed_origins "${chrome_origins[@]}")"
  write_manifest "$(chromium_folder)" "$content"
  write_manifest "$(chrome_folder)" "$content"
fi
if [ ${#firefox_ids[@]} -gt 0 ]; then
  write_manifest "$(firefox_folder)" "$(manifest allowed_extensions "${firefox_ids[@]}")"
fi
