// The desktop application's port as the notification takes it: the per-user
// setting "WebSocketPort" (the platform reads it), 5414 when it is not set or
// cannot be read. The engine and `--check` both take it from here.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace pelliport {

inline constexpr std::int32_t kDefaultPort = 5414;

// The port for the setting as read: its value, else the default.
inline std::int32_t ServerPort(const PortSetting& setting) {
  return setting.outcome == PortSetting::Outcome::Read ? setting.value : kDefaultPort;
}

}  // namespace pelliport
