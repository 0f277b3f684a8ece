// The identification request: the URL of a JSON object's top level, sent with
// "DO_VORANDTIMPORT".
#include <string>

#include "import/JsonObject.h"
#include "import/PageText.h"
#include "import/UOrvantaImport.h"
#include "platform/error.h"

namespace pelliport {

void TOrvantaImport::IdentificationRequest() {
  Log(u"[StartImport] call VorandtImport");
  std::u16string command;
  std::u16string url;
  try {
    const JsonObject object = ParseJsonObject(sUTF8Content);
    if (object.outcome != JsonObjectOutcome::Failure) {
      try {
        command = object.Value(u"command");
        Log(u"Command: " + command);
        url = object.Value(u"URL");
        Log(u"Data: " + url);
      } catch (...) {
        const auto failure = DescribeCurrentFailure();
        LogError(u"[StartImport]", failure.kind, failure.message);
      }
    }
  } catch (...) {
    // The parser's own failure, such as nesting too deep.
    Log(u"Exception bei JSON: " + DescribeCurrentFailure().message);
    url.clear();
  }
  VorandtImport(url);
}

void TOrvantaImport::VorandtImport(std::u16string_view URL) {
  try {
    Log(u"[VOImport] call InformOrvanta");
    // The desktop application reads the notification by lines: the URL
    // stays on its own (the log above has it as received).
    InformOrvanta(u"DO_VORANDTIMPORT\n" + EncodeLineBreaks(URL));
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[VOImport]", failure.kind, failure.message);
  }
}

}  // namespace pelliport
