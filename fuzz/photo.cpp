// The photo: base64 decoding with the JPEG check. Bytes encoded by the
// standard encoder must decode to themselves.
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "import/Base64Decode.h"
#include "import/JpegHeader.h"
#include "websocket/Base64.h"

namespace pelliport::fuzz {

void FuzzPhoto(Input input) {
  if (input.empty()) return;
  // Byte 0 odd: the rest is the picture itself, sent as the add-in encodes
  // it; even: the rest is the base64 text as it arrives.
  if ((input[0] & 1) != 0) {
    const Input picture = input.subspan(1);
    const std::string encoded = websocket::Base64Encode(picture);
    const std::vector<std::uint8_t> decoded = DecodeBase64(std::u16string(encoded.begin(), encoded.end()));
    Expect(std::vector<std::uint8_t>(picture.begin(), picture.end()) == decoded, "base64 round trip");
    const JpegHeaderCheck check = ReadJpegHeader(decoded);
    Expect(!check.ok || (check.width > 0 && check.height > 0), "JPEG header without a size");
    return;
  }
  const std::u16string text = InputText(input.subspan(1));
  const std::vector<std::uint8_t> decoded = DecodeBase64(text);
  Expect(decoded.size() <= text.size() / 4 * 3, "base64 gives more bytes than its groups hold");
  static_cast<void>(ReadJpegHeader(decoded));
}

}  // namespace pelliport::fuzz
