// Request-kind recognition, piece by piece, against upper-casing the whole
// text and searching it.
#include <array>

#include "fuzz/FuzzTargets.h"
#include "import/RequestKind.h"

namespace pelliport::fuzz {

void FuzzRequestKind(Input input) {
  if (input.empty()) return;
  // Byte 0 odd: the rest comes after a filler that ends near the end of the
  // first piece that the search upper-cases (64 Ki code units), so that
  // markers and letters whose capitals are longer straddle its end.
  std::u16string text;
  if ((input[0] & 1) != 0) text.assign(std::size_t {65536 - 40} + (input[0] >> 1) % 64, u'x');
  text += InputText(input.subspan(1));
  Platform& platform = SystemPlatform();
  const RequestKind kind = FindRequestKind(platform, text);
  const std::u16string upper = platform.text.ToUpper(text);
  const std::array<std::pair<std::u16string_view, RequestKind>, 4> markers = {{
      {u"HTML", RequestKind::PageCapture},
      {u"DOMAIN", RequestKind::Domain},
      {u"DO_VORANDTIMPORT", RequestKind::Identification},
      {u"ORVANTABROWSERADDINERRORTITLE", RequestKind::AddInError},
  }};
  RequestKind expected = RequestKind::None;
  for (const auto& [marker, markerKind] : markers) {
    if (upper.find(marker) != std::u16string::npos) {
      expected = markerKind;
      break;
    }
  }
  Expect(kind == expected, "request kind differs from searching the whole upper-cased text");
}

}  // namespace pelliport::fuzz
