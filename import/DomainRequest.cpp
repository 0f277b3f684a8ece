// The domain request: the domain text's lines as a list file, sent with
// "DO_GOOGLEPLACES".
#include <string>
#include <vector>

#include "import/PageText.h"
#include "import/ParseJson.h"
#include "import/UOrvantaImport.h"

namespace pelliport {

void TOrvantaImport::DomainRequest() {
  Log(u"[StartImport] call DoParseJson");
  // Five slots; the empty names match only a member named by the empty text.
  const std::vector<std::u16string> keys = {u"domain", u"protocol", u"", u"", u""};
  TValues values;
  if (!DoParseJson(sUTF8Content, keys, values, UpperCase())) return;
  std::u16string domain;
  std::u16string protocol;
  if (values.Count() == 1) {
    domain = values.SlotText(0, 0);
    protocol = values.SlotText(0, 1);
  }
  Log(u"[StartImport.DoParseJson] Result:\n\rdomain=" + domain);
  if (!protocol.empty()) Log(u"[StartImport.DebugProtocol] " + protocol);
  DomainImport(domain);
}

void TOrvantaImport::DomainImport(std::u16string_view domain) {
  SendList(u"[DomainImport]", u"DO_GOOGLEPLACES", [&] {
    Log(u"[DomainImport] Domain=" + std::u16string(domain));
    return SplitDomainLines(domain);
  });
}

}  // namespace pelliport
