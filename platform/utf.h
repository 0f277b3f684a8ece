// UTF-8 and UTF-16 conversion over bytes and strings.
#pragma once

#include <optional>
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

}  // namespace pelliport
