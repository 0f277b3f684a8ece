#!/usr/bin/env bash
# Installs PelliportHost for the browsers on Linux: the program writes its
# native-messaging host manifest into the folders that Chromium, Google
# Chrome, Microsoft Edge, Brave, Vivaldi and Firefox read, those of the
# current user or, with --system, those of every user. Running it again
# rewrites the manifests.
#
#   install.sh [--system] [--program PATH] [--chrome-extension ID]... [--firefox-extension ID]...
#
# --system             for every user of the computer (run it as root): the
#                      browsers' system-wide folders; the program must be one
#                      every user can run (for example under /opt, not in a home)
# --program            the installed host program (default: PelliportHost beside this script)
# --chrome-extension   id of an allowed extension of the Chromium family (32 letters a-p),
#                      or its origin chrome-extension://ID/
# --firefox-extension  id of an allowed Firefox extension (name@domain or {guid})
# The Chromium family gets a manifest when a --chrome-extension is given,
# Firefox when a --firefox-extension is given.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

usage() { sed -n '2,20s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }
fail() { echo "install.sh: $*" >&2; exit 2; }

program="$here/PelliportHost"
scope=()
extensions=()
while [ $# -gt 0 ]; do
  case "$1" in
    --system) scope=(--system); shift ;;
    --program) [ $# -ge 2 ] || fail "--program needs a path"; program="$2"; shift 2 ;;
    --chrome-extension|--firefox-extension)
      [ $# -ge 2 ] || fail "$1 needs an id"
      extensions+=("$1" "$2"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; fail "unknown argument: $1" ;;
  esac
done
[ ${#extensions[@]} -gt 0 ] || fail "give at least one --chrome-extension or --firefox-extension"
if [ ${#scope[@]} -gt 0 ] && [ "$(id -u)" != 0 ]; then
  fail "--system writes into the browsers' system-wide folders: run it as root"
fi

case "$program" in /*) ;; *) program="$PWD/$program" ;; esac
[ -f "$program" ] && [ -x "$program" ] || fail "no executable program at $program"

# The program checks the ids (and, for every user, that every user can run
# it), writes the manifests with its own absolute path in them and says what
# is wrong; 2 is a refusal of the arguments.
"$program" --write-manifests "${scope[@]}" "${extensions[@]}"
if [ ${#scope[@]} -gt 0 ]; then
  echo "installed PelliportHost ($program) for the browsers of every user"
else
  echo "installed PelliportHost ($program) for the current user's browsers"
fi
