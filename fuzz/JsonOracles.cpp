#include "fuzz/JsonOracles.h"

#include <limits>

namespace pelliport::fuzz {

std::optional<std::int32_t> SubscriptOfPath(std::u16string_view path) {
  const std::size_t open = path.find(u'[');
  std::u16string_view text = open == std::u16string_view::npos ? path : path.substr(open + 1);
  const std::size_t close = text.find(u']');
  if (close == std::u16string_view::npos) return std::nullopt;
  text = text.substr(0, close);
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > std::int64_t {1} << 31) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace pelliport::fuzz
