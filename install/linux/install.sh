#!/usr/bin/env bash
# Installs PelliportHost for the current user's browsers on Linux: the
# program writes its native-messaging host manifest into the per-user folders
# that Chromium, Google Chrome and Firefox read. Running it again rewrites the
# manifests.
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

usage() { sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }
fail() { echo "install.sh: $*" >&2; exit 2; }

program="$here/PelliportHost"
extensions=()
while [ $# -gt 0 ]; do
  case "$1" in
    --program) [ $# -ge 2 ] || fail "--program needs a path"; program="$2"; shift 2 ;;
    --chrome-extension|--firefox-extension)
      [ $# -ge 2 ] || fail "$1 needs an id"
      extensions+=("$1" "$2"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; fail "unknown argument: $1" ;;
  esac
done
[ ${#extensions[@]} -gt 0 ] || fail "give at least one --chrome-extension or --firefox-extension"

case "$program" in /*) ;; *) program="$PWD/$program" ;; esac
[ -f "$program" ] && [ -x "$program" ] || fail "no executable program at $program"

# The program checks the ids, writes the manifests with its own absolute path
# in them and says what is wrong; 2 is a refusal of the arguments.
"$program" --write-manifests "${extensions[@]}"
echo "installed PelliportHost ($program) for the current user's browsers"
