#include "platform/command_line.h"

namespace pelliport {

std::u16string QuoteCommandLineArgument(std::u16string_view argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string_view::npos) {
    return std::u16string(argument);
  }
  std::u16string quoted = u"\"";
  std::size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quotation mark: double them there and
    // escape the mark itself.
    const std::size_t count = c == u'"' ? 2 * backslashes + 1 : backslashes;
    quoted.append(count, u'\\');
    quoted.push_back(c);
    backslashes = 0;
  }
  // The closing quotation mark follows: the trailing backslashes are doubled.
  quoted.append(2 * backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

}  // namespace pelliport
