// The native-messaging frame on standard input and the error reply on
// standard output.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "log/ULogWriter.h"
#include "platform/platform.h"

namespace pelliport {

// The payload length of a frame header: four bytes, little-endian, taken as
// a signed 32-bit number.
std::int32_t FrameLength(const std::array<std::uint8_t, 4>& header);

// Reads up to n bytes into the buffer; returns how many arrived, 0 at the end.
using ReadFunction = std::function<std::size_t(std::span<std::uint8_t>)>;

// Appends the strict UTF-8 decoding of the bytes to the text; false when
// they are ill-formed (Platform::Utf8ToUnicode).
using DecodeFunction = std::function<bool(std::string_view bytes, std::u16string& text)>;

// An empty text with room for the text of a payload of `length` bytes; a
// length that memory cannot hold is a HostError.
std::u16string ReserveText(std::size_t length);

// Reads a payload of `length` bytes in reads of up to 1 MiB and decodes it
// strictly as UTF-8 while it arrives, up to the last complete character of
// each read, so that decoding keeps pace with the browser's writing rather
// than following it. Bytes that never arrive count as zero bytes, as in a
// zero-filled buffer. The text is appended to `text` (from ReserveText).
// nullopt when the payload is not well-formed UTF-8.
std::optional<std::u16string> ReadPayloadText(const ReadFunction& read, std::size_t length,
                                              const DecodeFunction& decode, std::u16string text);

// Reads one frame from standard input and returns the payload's text
// (nullopt when the payload is not well-formed UTF-8); logs the length. A
// negative length is a HostError. The payload's bytes are the text encoded
// as UTF-8 again.
std::optional<std::u16string> ReadRequest(Platform& platform, TLogFile& log);

// The JSON error reply for a message; the message is escaped as a JSON string.
std::u16string BuildErrorReply(std::u16string_view message);

// Standard output through a buffer of 128 bytes, as the reply has always been
// written: a full buffer goes out at once, the rest when the process ends;
// on a console every write goes out at once. A failed write that is not the
// last one throws HostError.
class ReplyWriter {
 public:
  explicit ReplyWriter(Platform& platform);
  void Write(std::u16string_view text);
  // Writes what is left; a failure here is not reported.
  void Finish();

 private:
  void Flush();

  Platform& platform_;
  OutputKind kind_;
  std::string buffer_;
};

}  // namespace pelliport
