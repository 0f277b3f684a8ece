#include "import/testing/JsonPath.h"

#include <limits>

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

}  // namespace pelliport::testing
