// Text and code pages on Windows.
#include <algorithm>
#include <string>

#include "platform/error.h"
#include "platform/system_seams.h"
#include "platform/system_win32.h"
#include "platform/utf.h"
#include "platform/utf16_scan.h"

namespace pelliport {
namespace {

using win32::FromWide;
using win32::SystemErrorText;
using win32::Wide;

// The conversion calls take int lengths: longer texts go in pieces that
// never split a character.
constexpr std::size_t kPiece = 1u << 26;

std::size_t Utf8PieceEnd(std::string_view bytes, std::size_t start) {
  if (bytes.size() - start <= kPiece) return bytes.size();
  return start + Utf8CompleteEnd(bytes.substr(start, kPiece));
}

class Win32Text final : public Text {
 public:
  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override {
    for (std::size_t start = 0; start < bytes.size();) {
      const std::size_t end = Utf8PieceEnd(bytes, start);
      const int length = static_cast<int>(end - start);
      // Never more units than bytes: decoded straight into the text's end.
      const std::size_t base = text.size();
      text.resize(base + static_cast<std::size_t>(length));
      const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length,
                                              reinterpret_cast<wchar_t*>(text.data() + base), length);
      if (units == 0) return false;
      text.resize(base + static_cast<std::size_t>(units));
      start = end;
    }
    return true;
  }

  unsigned AnsiCodePage() override { return ::GetACP(); }
  unsigned ConsoleOutputCodePage() override { return ::GetConsoleOutputCP(); }

  std::string FromUnicode(std::u16string_view text, unsigned codePage) override {
    std::string bytes;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = PieceEnd(text, start, kPiece);
      const std::wstring piece = Wide(text.substr(start, end - start));
      const int length = static_cast<int>(piece.size());
      const int size =
          ::WideCharToMultiByte(codePage, 0, piece.data(), length, nullptr, 0, nullptr, nullptr);
      const std::size_t at = bytes.size();
      if (size > 0) bytes.resize(at + static_cast<std::size_t>(size));
      if (size <= 0 || ::WideCharToMultiByte(codePage, 0, piece.data(), length, bytes.data() + at, size,
                                             nullptr, nullptr) != size) {
        // Text that silently went missing would be a file or log line cut
        // short without anyone knowing.
        const DWORD error = ::GetLastError();
        throw HostError(u"EEncodingError", u"Text kann nicht in die Codepage " + Decimal(codePage) +
                                               u" umgewandelt werden. " + SystemErrorText(error));
      }
      start = end;
    }
    return bytes;
  }

  std::u16string ToUpper(std::u16string_view text) override {
    std::wstring upper = Wide(text);
    for (std::size_t start = 0; start < upper.size(); start += kPiece) {
      const std::size_t length = std::min(kPiece, upper.size() - start);
      ::CharUpperBuffW(upper.data() + start, static_cast<DWORD>(length));
    }
    return FromWide(upper);
  }
};

}  // namespace

Text& SystemText() {
  static Win32Text text;
  return text;
}

}  // namespace pelliport
