// The user's registry value of the port setting, read and written as it is
// (any type, any bytes), for tests that set it and put it back. Windows only.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

namespace pelliport::testing {

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// The value under HKEY_CURRENT_USER "Software\Kelmarq\Orvanta", "WebSocketPort";
// nullopt when there is none.
std::optional<RegistryValue> ReadPortValue();
// Writes the value, or removes it for nullopt; throws when that fails.
void WritePortValue(const std::optional<RegistryValue>& value);

}  // namespace pelliport::testing
