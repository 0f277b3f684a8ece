// The user's settings on Windows: values of keys under HKEY_CURRENT_USER.
#include <cstring>
#include <string>

#include "platform/system_seams.h"
#include "platform/system_win32.h"

namespace pelliport {
namespace {

using win32::FromWide;
using win32::RegistryKey;
using win32::Wide;

class Win32UserSettings final : public UserSettings {
 public:
  UserValue ReadInteger(std::u16string_view key, std::u16string_view name, bool createKey) override {
    RegistryKey opened;
    if (createKey) {
      if (::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            opened.Receive(), nullptr) != ERROR_SUCCESS) {
        return {};  // not reachable
      }
    } else {
      // Opened as when it is created, with full access, but never created.
      const LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, KEY_ALL_ACCESS,
                                             opened.Receive());
      if (status == ERROR_FILE_NOT_FOUND) return {UserValue::Outcome::Missing, 0};
      if (status != ERROR_SUCCESS) return {};  // not reachable
    }
    return ReadDword(opened.Get(), Wide(name));
  }

  std::u16string Location(std::u16string_view key, std::u16string_view name) override {
    return u"HKEY_CURRENT_USER\\" + std::u16string(key) + u", value " + std::u16string(name);
  }

 private:
  static UserValue ReadDword(HKEY key, const std::wstring& name) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return {UserValue::Outcome::Missing, 0};
    }
    std::uint8_t data[4] = {};
    size = sizeof data;
    const LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size);
    if (status != ERROR_SUCCESS) return {UserValue::Outcome::Unreadable, 0};
    if (type != REG_DWORD) return {UserValue::Outcome::WrongType, 0};
    std::int32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return {UserValue::Outcome::Read, value};
  }
};

}  // namespace

UserSettings& SystemUserSettings() {
  static Win32UserSettings settings;
  return settings;
}

}  // namespace pelliport
