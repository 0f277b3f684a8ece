// What the POSIX seams and the POSIX files of the product modules share:
// the user's folders as the XDG base directories name them, small files,
// and texts across the system's boundary.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/utf.h"

namespace pelliport::posix {

// The system's texts are UTF-8 bytes.
inline std::string Narrow(std::u16string_view text) { return EncodeUtf8(text); }
inline std::u16string Widen(std::string_view text) { return DecodeUtf8Lenient(text); }
// The system's text for an errno value.
std::u16string ErrnoText(int error);
// The environment variable; nullopt when it is not set.
std::optional<std::string> Env(const char* name);

// $HOME, else the effective user's home folder; empty when neither is known.
std::string HomeFolder();
// $NAME when it holds an absolute path, else the fallback under the home folder.
std::string XdgFolder(const char* name, const char* fallbackUnderHome);
// The file's bytes when it is a regular file of at most `limit` bytes;
// otherwise nullopt and the reason in `error`.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, std::u16string& error);
// The whole file; nullopt when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Writes all bytes to the descriptor; false when that fails.
bool WriteAll(int fd, const void* data, std::size_t size);

// The text without blanks, tabs and line breaks around it.
std::u16string Trim(std::u16string_view text);
// Equal under the simple upper-case mapping, unit for unit.
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace pelliport::posix
