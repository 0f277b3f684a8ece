// The settings file on Windows: GetPrivateProfileStringW.
#include "places/ProfileString.h"

#include <algorithm>

#include "platform/system_win32.h"

namespace pelliport {

std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue) {
  using win32::FromWide;
  using win32::Wide;
  wchar_t buffer[2048] = {};
  const DWORD length = ::GetPrivateProfileStringW(
      Wide(section).c_str(), Wide(key).c_str(), Wide(defaultValue).c_str(), buffer,
      static_cast<DWORD>(std::size(buffer)), Wide(path).c_str());
  return FromWide(std::wstring_view(buffer, std::min<std::size_t>(length, std::size(buffer) - 1)));
}

}  // namespace pelliport
