// The desktop application's port as the notification takes it: the per-user
// setting "WebSocketPort" under HKEY_CURRENT_USER "Software\Kelmarq\Orvanta"
// (off Windows the file $XDG_CONFIG_HOME/Kelmarq/Orvanta/WebSocketPort, see
// platform/user_settings.h), 5414 when it is not set or cannot be read. The
// engine and `--check` both take it from here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace pelliport {

inline constexpr std::int32_t kDefaultPort = 5414;

// The per-user "WebSocketPort" setting and how reading it went.
struct PortSetting {
  enum class Outcome { NotReachable, Missing, Unreadable, Read };
  Outcome outcome = Outcome::NotReachable;
  std::int32_t value = 0;      // valid for Read
  std::u16string errorKind;    // valid for Unreadable, e.g. "ERegistryException"
  std::u16string errorMessage;
};

// Reads the setting as the notification does: the key is created when
// missing (RegCreateKeyExW).
PortSetting ReadPortSetting(Platform& platform);
// Reads it as ReadPortSetting does, but creates nothing: a missing key is a
// missing setting.
PortSetting InspectPortSetting(Platform& platform);
// Where the setting lives: the registry key and value, or the file.
std::u16string PortSettingLocation(Platform& platform);

// The port for the setting as read: its value, else the default.
inline std::int32_t ServerPort(const PortSetting& setting) {
  return setting.outcome == PortSetting::Outcome::Read ? setting.value : kDefaultPort;
}

}  // namespace pelliport
