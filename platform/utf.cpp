#include "platform/utf.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/utf16_scan.h"

namespace pelliport {
namespace {

// Length of the well-formed sequence at bytes[i], or 0 when it is ill-formed.
// Bounds follow the table of well-formed byte sequences of Unicode 3.9.
std::size_t SequenceLength(const unsigned char* p, std::size_t left, char32_t& cp) {
  const unsigned char b0 = p[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < left && p[k] >= lo && p[k] <= hi;
  };
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (left < 2 || (p[1] & 0xC0) != 0x80) return 0;
    cp = (char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
    if (!cont(1, lo, hi) || !cont(2)) return 0;
    cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (!cont(1, lo, hi) || !cont(2) || !cont(3)) return 0;
    cp = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
         (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    return 4;
  }
  return 0;
}

// Number of leading ASCII bytes, eight at a time.
std::size_t AsciiRun(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  while (i + 8 <= n) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) break;
    i += 8;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

// Decodes into a small buffer and appends from there: the result is written
// once and never zero-filled first, which for a request of megabytes would
// touch every fresh page twice.
template <bool Strict>
bool Decode(std::string_view bytes, std::u16string& result) {
  constexpr std::size_t kChunk = 8192;
  char16_t chunk[kChunk];
  std::size_t used = 0;
  const auto flush = [&] {
    result.append(chunk, used);
    used = 0;
  };
  const std::uint8_t* p = AsBytes(bytes).data();
  const std::size_t n = bytes.size();
  result.reserve(result.size() + n);  // at most one unit per byte
  std::size_t i = 0;
  while (i < n) {
    if (kChunk - used < 2) flush();  // room for a surrogate pair
    const std::size_t room = kChunk - used;
    const std::size_t run = AsciiRun(p + i, std::min(n - i, room));
    for (std::size_t k = 0; k < run; ++k) chunk[used + k] = static_cast<char16_t>(p[i + k]);
    used += run;
    i += run;
    if (i == n || run == room) continue;
    if (kChunk - used < 2) flush();
    char32_t cp = 0;
    const std::size_t len = SequenceLength(p + i, n - i, cp);
    if (len == 0) {
      if (Strict) {
        flush();
        return false;
      }
      chunk[used++] = u'\uFFFD';
      // Skip the lead byte and any continuation bytes that belong to it.
      ++i;
      while (i < n && (p[i] & 0xC0) == 0x80) ++i;
      continue;
    }
    used = static_cast<std::size_t>(PutCodePoint(chunk + used, cp) - chunk);
    i += len;
  }
  flush();
  return true;
}

}  // namespace

std::optional<std::u16string> DecodeUtf8Strict(std::string_view bytes) {
  std::u16string out;
  if (!Decode<true>(bytes, out)) return std::nullopt;
  return out;
}

bool DecodeUtf8StrictAppend(std::string_view bytes, std::u16string& text) { return Decode<true>(bytes, text); }

std::size_t Utf8CompleteEnd(std::string_view bytes) {
  const std::size_t n = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[n - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? n - back : n;
  }
  // Three continuation bytes end a four-byte sequence, or are ill-formed
  // whatever follows.
  return n;
}

std::u16string DecodeUtf8Lenient(std::string_view bytes) {
  std::u16string out;
  Decode<false>(bytes, out);
  return out;
}

std::size_t PieceEnd(std::u16string_view text, std::size_t begin, std::size_t maxUnits) {
  if (text.size() - begin <= maxUnits) return text.size();
  const std::size_t end = begin + maxUnits;
  const bool splitsPair = IsHighSurrogate(text[end - 1]) && IsLowSurrogate(text[end]);
  return splitsPair ? end - 1 : end;
}

namespace {

// Encodes text[0, n) into `out`, which has room for three bytes per code
// unit; returns the end of what was written. ASCII goes eight code units at
// a time, as one vector.
char* EncodeBlock(const char16_t* text, std::size_t n, char* out) {
  using Bytes = std::uint8_t __attribute__((vector_size(8)));
  std::size_t i = 0;
  while (i < n) {
    if (n - i >= scan::kLanes) {
      // All eight lanes are stored; the room for three bytes per code unit
      // takes them, and only the ASCII lanes before the first other one
      // count.
      const scan::Lanes units = scan::Load(text + i);
      const std::size_t ascii = scan::FirstFlagged(static_cast<scan::Lanes>(units > 0x7F));
      const Bytes bytes = __builtin_convertvector(units, Bytes);
      std::memcpy(out, &bytes, sizeof bytes);
      out += ascii;
      i += ascii;
      if (ascii == scan::kLanes) continue;
    }
    std::size_t length = 1;
    char32_t cp = CodePointAt({text, n}, i, length);
    i += length;
    if (cp < 0x80) {
      *out++ = static_cast<char>(cp);
      continue;
    }
    if (cp < 0x800) {
      *out++ = static_cast<char>(0xC0 | (cp >> 6));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
      continue;
    }
    if (length == 2) {
      *out++ = static_cast<char>(0xF0 | (cp >> 18));
      *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
      continue;
    }
    if (IsSurrogate(cp)) cp = 0xFFFD;  // a lone surrogate
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace

std::string EncodeUtf8(std::u16string_view text) {
  // One pass, a block at a time through a buffer on the stack. The result
  // starts with room for one byte per code unit, which is all that ASCII
  // text needs, and grows only for the rest.
  constexpr std::size_t kBlockUnits = 4096;
  char block[kBlockUnits * 3];
  std::string out;
  out.reserve(text.size());
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = PieceEnd(text, start, kBlockUnits);
    const char* const blockEnd = EncodeBlock(text.data() + start, end - start, block);
    out.append(block, static_cast<std::size_t>(blockEnd - block));
    start = end;
  }
  return out;
}

}  // namespace pelliport
