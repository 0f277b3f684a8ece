#include "host/HostMain.h"

#include <memory>
#include <optional>

#include "host/Intake.h"
#include "import/UOrvantaImport.h"
#include "log/ULogWriter.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {

int RunHost(Platform& platform) {
  auto log = std::make_unique<TLogFile>(platform);
  log->WriteToLogFile(u"[PelliportHost] Start (Version 2022.1 09.03.2022)");
  auto engine = std::make_unique<TOrvantaImport>(platform);
  ReplyWriter reply(platform);
  std::optional<FailureDescription> escaped;

  try {
    // A valid payload is its own UTF-8 text; an invalid one becomes the empty text.
    std::optional<std::u16string> text = ReadRequest(platform, *log);
    if (!text) {
      log->WriteErrorToLogFile(
          u"[PelliportHost]", u"GetUtf8Content",
          U16("Keine Zuordnung für Unicode-Zeichen in der Multibyte-Zielcodeseite vorhanden"));
      text.emplace();
    }
    log->WriteToLogFile(u"[PelliportHost] call StartImport");
    engine->StartImport(std::move(*text), *log);
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    log->WriteErrorToLogFile(u"[PelliportHost]", failure.kind, failure.message);
    platform.ShowErrorBox(kErrorBoxCaption, failure.message);
    try {
      reply.Write(BuildErrorReply(failure.message));
    } catch (...) {
      escaped = DescribeCurrentFailure();
    }
  }

  log->WriteToLogFile(u"[PelliportHost]|_Done!");
  engine.reset();
  log.reset();

  if (escaped) {
    platform.WriteStderr(u"PelliportHost: " + escaped->kind + u": " + escaped->message + u"\n");
    return 1;
  }
  reply.Finish();
  return 0;
}

}  // namespace pelliport
