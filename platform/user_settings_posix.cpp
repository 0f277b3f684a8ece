// The user's settings on Linux and other POSIX systems, as the registry's
// HKEY_CURRENT_USER is on Windows: a key "Software\<path>" is the folder
// <path> in the user's configuration folder, a value a file in it that
// holds a decimal number (blanks and a final line break around it allowed).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

namespace pelliport {
namespace {

using posix::Narrow;
using posix::Trim;
using posix::Widen;

class PosixUserSettings final : public UserSettings {
 public:
  UserValue ReadInteger(std::u16string_view key, std::u16string_view name, bool createKey) override {
    const std::string folder = KeyFolder(key);
    if (createKey) {
      // The key is created when missing, as the registry key is.
      std::size_t pos = 1;
      while (pos != std::string::npos) {
        pos = folder.find('/', pos);
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) break;
        if (pos != std::string::npos) ++pos;
      }
    } else {
      struct stat st {};
      if (::stat(folder.c_str(), &st) != 0 && errno == ENOENT) return {UserValue::Outcome::Missing, 0};
    }
    return ReadValueFile(folder, Narrow(name));
  }

  std::u16string Location(std::u16string_view key, std::u16string_view name) override {
    return Widen(KeyFolder(key) + "/" + Narrow(name));
  }

 private:
  // The folder of a key: "Software\" left out, the other parts as folders.
  static std::string KeyFolder(std::u16string_view key) {
    constexpr std::u16string_view software = u"Software\\";
    if (key.starts_with(software)) key.remove_prefix(software.size());
    std::u16string path(key);
    for (char16_t& c : path) {
      if (c == u'\\') c = u'/';
    }
    return posix::XdgFolder("XDG_CONFIG_HOME", "/.config") + "/" + Narrow(path);
  }

  static UserValue ReadValueFile(const std::string& folder, const std::string& name) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(folder.c_str(), R_OK | X_OK) != 0) {
      return {};  // not reachable
    }
    const auto content = posix::ReadWholeFile(folder + "/" + name);
    if (!content) return {UserValue::Outcome::Missing, 0};
    const std::string text = Narrow(Trim(Widen(*content)));
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      return {UserValue::Outcome::WrongType, 0};
    }
    return {UserValue::Outcome::Read, value};
  }
};

}  // namespace

UserSettings& SystemUserSettings() {
  static PosixUserSettings settings;
  return settings;
}

}  // namespace pelliport
