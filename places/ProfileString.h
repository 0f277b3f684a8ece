// A value of an INI settings file, read as Windows reads it
// (GetPrivateProfileStringW into a buffer of 2048 characters):
// ProfileString_win32.cpp calls it, ProfileString_posix.cpp follows its rules.
#pragma once

#include <string>
#include <string_view>

namespace pelliport {

std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue);

}  // namespace pelliport
