// Base64 decoding of the profile photo as the page capture receives it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace pelliport {

// Decodes base64 text into bytes. Never fails; the rules are lenient on
// purpose, and the desktop application receives exactly what they give:
// - a character above U+00FF counts as "?";
// - every character outside the alphabet A-Z a-z 0-9 + / (a blank, a line
//   break, "-", "_", "=" inside the text, ...) is neither skipped nor
//   rejected but counts as the value 63 in its place;
// - only complete groups of four characters are decoded; a remainder of one
//   to three characters at the end is dropped;
// - the fill is looked at in the last complete group only: a final "="
//   drops the last byte, "==" the last two.
std::vector<std::uint8_t> DecodeBase64(std::u16string_view text);

}  // namespace pelliport
