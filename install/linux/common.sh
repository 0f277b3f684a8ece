# Shared by install.sh and uninstall.sh: the host's name and the per-user
# folders in which the browsers look for native-messaging hosts.
PELLIPORT_HOST_NAME="com.kelmarq.pelliport"
PELLIPORT_DESCRIPTION="PelliportHost: imports candidate profiles into Orvanta"

# Chromium and Chrome keep their profiles under $XDG_CONFIG_HOME (when it is
# an absolute path), else ~/.config; Firefox always under ~/.mozilla.
config_home() {
  case "${XDG_CONFIG_HOME:-}" in
    /*) printf '%s' "$XDG_CONFIG_HOME" ;;
    *) printf '%s' "$HOME/.config" ;;
  esac
}
chromium_folder() { printf '%s' "$(config_home)/chromium/NativeMessagingHosts"; }
chrome_folder() { printf '%s' "$(config_home)/google-chrome/NativeMessagingHosts"; }
firefox_folder() { printf '%s' "$HOME/.mozilla/native-messaging-hosts"; }

# A JSON string of the text: quotation marks and backslashes escaped (the
# callers reject control characters).
json_string() {
  local text="${1//\\/\\\\}"
  text="${text//\"/\\\"}"
  printf '"%s"' "$text"
}
