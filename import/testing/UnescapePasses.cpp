#include "import/testing/UnescapePasses.h"

#include <utility>

namespace pelliport::testing {

std::u16string UnescapeByPasses(std::u16string text) {
  const std::pair<char16_t, char16_t> passes[] = {{u'"', u'"'}, {u'/', u'/'}, {u'b', u'\b'}, {u'f', u'\f'},
                                                  {u'n', u'\n'}, {u'r', u'\r'}, {u't', u'\t'}, {u'\\', u'\\'}};
  for (const auto& [escape, replacement] : passes) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == escape) {
        out += replacement;
        ++i;
      } else {
        out += text[i];
      }
    }
    text = std::move(out);
  }
  return text;
}

}  // namespace pelliport::testing
