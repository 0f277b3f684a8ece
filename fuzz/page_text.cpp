// The page capture's text work: the unescaping against the eight passes it
// stands for, the Experteer address, the site rule and the list entries, and
// the domain lines.
#include <utility>

#include "fuzz/FuzzTargets.h"
#include "import/PageText.h"
#include "import/UOrvantaImport.h"
#include "import/testing/UnescapePasses.h"

namespace pelliport::fuzz {
namespace {

bool HoldsLineBreak(std::u16string_view text) {
  return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// No list entry may hold a line break: it would make a second entry.
void ExpectOneLineEach(const std::vector<std::u16string>& entries, const char* what) {
  for (const auto& entry : entries) Expect(!HoldsLineBreak(entry), what);
}

// The input's text cut into up to `n` parts at NUL characters.
std::vector<std::u16string_view> Parts(std::u16string_view text, std::size_t n) {
  std::vector<std::u16string_view> parts;
  while (parts.size() + 1 < n) {
    const std::size_t nul = text.find(u'\0');
    if (nul == std::u16string_view::npos) break;
    parts.push_back(text.substr(0, nul));
    text.remove_prefix(nul + 1);
  }
  parts.push_back(text);
  parts.resize(n);
  return parts;
}

}  // namespace

void FuzzUnescape(Input input) {
  const std::u16string text = InputText(input);
  std::u16string scanned = text;
  UnescapeCapturedHtml(scanned);
  Expect(scanned == testing::UnescapeByPasses(text), "unescaping differs from the eight passes");
}

void FuzzExperteer(Input input) {
  // The page, then (after a NUL) an attribute name and the profile's values.
  const std::u16string text = InputText(input);
  const auto parts = Parts(text, 5);
  const std::u16string tag = ExperteerMetaTag(parts[0]);
  Expect(tag.empty() || tag.back() == u'>', "Experteer tag without its end");
  const std::u16string address = GetAttributeValue(tag, u"content");
  Expect(address.size() <= tag.size(), "attribute value longer than its tag");
  const std::u16string other = GetAttributeValue(parts[0], parts[1]);
  Expect(other.size() <= parts[0].size(), "attribute value longer than its tag");

  static_cast<void>(FindSite(TOrvantaImport::SiteImports(), parts[2]));
  ExpectOneLineEach(ExperteerListEntries(parts[2], address), "Experteer list entry with a line break");
  static_cast<void>(ExperteerResultText(parts[2], address));
  const ProfileFields fields {u"XING", parts[2], parts[3], parts[4], address};
  ExpectOneLineEach(ProfileListEntries(fields), "profile list entry with a line break");
  static_cast<void>(ProfileResultText(u"[XingImport] Ergebnis:", fields));
}

void FuzzDomainLines(Input input) {
  const std::u16string text = InputText(input);
  std::size_t total = 0;
  for (const auto& line : SplitDomainLines(text)) {
    Expect(!HoldsLineBreak(line) && line.find(u'\0') == std::u16string::npos, "domain line with a break");
    total += line.size() + 1;
  }
  Expect(total <= text.size() + 1, "domain lines longer than their text");
  static_cast<void>(IsBlank(text));
}

}  // namespace pelliport::fuzz
