// What the POSIX files of the product modules share with the platform: the
// user's folders as the XDG base directories name them, and small files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pelliport::posix {

// $HOME, else the effective user's home folder; empty when neither is known.
std::string HomeFolder();
// $NAME when it holds an absolute path, else the fallback under the home folder.
std::string XdgFolder(const char* name, const char* fallbackUnderHome);
// The file's bytes when it is a regular file of at most `limit` bytes;
// otherwise nullopt and the reason in `error`.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, std::u16string& error);

}  // namespace pelliport::posix
