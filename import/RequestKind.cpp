#include "import/RequestKind.h"

#include <array>
#include <string>
#include <utility>

namespace pelliport {
namespace {

// Markers in the order in which they decide the kind.
constexpr std::array<std::pair<std::u16string_view, RequestKind>, 4> kMarkers = {{
    {u"HTML", RequestKind::PageCapture},
    {u"DOMAIN", RequestKind::Domain},
    {u"DO_VORANDTIMPORT", RequestKind::Identification},
    {u"ORVANTABROWSERADDINERRORTITLE", RequestKind::AddInError},
}};

}  // namespace

// The text is upper-cased a piece at a time, the pieces overlapping by more
// than the longest marker, so that a large request is not copied whole.
RequestKind FindRequestKind(Platform& platform, std::u16string_view text) {
  constexpr std::size_t kPiece = 1 << 16;
  constexpr std::size_t kOverlap = 32;
  std::array<bool, kMarkers.size()> found {};
  for (std::size_t start = 0; start < text.size(); start += kPiece) {
    const std::size_t from = start >= kOverlap ? start - kOverlap : 0;
    const std::u16string upper = platform.text.ToUpper(text.substr(from, start + kPiece - from));
    for (std::size_t m = 0; m < kMarkers.size(); ++m) {
      if (!found[m] && upper.find(kMarkers[m].first) != std::u16string::npos) found[m] = true;
    }
    if (found[0]) break;  // the first marker decides at once
  }
  for (std::size_t m = 0; m < kMarkers.size(); ++m) {
    if (found[m]) return kMarkers[m].second;
  }
  return RequestKind::None;
}

}  // namespace pelliport
