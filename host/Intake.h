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

// Told after each read how many bytes of the buffer have arrived so far.
using ArrivalFunction = std::function<void(std::size_t arrived)>;

// Fills the whole buffer from the reader in large reads. What never arrives
// stays as it was (zero).
void ReadPayload(const ReadFunction& read, std::span<std::uint8_t> buffer, const ArrivalFunction& arrived = {});

// One request: the payload, zero-padded to the announced length, and its
// text when the payload is well-formed UTF-8 (decoded strictly, as
// Platform::Utf8ToUnicode does).
struct Request {
  std::string payload;
  std::optional<std::u16string> text;
};

// Reads one frame from standard input; logs the length once it has been
// accepted. A negative length or one that memory cannot hold is a HostError.
Request ReadRequest(Platform& platform, TLogFile& log);

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
