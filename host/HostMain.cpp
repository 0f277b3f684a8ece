#include "host/HostMain.h"

#include <memory>
#include <optional>
#include <span>

#include "manifests/BrowserManifests.h"
#include "host/Intake.h"
#include "selfcheck/SelfCheck.h"
#include "host/Version.h"
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
    platform.desktop.ShowErrorBox(kErrorBoxCaption, failure.message);
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
    platform.streams.WriteStderr(u"PelliportHost: " + escaped->kind + u": " + escaped->message + u"\n");
    return 1;
  }
  reply.Finish();
  return 0;
}

std::u16string HelpText() {
  return u"PelliportHost " + std::u16string(kProductVersion) +
         u": the native-messaging host of the Orvanta browser add-in.\n"
         u"The browser starts it for each capture. Started by hand, it takes one option:\n"
         u"\n"
         u"  --check     checks what a capture needs and reports each item: what was\n"
         u"              checked, what was found, OK or not. Exit code 0 when everything\n"
         u"              is in place, 1 otherwise. Writes nothing to the log.\n"
         u"  --version   prints the version\n"
         u"  --help      prints this text\n"
         u"\n"
         u"The installers run it with --write-manifests [--system] --chrome-extension IDS\n"
         u"--firefox-extension IDS to write the browsers' manifests naming it: on Windows\n"
         u"beside the program; elsewhere in the browsers' folders of the user, or with\n"
         u"--system in their system-wide folders, for every user.\n";
}

int RunProgram(Platform& platform) {
  const std::vector<std::u16string> arguments = platform.streams.ProgramArguments();
  const std::u16string option = arguments.empty() ? u"" : arguments.front();
  // The installer's mode; a browser's arguments never start with it.
  if (option == kWriteManifestsOption) {
    return WriteBrowserManifests(platform, std::span(arguments).subspan(1));
  }
  const bool ours = option == u"--check" || option == u"--version" || option == u"--help";
  if (!ours) return RunHost(platform);
  if (arguments.size() > 1) {
    platform.streams.WriteStderr(u"PelliportHost: " + option + u" takes no further arguments\n");
    WriteStandardOutput(platform, HelpText());
    return 2;
  }
  if (option == u"--check") return RunSelfCheck(platform);
  if (option == u"--version") {
    WriteStandardOutput(platform, u"PelliportHost " + std::u16string(kProductVersion) + u"\n");
    return 0;
  }
  WriteStandardOutput(platform, HelpText());
  return 0;
}

}  // namespace pelliport
