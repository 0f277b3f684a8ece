#include "import/JsonTokenizer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "platform/utf16_scan.h"

namespace pelliport {
namespace {

constexpr std::size_t kMaxTextLength = 0x7FFFFFFF;  // positions are kept in 32 bits

bool IsWhitespace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// What the escape whose backslash is at p[at] stands for; `next` is set to
// the position after it. Each "\\u" escape is one UTF-16 code unit: a
// surrogate pair written as two escapes joins up by itself, and a lone
// surrogate stays as it is.
char16_t EscapedUnit(const char16_t* p, std::size_t at, std::size_t& next) {
  const char16_t e = p[at + 1];
  next = at + 2;
  switch (e) {
    case u'b': return u'\b';
    case u'f': return u'\f';
    case u'n': return u'\n';
    case u'r': return u'\r';
    case u't': return u'\t';
    case u'u': {
      int value = 0;
      for (std::size_t k = 0; k < 4; ++k) value = value * 16 + HexValue(p[next + k]);
      next += 4;
      return static_cast<char16_t>(value);
    }
    default: return e;  // '"', '\\', '/'
  }
}

// The first position from `i` on that holds a quotation mark, a backslash or
// a control character; `end` when there is none.
std::size_t FindStringStop(const char16_t* p, std::size_t i, std::size_t end) {
  return scan::FindFirst(
      p, i, end,
      [](scan::Lanes v) {
        return static_cast<scan::Lanes>((v == scan::Splat(u'"')) | (v == scan::Splat(u'\\')) |
                                        (v < scan::Splat(0x20)));
      },
      [](char16_t c) { return c == u'"' || c == u'\\' || c < 0x20; });
}

// A decimal integer with an optional sign that fits 32 bits, nothing else.
std::optional<std::int32_t> ParseInt32(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > 0x80000000LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// The value of a number that the reader has checked against the JSON
// grammar but that does not fit a double: infinity or zero with its sign.
double OutOfRange(std::string_view number) {
  const bool negative = !number.empty() && number.front() == '-';
  if (negative) number.remove_prefix(1);
  const std::size_t exponentAt = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(0, exponentAt);
  // Decimal magnitude: digits before the point, or minus the zeros after it.
  std::int64_t magnitude = 0;
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const std::size_t firstNonZero = whole.find_first_not_of('0');
  if (firstNonZero != std::string_view::npos) {
    magnitude = static_cast<std::int64_t>(whole.size() - firstNonZero);
  } else if (point != std::string_view::npos) {
    const std::string_view fraction = mantissa.substr(point + 1);
    const std::size_t nonZero = fraction.find_first_not_of('0');
    magnitude = nonZero == std::string_view::npos ? -1000000 : -static_cast<std::int64_t>(nonZero);
  }
  if (exponentAt != std::string_view::npos) {
    std::string_view exponent = number.substr(exponentAt + 1);
    bool exponentNegative = false;
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) {
      exponentNegative = exponent.front() == '-';
      exponent.remove_prefix(1);
    }
    std::int64_t e = 0;
    for (const char c : exponent) e = std::min<std::int64_t>(e * 10 + (c - '0'), 1000000000);
    magnitude += exponentNegative ? -e : e;
  }
  const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -value : value;
}

}  // namespace

JsonTokenizer::JsonTokenizer(std::u16string_view text) : text_(text) {
  if (text_.size() > kMaxTextLength) Fail("text too long", 0);
}

JsonToken JsonTokenizer::Fail(const char* message, std::size_t offset) {
  state_ = State::Failed;
  failureMessage_ = message;
  failureOffset_ = offset;
  return {JsonTokenKind::Failure};
}

JsonToken JsonTokenizer::Next() {
  if (pending_ != Pending::None) {
    Push(pending_);
    pending_ = Pending::None;
  }
  if (state_ == State::Failed) return {JsonTokenKind::Failure};
  const std::size_t size = text_.size();
  for (;;) {
    while (pos_ < size && IsWhitespace(text_[pos_])) ++pos_;
    // Running out of text between tokens is no failure, whatever is open.
    if (pos_ == size) return {JsonTokenKind::End};
    const char16_t c = text_[pos_];
    if (c == u'/') return ReadComment();
    switch (state_) {
      case State::Value:
        return ReadValue(c);
      case State::ValueOrArrayEnd:
        if (c == u']') return Close(false);
        return ReadValue(c);
      case State::NameOrObjectEnd:
        if (c == u'}') return Close(true);
        [[fallthrough]];
      case State::Name:
        if (c == u'"') return ReadString(JsonTokenKind::PropertyName);
        return Fail("property name expected", pos_);
      case State::Colon:
        if (c != u':') return Fail("\":\" expected", pos_);
        ++pos_;
        state_ = State::Value;
        continue;
      case State::CommaOrEnd: {
        const bool inObject = (levels_.back().info & kObjectBit) != 0;
        if (c == u',') {
          ++pos_;
          state_ = inObject ? State::Name : State::Value;
          continue;
        }
        if (c == (inObject ? u'}' : u']')) return Close(inObject);
        return Fail(inObject ? "\",\" or \"}\" expected" : "\",\" or \"]\" expected", pos_);
      }
      case State::Done:
        return Fail("text after the end of the JSON value", pos_);
      case State::Failed:
        break;
    }
    return {JsonTokenKind::Failure};
  }
}

JsonToken JsonTokenizer::ReadValue(char16_t c) {
  if (!levels_.empty() && (levels_.back().info & kObjectBit) == 0) CountElement();
  switch (c) {
    case u'{':
      ++pos_;
      pending_ = Pending::Object;
      state_ = State::NameOrObjectEnd;
      return {JsonTokenKind::StartObject};
    case u'[':
      ++pos_;
      pending_ = Pending::Array;
      state_ = State::ValueOrArrayEnd;
      return {JsonTokenKind::StartArray};
    case u'"':
      return ReadString(JsonTokenKind::String);
    case u't': {
      JsonToken token{JsonTokenKind::Boolean};
      token.boolean = true;
      return ReadLiteral(u"true", token);
    }
    case u'f':
      return ReadLiteral(u"false", {JsonTokenKind::Boolean});
    case u'n':
      return ReadLiteral(u"null", {JsonTokenKind::Null});
    default:
      if (c == u'-' || IsDigit(c)) return ReadNumber();
      return Fail("unexpected character", pos_);
  }
}

JsonToken JsonTokenizer::AfterValue(JsonToken token) {
  state_ = levels_.empty() ? State::Done : State::CommaOrEnd;
  return token;
}

JsonToken JsonTokenizer::Close(bool isObject) {
  ++pos_;
  Pop();
  state_ = levels_.empty() ? State::Done : State::CommaOrEnd;
  return {isObject ? JsonTokenKind::EndObject : JsonTokenKind::EndArray};
}

JsonToken JsonTokenizer::ReadString(JsonTokenKind kind) {
  const char16_t* p = text_.data();
  const std::size_t size = text_.size();
  std::size_t i = pos_ + 1;
  std::size_t saved = 0;  // code units that escapes take beyond what they stand for
  for (;;) {
    i = FindStringStop(p, i, size);
    if (i == size) return Fail("text ends inside a string", size);
    const char16_t c = p[i];
    if (c == u'"') break;
    if (c != u'\\') return Fail("control character in a string", i);
    if (i + 1 == size) return Fail("text ends inside a string", size);
    switch (p[i + 1]) {
      case u'"': case u'\\': case u'/': case u'b': case u'f': case u'n': case u'r': case u't':
        saved += 1;
        i += 2;
        break;
      case u'u':
        for (std::size_t k = i + 2; k < i + 6; ++k) {
          if (k == size) return Fail("text ends inside a string", size);
          if (HexValue(p[k]) < 0) return Fail("bad escape sequence", i);
        }
        saved += 5;
        i += 6;
        break;
      default:
        return Fail("bad escape sequence", i);
    }
  }
  tokenOffset_ = pos_ + 1;
  tokenLength_ = i - tokenOffset_;
  tokenDecodedLength_ = tokenLength_ - saved;
  pos_ = i + 1;
  if (kind == JsonTokenKind::PropertyName) {
    SetName(tokenOffset_, tokenLength_);
    state_ = State::Colon;
    return {kind};
  }
  return AfterValue({kind});
}

JsonToken JsonTokenizer::ReadNumber() {
  const char16_t* p = text_.data();
  const std::size_t size = text_.size();
  const std::size_t start = pos_;
  std::size_t i = pos_;
  const auto digitsFrom = [&](std::size_t at) -> JsonToken {
    if (at == size) return Fail("text ends inside a number", size);
    return Fail("malformed number", at);
  };
  const bool negative = p[i] == u'-';
  if (negative) ++i;
  if (i == size || !IsDigit(p[i])) return digitsFrom(i);
  if (p[i] == u'0') {
    ++i;
  } else {
    while (i < size && IsDigit(p[i])) ++i;
  }
  bool isFloat = false;
  if (i < size && p[i] == u'.') {
    isFloat = true;
    ++i;
    if (i == size || !IsDigit(p[i])) return digitsFrom(i);
    while (i < size && IsDigit(p[i])) ++i;
  }
  if (i < size && (p[i] == u'e' || p[i] == u'E')) {
    isFloat = true;
    ++i;
    if (i < size && (p[i] == u'+' || p[i] == u'-')) ++i;
    if (i == size || !IsDigit(p[i])) return digitsFrom(i);
    while (i < size && IsDigit(p[i])) ++i;
  }
  pos_ = i;

  if (!isFloat) {
    constexpr std::uint64_t kLimit = 0x8000000000000000ULL;  // magnitude of the lowest int64
    std::uint64_t magnitude = 0;
    bool fits = true;
    for (std::size_t k = start + (negative ? 1 : 0); k < i && fits; ++k) {
      const auto digit = static_cast<std::uint64_t>(p[k] - u'0');
      if (magnitude > (kLimit - digit) / 10) fits = false;
      magnitude = magnitude * 10 + digit;
    }
    if (fits && (negative || magnitude < kLimit)) {
      JsonToken token{JsonTokenKind::Integer};
      token.integer = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
      return AfterValue(token);
    }
  }
  // The grammar is checked; the characters are ASCII.
  std::string ascii(i - start, '\0');
  for (std::size_t k = start; k < i; ++k) ascii[k - start] = static_cast<char>(p[k]);
  JsonToken token{JsonTokenKind::Float};
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), token.number);
  if (error == std::errc::result_out_of_range) token.number = OutOfRange(ascii);
  static_cast<void>(end);
  return AfterValue(token);
}

JsonToken JsonTokenizer::ReadLiteral(std::u16string_view word, JsonToken token) {
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (pos_ + k == text_.size()) return Fail("text ends inside a literal", text_.size());
    if (text_[pos_ + k] != word[k]) return Fail("unexpected character", pos_ + k);
  }
  pos_ += word.size();
  return AfterValue(token);
}

JsonToken JsonTokenizer::ReadComment() {
  const std::size_t size = text_.size();
  if (pos_ + 1 == size) return Fail("text ends inside a comment", size);
  const char16_t second = text_[pos_ + 1];
  if (second == u'/') {
    std::size_t end = pos_ + 2;
    while (end < size && text_[end] != u'\n' && text_[end] != u'\r') ++end;
    tokenOffset_ = pos_ + 2;
    tokenLength_ = end - tokenOffset_;
    pos_ = end;
  } else if (second == u'*') {
    const std::size_t end = text_.find(u"*/", pos_ + 2);
    if (end == std::u16string_view::npos) return Fail("text ends inside a comment", size);
    tokenOffset_ = pos_ + 2;
    tokenLength_ = end - tokenOffset_;
    pos_ = end + 2;
  } else {
    return Fail("unexpected character", pos_);
  }
  tokenDecodedLength_ = tokenLength_;
  return {JsonTokenKind::Comment};
}

std::u16string JsonTokenizer::DecodedText() const {
  return DecodeString(text_, TokenSpan());
}

std::u16string DecodeString(std::u16string_view text, const JsonTokenizer::Span& span) {
  const char16_t* p = text.data();
  const auto [offset, length, decodedLength] = span;
  if (decodedLength == length) return std::u16string(p + offset, length);
  // Written once into reserved room, never zero-filled first: a page's text
  // runs to megabytes, and a fresh process pays for every page it touches.
  // Short runs and escapes gather in a small buffer, appended a block at a
  // time; a run longer than the buffer goes straight into the string.
  std::u16string out;
  out.reserve(decodedLength);
  constexpr std::size_t kChunk = 4096;
  char16_t chunk[kChunk];
  std::size_t used = 0;
  const auto put = [&](const char16_t* from, std::size_t count) {
    if (count > kChunk - used) {
      out.append(chunk, used);
      used = 0;
      if (count >= kChunk) {
        out.append(from, count);
        return;
      }
    }
    std::char_traits<char16_t>::copy(chunk + used, from, count);
    used += count;
  };
  const std::size_t end = offset + length;
  std::size_t i = offset;
  while (i < end) {
    const std::size_t stop = scan::Find(p, i, end, u'\\');
    put(p + i, stop - i);
    if (stop == end) break;
    const char16_t unit = EscapedUnit(p, stop, i);
    put(&unit, 1);
  }
  out.append(chunk, used);
  return out;
}

// --- The container stack

void JsonTokenizer::Push(Pending kind) {
  const std::size_t entry = levels_.size();
  if (kind == Pending::Object) {
    // No property yet: an empty name, which adds nothing to the path.
    levels_.push_back({0, kObjectBit});
    if (leadingEmpty_ == entry) leadingEmpty_ = entry + 1;
    return;
  }
  levels_.push_back({kNoElement, 1});
  if (firstBracket_ == kNone) firstBracket_ = entry;
}

void JsonTokenizer::Pop() {
  Level& top = levels_.back();
  if ((top.info & kObjectBit) == 0 && top.info > 1) {
    --top.info;  // the innermost array of a run closes
    return;
  }
  levels_.pop_back();
  LevelsRemoved();
}

void JsonTokenizer::CountElement() {
  Level& top = levels_.back();
  const std::uint32_t index = top.data + 1;  // kNoElement + 1 wraps to 0
  if (top.info > 1) {
    // The innermost array of a run moves on alone (the run holds a "[" already).
    --top.info;
    levels_.push_back({index, 1});
    return;
  }
  top.data = index;
  if (levels_.size() >= 2) {
    Level& below = levels_[levels_.size() - 2];
    if ((below.info & kObjectBit) == 0 && below.data == index) {
      ++below.info;
      levels_.pop_back();
      LevelsRemoved();
    }
  }
}

void JsonTokenizer::LevelsRemoved() {
  leadingEmpty_ = std::min(leadingEmpty_, levels_.size());
  if (firstBracket_ != kNone && firstBracket_ >= levels_.size()) firstBracket_ = kNone;
}

void JsonTokenizer::SetName(std::size_t offset, std::size_t length) {
  const std::size_t entry = levels_.size() - 1;
  levels_.back() = {static_cast<std::uint32_t>(offset), kObjectBit | static_cast<std::uint32_t>(length)};
  // Levels below the top are unchanged, so neither marker can lie above it.
  if (length == 0) {
    if (leadingEmpty_ == entry) leadingEmpty_ = entry + 1;
  } else if (leadingEmpty_ > entry) {
    leadingEmpty_ = entry;
  }
  const bool bracket = tokenDecodedLength_ == length
                           ? text_.substr(offset, length).find(u'[') != std::u16string_view::npos
                           : DecodedText().find(u'[') != std::u16string::npos;
  if (bracket && firstBracket_ == kNone) firstBracket_ = entry;
  if (!bracket && firstBracket_ == entry) firstBracket_ = kNone;
}

std::u16string JsonTokenizer::NameOf(const Level& level) const {
  const std::size_t length = level.info & ~kObjectBit;
  std::size_t decodedLength = length;
  for (std::size_t i = level.data; i < level.data + length; ++i) {
    if (text_[i] == u'\\') {
      decodedLength -= text_[i + 1] == u'u' ? 5 : 1;
      i += text_[i + 1] == u'u' ? 5 : 1;
    }
  }
  return DecodeString(text_, {level.data, length, decodedLength});
}

std::optional<std::int32_t> JsonTokenizer::PathSubscript() const {
  // The subscript's text ends at the first "]" after where it starts; any
  // level after the one where it starts adds "." or "[" first, so only
  // that level's contribution can hold an integer followed by "]".
  const auto beforeClose = [](std::u16string_view text) -> std::optional<std::int32_t> {
    const std::size_t close = text.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return ParseInt32(text.substr(0, close));
  };
  if (firstBracket_ != kNone) {
    const Level& level = levels_[firstBracket_];
    if ((level.info & kObjectBit) == 0) {
      if (level.data == kNoElement) return -1;
      if (level.data > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
      }
      return static_cast<std::int32_t>(level.data);
    }
    const std::u16string name = NameOf(level);
    return beforeClose(std::u16string_view(name).substr(name.find(u'[') + 1));
  }
  // No "[": the whole path counts, which starts with the first name that is
  // not empty (there are no arrays).
  if (leadingEmpty_ == levels_.size()) return std::nullopt;
  return beforeClose(NameOf(levels_[leadingEmpty_]));
}

std::u16string FormatJsonFloat(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  static_cast<void>(error);
  return std::u16string(buffer, end);
}

void DecodeStringToFront(std::u16string& text, const JsonTokenizer::Span& span) {
  char16_t* const data = text.data();
  std::size_t to = 0;
  std::size_t i = span.offset;
  const std::size_t end = span.offset + span.length;
  while (i < end) {
    const std::size_t stop = scan::Find(data, i, end, u'\\');
    std::char_traits<char16_t>::move(data + to, data + i, stop - i);
    to += stop - i;
    if (stop == end) break;
    // Read before written: `to` never passes the backslash.
    data[to++] = EscapedUnit(data, stop, i);
  }
  text.resize(to);
}

}  // namespace pelliport
