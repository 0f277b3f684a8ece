// Text and code pages: the system's conversions between its UTF-16 texts
// and bytes, and its upper-case mapping.
#pragma once

#include <string>
#include <string_view>

namespace pelliport {

class Text {
 public:
  virtual ~Text() = default;
  // Strict UTF-8 decoding (MultiByteToWideChar with MB_ERR_INVALID_CHARS),
  // appended to `text`: false when the bytes are not well-formed UTF-8
  // anywhere, and `text` then holds part of them.
  virtual bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) = 0;
  virtual unsigned AnsiCodePage() = 0;           // GetACP
  virtual unsigned ConsoleOutputCodePage() = 0;  // GetConsoleOutputCP
  // WideCharToMultiByte without flags: a character the code page lacks
  // becomes its best-fit equivalent, or "?". A conversion that the system
  // refuses (a code page it does not have) throws HostError "EEncodingError"
  // with the system's reason.
  virtual std::string FromUnicode(std::u16string_view text, unsigned codePage) = 0;
  // Upper case, code unit for code unit (CharUpperBuffW); the length stays.
  virtual std::u16string ToUpper(std::u16string_view text) = 0;
};

}  // namespace pelliport
