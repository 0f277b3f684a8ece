// Request-kind recognition, piece by piece, against upper-casing the whole
// text and searching it.
#include <array>

#include "fuzz/FuzzTargets.h"
#include "import/RequestKind.h"

namespace pelliport::fuzz {

void FuzzRequestKind(Input input) {
  const std::u16string text = InputText(input);
  Platform& platform = SystemPlatform();
  const RequestKind kind = FindRequestKind(platform, text);
  const std::u16string upper = platform.ToUpper(text);
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
