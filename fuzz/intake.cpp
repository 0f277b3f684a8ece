// The frame intake: the payload read in pieces of every size and decoded
// strictly as UTF-8 while it arrives must give what decoding it whole gives.
#include <algorithm>
#include <cstring>

#include "fuzz/FuzzTargets.h"
#include "host/Intake.h"
#include "platform/platform.h"

namespace pelliport::fuzz {

void FuzzIntake(Input input) {
  if (input.size() < 3) return;
  // Byte 0 steers the piece sizes, byte 1 how many bytes never arrive (they
  // count as zero bytes), byte 2 the largest piece.
  Pieces pieces(input[0], 1 + input[2] % 64);
  const std::size_t missing = input[1] % 4;
  const std::string_view payload = InputBytes(input.subspan(3));
  const std::size_t length = payload.size() + missing;

  Platform& platform = SystemPlatform();
  std::size_t at = 0;
  const ReadFunction read = [&](std::span<std::uint8_t> into) -> std::size_t {
    if (at == payload.size()) return 0;
    const std::size_t n = std::min(into.size(), pieces.Next(payload.size() - at));
    std::memcpy(into.data(), payload.data() + at, n);
    at += n;
    return n;
  };
  const DecodeFunction decode = [&](std::string_view bytes, std::u16string& text) {
    return platform.text.Utf8ToUnicode(bytes, text);
  };
  const auto inPieces = ReadPayloadText(read, length, decode, ReserveText(length));

  std::string whole(payload);
  whole.append(missing, '\0');
  std::u16string expected;
  const bool valid = platform.text.Utf8ToUnicode(whole, expected);
  Expect(inPieces.has_value() == valid, "intake: pieces and whole disagree on validity");
  if (valid) Expect(*inPieces == expected, "intake: pieces and whole decode differently");
}

}  // namespace pelliport::fuzz
