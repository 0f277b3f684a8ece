#include "import/JsonString.h"

namespace pelliport {

void AppendJsonString(std::u16string& out, std::u16string_view text) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  out += u'"';
  for (const char16_t c : text) {
    switch (c) {
      case u'"': out += u"\\\""; break;
      case u'\\': out += u"\\\\"; break;
      case u'\b': out += u"\\b"; break;
      case u'\f': out += u"\\f"; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      case u'\t': out += u"\\t"; break;
      default:
        if (c < 0x20) {
          out += u"\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += u'"';
}

}  // namespace pelliport
