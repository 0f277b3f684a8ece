// The page capture: the five values out of the request, the HTML and the
// photo stored in the work folder, and the site's list and notification.
#include <array>
#include <string>
#include <vector>

#include "import/PageText.h"
#include "import/ParseJson.h"
#include "import/UOrvantaImport.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

constexpr std::size_t kHtmlExcerpt = 100;

}  // namespace

std::span<const TOrvantaImport::SiteImport> TOrvantaImport::SiteImports() {
  static constexpr std::array<SiteImport, 6> kTable = {{
      {u"xing.com/xtm", u"XTMImport", &TOrvantaImport::XTMImport},
      {u"xing.com", u"XingImport", &TOrvantaImport::XingImport},
      {u"linkedin.com", u"LinkedInImport", &TOrvantaImport::LinkedInImport},
      {u"experteer.com/recruiting/candidates", u"ExperteerImport", &TOrvantaImport::ExperteerImport},
      {u"experteer.de/recruiting/candidates", u"ExperteerImport", &TOrvantaImport::ExperteerImport},
      {u"freelance.de", u"FreelanceImport", &TOrvantaImport::FreelanceImport},
  }};
  return kTable;
}

TOrvantaImport::FlowEnd TOrvantaImport::PageCaptureImport() {
  sUTF8HTML.clear();
  sB64Pic.clear();
  sAktURL.clear();
  sFotoURL.clear();
  sFotoPath.clear();
  if (!ReadCaptureValues() || !SaveCapturedPage()) return FlowEnd::Early;
  SaveCapturedPhoto();
  RunSiteImport();
  return FlowEnd::Normal;
}

bool TOrvantaImport::ReadCaptureValues() {
  Log(u"[StartImport] call DoParseJson");
  const std::vector<std::u16string> keys = {u"html", u"b64Pic", u"profilUrl", u"srcImg", u"protocol"};
  TValues values;
  const auto cannotRead = [this] {
    ShowErrorBox(u"Fehler beim Parsen");
    LogError(u"[StartImport] cannot read json from UTF8Content", sUTF8Content, u"");
    return false;
  };
  // The request's text is not needed once its values are out: the page takes
  // over its memory rather than being held a second time.
  if (!DoParseJsonTakingText(sUTF8Content, keys, values, UpperCase())) return cannotRead();
  std::u16string protocol;
  if (values.Count() == 1) {
    // Taken out of the table rather than copied: the page can be large.
    sUTF8HTML = values.TakeSlotText(0, 0);
    sB64Pic = values.TakeSlotText(0, 1);
    sAktURL = values.TakeSlotText(0, 2);
    sFotoURL = values.TakeSlotText(0, 3);
    protocol = values.TakeSlotText(0, 4);
  }
  values.Clear();

  // Logged from its parts, never joined into one text: the photo text can be large.
  const std::u16string_view parts[] = {u"[StartImport.DoParseJson] Result:\n\rUTF8HTML=",
                                       std::u16string_view(sUTF8HTML).substr(0, kHtmlExcerpt),
                                       u"...\n\rB64Pic=", sB64Pic, u"\n\rAktURL=", sAktURL,
                                       u"\n\rFotoURL=", sFotoURL};
  Log(parts);
  if (!protocol.empty()) Log(u"[StartImport.DebugProtocol] " + protocol);

  if (IsBlank(sUTF8HTML)) return cannotRead();
  UnescapeCapturedHtml(sUTF8HTML);
  return true;
}

bool TOrvantaImport::SaveCapturedPage() {
  try {
    sHTMLFilePath = GetUniqueTempName(sFilePath);
    SaveHTMLFile(sUTF8HTML, sHTMLFilePath);
    Log(u"[StartImport.HTML] " + sHTMLFilePath);
    return true;
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    // No page file is left: not its reservation, not a part of it.
    if (!sHTMLFilePath.empty()) platform_.files.DeleteFile(sHTMLFilePath);
    sHTMLFilePath.clear();
    LogError(u"[StartImport.HTML]", failure.kind, failure.message);
    ShowErrorBox(u"Fehler beim Parsen");
    return false;
  }
}

void TOrvantaImport::SaveCapturedPhoto() {
  // What precedes the first comma is a data URL's head.
  if (const std::size_t comma = sB64Pic.find(u','); comma != std::u16string::npos) {
    sB64Pic.erase(0, comma + 1);
  }
  try {
    if (IsBlank(sB64Pic)) {
      Log(u"[StartImport.Photo] no foto found!");
    } else {
      sFotoPath = GetUniqueTempName(sFilePath);
      Log(u"[StartImport.Photo] " + sFotoPath + u" (Size: " + Decimal(static_cast<long long>(sB64Pic.size())) +
          u")");
      SavePicture(sB64Pic, sFotoPath);
    }
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    if (!sFotoPath.empty()) platform_.files.DeleteFile(sFotoPath);
    LogError(u"[StartImport.Photo]", failure.kind, failure.message);
    ShowErrorBox(U16("Fehler beim Speichern des Fotos"));
    sFotoPath.clear();
  }
}

void TOrvantaImport::RunSiteImport() {
  if (const SiteImport* site = FindSite(SiteImports(), sAktURL)) {
    Log(u"[StartImport] call " + std::u16string(site->name));
    (this->*site->run)();
  }
}

}  // namespace pelliport
