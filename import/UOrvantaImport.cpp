#include "import/UOrvantaImport.h"

#include <vector>

#include "import/RequestKind.h"
#include "places/HostPlaces.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {

TOrvantaImport::TOrvantaImport(Platform& platform) : platform_(platform) {}

TOrvantaImport::TOrvantaImport(Platform& platform, TLogFile& aLogger) : myLogger(&aLogger), platform_(platform) {}

void TOrvantaImport::ShowErrorBox(std::u16string_view text) {
  platform_.desktop.ShowErrorBox(kErrorBoxCaption, text);
}

std::u16string TOrvantaImport::GetUniqueTempName(std::u16string_view folder) {
  return pelliport::GetUniqueTempName(platform_, folder);
}

void TOrvantaImport::ReadIni() {
  const std::u16string path = SettingsFilePath(platform_);
  Log(u"ReadIni: Ini = " + path);
  const ViewerSettings viewer = ReadViewerSettings(platform_, path);
  bDoExecute = viewer.On();
  sExecuteFile = viewer.filenameExists ? viewer.filename : std::u16string();
  Log(bDoExecute ? u"ReadIni: Aktiv = True" : u"ReadIni: Aktiv = False");
  Log(u"ReadIni: File = " + sExecuteFile);
}

void TOrvantaImport::CreateWorkFolder() {
  sFilePath.clear();
  sFilePath = pelliport::CreateWorkFolder(platform_);
  Log(u"[StartImport] TmpFilePath=" + sFilePath);
}

void TOrvantaImport::LaunchViewer() {
  if (!bDoExecute || sExecuteFile.empty()) return;
  try {
    Log(u"ShellExecute: \"" + sExecuteFile + u"\" \"" + sHTMLFilePath + u"\"");
    platform_.desktop.LaunchViewer(sExecuteFile, sHTMLFilePath);
    Log(u"ShellExecute abgeschlossen");
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[StartImport.CleanUp]", failure.kind, failure.message);
  }
}

std::u16string TOrvantaImport::StartImport(std::u16string decoded, TLogFile& aLogger) {
  platform_.desktop.InitializeCom();
  myLogger = &aLogger;
  Log(u"[StartImport] call ReadIni");
  ReadIni();
  CreateWorkFolder();

  FlowEnd end = FlowEnd::Normal;
  try {
    sUTF8Content = std::move(decoded);
    Log(u"[StartImport] UTF8ContentLength=" + Decimal(static_cast<long long>(sUTF8Content.size())));
    switch (FindRequestKind(platform_, sUTF8Content)) {
      case RequestKind::PageCapture:
        end = PageCaptureImport();
        break;
      case RequestKind::Domain:
        DomainRequest();
        break;
      case RequestKind::Identification:
        IdentificationRequest();
        break;
      case RequestKind::AddInError:
        AddInErrorReport();
        break;
      case RequestKind::None:
        break;
    }
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[StartImport]", failure.kind, failure.message);
    ShowErrorBox(u"Fehler beim Parsen");
    end = FlowEnd::Normal;
  }

  LaunchViewer();
  if (end == FlowEnd::Normal) Log(u"[StartImport]|_Done!");
  return {};
}

}  // namespace pelliport
