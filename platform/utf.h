// UTF-8 and UTF-16 conversion over bytes and strings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelliport {

// Strict decoding: nullopt for ill-formed input (an overlong form, an
// encoded surrogate, anything above U+10FFFF, a sequence cut short).
std::optional<std::u16string> DecodeUtf8Strict(std::string_view bytes);

// Decoding that replaces every ill-formed sequence by U+FFFD.
std::u16string DecodeUtf8Lenient(std::string_view bytes);

// Strict decoding appended to a given string, whose capacity is used when it
// suffices; false (and the string in no particular state) when ill-formed.
bool DecodeUtf8StrictAppend(std::string_view bytes, std::u16string& text);

// Where the bytes' last complete character ends: before a sequence at the
// end that its next bytes may still complete. Bytes that arrive in pieces
// decode piece by piece to the text (and the verdict) of the whole when each
// piece ends there.
std::size_t Utf8CompleteEnd(std::string_view bytes);

// Encoding; a lone surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Where a piece of at most `maxUnits` code units that starts at `begin`
// ends: never between the two halves of a surrogate pair, so that pieces
// convert to exactly the bytes of the whole. `maxUnits` must be at least 2.
std::size_t PieceEnd(std::u16string_view text, std::size_t begin, std::size_t maxUnits);

// Shorthand for texts written in source as UTF-8.
inline std::u16string U16(std::string_view utf8) { return DecodeUtf8Lenient(utf8); }

// The decimal text of a number, as the log and the messages write it.
inline std::u16string Decimal(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Surrogate pairs: the two code units of a code point above U+FFFF.
constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The code point that starts at text[i], and in `units` whether it takes one
// code unit or two. A lone surrogate is a code point of its own here.
constexpr char32_t CodePointAt(std::u16string_view text, std::size_t i, std::size_t& units) {
  const char32_t unit = text[i];
  if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
    units = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  units = 1;
  return unit;
}

// Writes a code point as one or two code units; returns the position after
// them.
constexpr char16_t* PutCodePoint(char16_t* out, char32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  }
  return out;
}

// The bytes of a text, for the byte-level interfaces (files, sockets, the
// JPEG reader).
inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
inline std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace pelliport
