// The site operations of the page capture: each writes the site's list file
// and notifies the desktop application with "DO_XINGIMPORT".
#include <string>

#include "import/PageText.h"
#include "import/UOrvantaImport.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {

std::u16string ListNotWrittenMessage(std::u16string_view reason) {
  return U16("Der Import konnte nicht an Orvanta übergeben werden, weil die Importliste nicht "
             "gespeichert werden konnte.\r\n\r\n") +
         std::u16string(reason) +
         U16("\r\n\r\nBitte prüfen Sie den freien Speicherplatz und die Zugriffsrechte des "
             "temporären Ordners und versuchen Sie es erneut.");
}

void TOrvantaImport::SendList(std::u16string_view tag, std::u16string_view command,
                              const std::function<std::vector<std::u16string>()>& prepare) {
  try {
    const auto entries = prepare();
    Log(std::u16string(tag) + u" call InformOrvanta");
    std::u16string path;
    try {
      path = SaveListFile(entries);
    } catch (...) {
      // Without its list the import cannot reach the desktop application:
      // nothing is sent, and the user learns why.
      const auto failure = DescribeCurrentFailure();
      LogError(tag, failure.kind, failure.message);
      ShowErrorBox(ListNotWrittenMessage(failure.message));
      return;
    }
    InformOrvanta(std::u16string(command) + u"\n" + path);
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(tag, failure.kind, failure.message);
  }
}

void TOrvantaImport::ProfileImport(std::u16string_view tag, std::u16string_view head,
                                   std::u16string_view type) {
  const ProfileFields fields{type, sAktURL, sHTMLFilePath, sFotoPath, sFotoURL};
  SendList(tag, u"DO_XINGIMPORT", [&] {
    Log(ProfileResultText(head, fields));
    return ProfileListEntries(fields);
  });
}

void TOrvantaImport::XTMImport() { ProfileImport(u"[XTMImport]", u"[XTMImport] XTM-Ergebnis:", u"XTM"); }

void TOrvantaImport::XingImport() {
  Log(u"[XingImport] Start]");
  ProfileImport(u"[XingImport]", u"[XingImport] Xing-Ergebnis:", u"XING");
}

void TOrvantaImport::LinkedInImport() {
  ProfileImport(u"[LinkedInImport]", u"[LinkedInImport] LinkedIn-Ergebnis:", u"LINKEDIN");
}

void TOrvantaImport::FreelanceImport() {
  ProfileImport(u"[FreelanceImport]", u"[FreelanceImport] Freelance-Ergebnis:", u"FREELANCEDE");
}

void TOrvantaImport::ExperteerImport() {
  Log(u"[ExperteerImport] Lese api_recruiting_candidate aus...");
  const std::u16string meta = ExperteerMetaTag(sUTF8HTML);
  Log(u"[ExperteerImport] api_recruiting_candidate Meta: " + meta);
  const std::u16string address = GetAttributeValue(meta, u"content");
  Log(u"[ExperteerImport] APIURL: " + address);
  if (address.empty()) {
    ShowErrorBox(U16("Sie können nur bestätigte Kontakte aus Experteer importieren."));
    // A silent stop: the engine's catch-all ends the request.
    throw HostError(u"EAbort", u"Operation abgebrochen");
  }
  SendList(u"[ExperteerImport]", u"DO_XINGIMPORT", [&] {
    Log(ExperteerResultText(sAktURL, address));
    return ExperteerListEntries(sAktURL, address);
  });
}

}  // namespace pelliport
