#include <string>
#include <vector>

#include "import/ParseJson.h"
#include "import/UOrvantaImport.h"

namespace pelliport {
namespace {

std::u16string CutAtNul(std::u16string text) {
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

}  // namespace

// An error that the browser add-in reports itself: its title goes into the
// error box, title and description into the log.
void TOrvantaImport::AddInErrorReport() {
  const std::vector<std::u16string> keys = {u"OrvantaBrowserAddInErrorTitle",
                                            u"OrvantaBrowserAddInErrorDescription"};
  TValues values;
  if (!DoParseJson(sUTF8Content, keys, values, UpperCase())) return;
  if (values.Count() == 1) {
    const std::u16string title = CutAtNul(values.SlotText(0, 0));
    const std::u16string description = CutAtNul(values.SlotText(0, 1));
    ShowErrorBox(title);
    LogError(u"[StartImport] AddIn reports error", title, description);
  } else {
    ShowErrorBox(u"Fehler beim Parsen");
    LogError(u"[StartImport] AddIn reports error", sUTF8Content, u"");
  }
}

}  // namespace pelliport
