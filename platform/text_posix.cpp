// Text and code pages on Linux and other POSIX systems: the locale's
// character set as the ANSI code page (UTF-8 as 65001, any other as
// Windows-1252), ICU for the upper-case mapping and the best fit.
#include <langinfo.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/unistr.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/system_seams.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// Windows-1252 bytes 0x80 to 0x9F. The five bytes that 1252 leaves undefined
// round-trip with the C1 control of the same number, as they do on Windows.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<unsigned char> Cp1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

// The closest Windows-1252 character for one that 1252 lacks, from Unicode's
// own data: a compatibility decomposition to a base letter (U+0100 "A",
// U+FF21 "A"), else ICU's Latin-to-ASCII transliteration (U+0141 "L").
// Letters of other scripts have no equivalent and become "?".
class BestFit1252 {
 public:
  unsigned char Map(char32_t c) {
    std::lock_guard lock(mutex_);
    UErrorCode status = U_ZERO_ERROR;
    if (nfkd_ == nullptr) {
      nfkd_ = icu::Normalizer2::getNFKDInstance(status);
      status = U_ZERO_ERROR;
      latin_.reset(icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
    }
    icu::UnicodeString source(static_cast<UChar32>(c));
    if (nfkd_ != nullptr) {
      status = U_ZERO_ERROR;
      const icu::UnicodeString decomposed = nfkd_->normalize(source, status);
      if (U_SUCCESS(status) && decomposed.length() > 0) {
        const UChar32 base = decomposed.char32At(0);
        if (static_cast<char32_t>(base) != c && !u_getCombiningClass(base)) {
          if (auto byte = Cp1252Byte(static_cast<char32_t>(base))) return *byte;
        }
      }
    }
    const UScriptCode script = uscript_getScript(static_cast<UChar32>(c), &status);
    if (latin_ != nullptr && U_SUCCESS(status) && (script == USCRIPT_LATIN || script == USCRIPT_COMMON)) {
      icu::UnicodeString text(source);
      latin_->transliterate(text);
      if (text.length() == 1 && text != source) {
        if (auto byte = Cp1252Byte(static_cast<char32_t>(text.char32At(0)))) return *byte;
      }
    }
    return '?';
  }

 private:
  std::mutex mutex_;
  const icu::Normalizer2* nfkd_ = nullptr;
  std::unique_ptr<icu::Transliterator> latin_;
};

class PosixText final : public Text {
 public:
  // Reads the character set of the locale that SystemPlatform set.
  PosixText() {
    const char* codeset = nl_langinfo(CODESET);
    utf8Locale_ = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 ||
                                         std::strcmp(codeset, "utf8") == 0);
  }

  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override {
    return DecodeUtf8StrictAppend(bytes, text);
  }

  unsigned AnsiCodePage() override { return utf8Locale_ ? 65001 : 1252; }
  unsigned ConsoleOutputCodePage() override { return AnsiCodePage(); }

  std::string FromUnicode(std::u16string_view text, unsigned codePage) override {
    if (codePage == 65001) return EncodeUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, units = 1; i < text.size(); i += units) {
      const char32_t c = CodePointAt(text, i, units);
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        continue;
      }
      if (auto byte = Cp1252Byte(c)) {
        out.push_back(static_cast<char>(*byte));
      } else {
        out.push_back(static_cast<char>(bestFit_.Map(c)));
      }
    }
    return out;
  }

  std::u16string ToUpper(std::u16string_view text) override {
    std::u16string out(text);
    for (std::size_t i = 0, units = 1; i < out.size(); i += units) {
      const char32_t c = CodePointAt(out, i, units);
      if (c < 0x80) {
        if (c >= u'a' && c <= u'z') out[i] = static_cast<char16_t>(c - 32);
        continue;
      }
      // A code point keeps its number of code units: one whose upper case
      // takes another number stays as it is.
      const auto up = static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
      if ((up >= 0x10000) == (units == 2)) PutCodePoint(out.data() + i, up);
    }
    return out;
  }
 private:
  bool utf8Locale_ = false;
  BestFit1252 bestFit_;
};

}  // namespace

Text& SystemText() {
  static PosixText text;
  return text;
}

}  // namespace pelliport
