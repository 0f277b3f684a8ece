#include "import/RequestKind.h"

#include <gtest/gtest.h>

#include "platform/utf.h"

namespace pelliport {
namespace {

TEST(RequestKind, FirstMarkerInOrderDecidesIgnoringCase) {
  struct Case {
    const char* text;
    RequestKind kind;
  };
  const Case cases[] = {
      {R"({"html":"<p>","profilUrl":"x"})", RequestKind::PageCapture},
      {R"({"HTML":"x"})", RequestKind::PageCapture},
      {R"({"domain":"example.com"})", RequestKind::Domain},
      {R"({"Domain":"x"})", RequestKind::Domain},
      {R"({"domain":"shtml.example","protocol":"x"})", RequestKind::PageCapture},  // html in a value
      {R"({"command":"DO_VORANDTIMPORT","URL":"https://a/domain"})", RequestKind::Domain},
      {R"({"command":"do_vorandtimport","URL":"https://a/b"})", RequestKind::Identification},
      {R"({"OrvantaBrowserAddInErrorTitle":"T"})", RequestKind::AddInError},
      {R"({"a":1})", RequestKind::None},
      {"", RequestKind::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindRequestKind(SystemPlatform(), U16(c.text)), c.kind) << c.text;
  }
}

TEST(RequestKind, MarkersAreFoundAcrossPieceBoundariesOfLargeTexts) {
  for (const std::size_t at : {std::size_t{65536 - 3}, std::size_t{65536 * 3 - 10}, std::size_t{200000}}) {
    std::u16string text(300000, u'x');
    text.replace(at, 6, u"domain");
    EXPECT_EQ(FindRequestKind(SystemPlatform(), text), RequestKind::Domain) << at;
  }
  std::u16string late(300000, u'x');
  late.replace(299990, 4, u"HtMl");
  late.replace(10, 6, u"domain");
  EXPECT_EQ(FindRequestKind(SystemPlatform(), late), RequestKind::PageCapture);
}

}  // namespace
}  // namespace pelliport
