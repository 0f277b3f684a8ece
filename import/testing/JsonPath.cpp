#include "import/testing/JsonPath.h"

#include <charconv>
#include <limits>
#include <string_view>

namespace pelliport::testing {

void JsonPathTracker::Follow(const JsonToken& token, const JsonTokenizer& tokenizer) {
  if (opened_) {
    levels_.push_back(std::move(*opened_));
    opened_.reset();
  }
  switch (token.kind) {
    case JsonTokenKind::PropertyName:
      if (!levels_.empty()) levels_.back().name = tokenizer.DecodedText();
      return;
    case JsonTokenKind::EndObject:
    case JsonTokenKind::EndArray:
      if (!levels_.empty()) levels_.pop_back();
      return;
    case JsonTokenKind::Comment:
    case JsonTokenKind::End:
    case JsonTokenKind::Failure:
      return;
    case JsonTokenKind::StartObject:
    case JsonTokenKind::StartArray:
    case JsonTokenKind::String:
    case JsonTokenKind::Integer:
    case JsonTokenKind::Float:
    case JsonTokenKind::Boolean:
    case JsonTokenKind::Null:
      // A value is the next element of the array around it.
      if (!levels_.empty() && !levels_.back().object) ++levels_.back().index;
      if (token.kind == JsonTokenKind::StartObject) opened_ = Level {true, {}, -1};
      if (token.kind == JsonTokenKind::StartArray) opened_ = Level {false, {}, -1};
      return;
  }
}

std::u16string JsonPathTracker::Path() const {
  std::u16string path;
  for (const Level& level : levels_) {
    if (level.object) {
      if (!path.empty()) path += u'.';
      path += level.name;
      continue;
    }
    const std::string index = std::to_string(level.index);
    path += u'[';
    path.append(index.begin(), index.end());
    path += u']';
  }
  return path;
}

std::optional<std::int32_t> SubscriptOfPath(std::u16string_view path) {
  const std::size_t open = path.find(u'[');
  std::u16string_view text = open == std::u16string_view::npos ? path : path.substr(open + 1);
  const std::size_t close = text.find(u']');
  if (close == std::u16string_view::npos) return std::nullopt;
  text = text.substr(0, close);
  // Read otherwise than the tokenizer reads it: narrowed to ASCII, the sign
  // taken off by hand, the digits by from_chars.
  std::string ascii;
  for (const char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  std::string_view digits = ascii;
  const bool negative = digits.starts_with('-');
  if (negative || digits.starts_with('+')) digits.remove_prefix(1);
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  std::int64_t magnitude = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace pelliport::testing
