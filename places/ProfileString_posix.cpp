// The settings file off Windows: read with the rules of Windows'
// GetPrivateProfileStringW (sections and keys in any case, blanks around
// them, one pair of enclosing quotation marks, at most 2047 characters).
#include "places/ProfileString.h"

#include "platform/system_posix.h"

namespace pelliport {

using posix::EqualsIgnoringCase;
using posix::Narrow;
using posix::ReadWholeFile;
using posix::Trim;
using posix::Widen;

std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section,
                                 std::u16string_view key,
                                 std::u16string_view defaultValue) {
  const auto content = ReadWholeFile(Narrow(path));
  std::u16string value(defaultValue);
  if (content) {
    std::u16string text = Widen(*content);
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    bool inSection = false;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      const std::u16string line = Trim(std::u16string_view(text).substr(start, end - start));
      start = end + 1;
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        const std::size_t close = line.find(u']');
        inSection = close != std::u16string::npos &&
                    EqualsIgnoringCase(Trim(std::u16string_view(line).substr(1, close - 1)), section);
        continue;
      }
      const std::size_t eq = line.find(u'=');
      if (!inSection || eq == std::u16string::npos) continue;
      if (!EqualsIgnoringCase(Trim(std::u16string_view(line).substr(0, eq)), key)) continue;
      value = Trim(std::u16string_view(line).substr(eq + 1));
      // Like the Windows reader: one pair of enclosing quotation marks goes.
      if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      break;
    }
  }
  if (value.size() > 2047) value.resize(2047);
  return value;
}

}  // namespace pelliport
