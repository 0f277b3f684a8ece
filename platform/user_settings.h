// The current user's settings store: on Windows the registry under
// HKEY_CURRENT_USER; elsewhere a key "Software\\<path>" is the folder <path>
// in the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config) and
// a value is a file in it that holds a decimal number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelliport {

// An integer value (REG_DWORD) and how reading it went.
struct UserValue {
  enum class Outcome {
    NotReachable,  // the key cannot be created or opened
    Missing,       // no key (when not created) or no value
    Unreadable,    // the value is there but its data cannot be fetched
    WrongType,     // the value is not an integer (REG_DWORD; elsewhere a decimal number)
    Read,
  };
  Outcome outcome = Outcome::NotReachable;
  std::int32_t value = 0;  // valid for Read
};

class UserSettings {
 public:
  virtual ~UserSettings() = default;
  // Opens the key, creating it when missing when `createKey` (with full
  // access, as RegCreateKeyExW does), and reads the value.
  virtual UserValue ReadInteger(std::u16string_view key, std::u16string_view name, bool createKey) = 0;
  // Where the value lives: the registry key and value, or the file.
  virtual std::u16string Location(std::u16string_view key, std::u16string_view name) = 0;
};

}  // namespace pelliport
