// The import engine: handles the one request of a host process.
//
// Some names here are older than this code and stay as they are:
// `TOrvantaImport`, `StartImport` and `sUTF8Content` among them. The log's
// lines name them ("[StartImport] UTF8ContentLength=..."), and the people
// who support users read those lines, so a rename would break what they
// search for. `sUTF8Content` is not UTF-8: it holds the request's text as
// the main routine decoded it from the UTF-8 frame, in UTF-16 like every
// text of the system (the empty text when the frame was not valid UTF-8).
//
// Where the engine's operations live:
//   UOrvantaImport.cpp         StartImport, ReadIni, CreateWorkFolder, GetUniqueTempName,
//                              ShowErrorBox, LaunchViewer
//   PageCapture.cpp            PageCaptureImport and its steps, the site table
//   SiteImports.cpp            XingImport, XTMImport, LinkedInImport, FreelanceImport,
//                              ExperteerImport, ProfileImport, SendList
//   CaptureFiles.cpp           SaveListFile, SaveHTMLFile, SavePicture
//   DomainRequest.cpp          DomainRequest, DomainImport
//   IdentificationRequest.cpp  IdentificationRequest, VorandtImport
//   AddInErrorReport.cpp       AddInErrorReport
//   InformOrvanta.cpp          InformOrvanta, iGetServerPort, InformServer
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "log/ULogWriter.h"
#include "places/HostPlaces.h"
#include "platform/platform.h"

namespace pelliport {

inline constexpr std::u16string_view kErrorBoxCaption = u"Orvanta Browser Add-In | Fehler";

class TOrvantaImport {
 public:
  explicit TOrvantaImport(Platform& platform);
  // With the log writer that StartImport would bind, for callers of single
  // operations (SaveListFile, SaveHTMLFile, SavePicture) without a request.
  TOrvantaImport(Platform& platform, TLogFile& aLogger);

  // Handles the request's text, which the main routine decodes while it
  // arrives (the empty text when it was not valid UTF-8). Always returns the
  // empty text; only failures of the preparation steps leave it.
  std::u16string StartImport(std::u16string decoded, TLogFile& aLogger);

  // The modal error box of the import engine.
  void ShowErrorBox(std::u16string_view text);

  // A unique name in the folder, reserved by an empty file
  // (places/HostPlaces.h says how).
  std::u16string GetUniqueTempName(std::u16string_view folder);

  // --- Capture artifact files
  std::u16string SaveListFile(const std::vector<std::u16string>& entries);
  void SaveHTMLFile(std::u16string_view text, std::u16string_view path);
  void SavePicture(std::u16string_view base64, std::u16string_view path);

  // --- Page capture and its site operations
  void XTMImport();
  void XingImport();
  void LinkedInImport();
  void FreelanceImport();
  void ExperteerImport();  // reads the captured page

  // A row of the page capture's site table: the URL pattern, the operation's
  // name in the log, and the operation.
  struct SiteImport {
    std::u16string_view pattern;
    std::u16string_view name;
    void (TOrvantaImport::*run)();
  };
  // The site table, in the order in which a URL is matched against it.
  static std::span<const SiteImport> SiteImports();

  // --- Domain and identification requests
  void DomainImport(std::u16string_view domain);
  void VorandtImport(std::u16string_view URL);

  // --- Desktop notification
  void InformOrvanta(std::u16string_view commandText);


 private:
  // The request's state, shared by the handlers; what a request leaves
  // shows in its files, its log lines, its notification and its boxes.
  std::u16string sFilePath;
  std::u16string sB64Pic;
  std::u16string sAktURL;
  std::u16string sFotoPath;
  std::u16string sFotoURL;
  std::u16string sHTMLFilePath;
  std::u16string sUTF8HTML;
  std::u16string sUTF8Content;  // the request's text, decoded: UTF-16 (see above)
  TLogFile* myLogger = nullptr;
  bool bDoExecute = false;
  std::u16string sExecuteFile;

  enum class FlowEnd { Normal, Early };

  void ReadIni();
  void CreateWorkFolder();
  void LaunchViewer();

  // The kind handlers.
  FlowEnd PageCaptureImport();
  // The page capture's steps; false where the capture ends early.
  bool ReadCaptureValues();
  bool SaveCapturedPage();
  void SaveCapturedPhoto();
  void RunSiteImport();

  void DomainRequest();
  void IdentificationRequest();
  void AddInErrorReport();

  // The site operations' common steps: result text, list file, notification.
  void ProfileImport(std::u16string_view tag, std::u16string_view head, std::u16string_view type);
  // How every list-writing operation ends: `prepare` logs the result and
  // gives the list's entries; the list file is written, and the desktop
  // application is told the command and the list's path. A failure anywhere
  // is logged under the operation's tag.
  void SendList(std::u16string_view tag, std::u16string_view command,
                const std::function<std::vector<std::u16string>()>& prepare);

  // The desktop notification's steps.
  std::int32_t iGetServerPort();
  bool InformServer(std::int32_t port, std::u16string_view text);

  // The platform's upper-case mapping, as the key extractor takes it.
  std::function<std::u16string(std::u16string_view)> UpperCase() {
    return [this](std::u16string_view text) { return platform_.text.ToUpper(text); };
  }

  void Log(std::u16string_view text) { myLogger->WriteToLogFile(text); }
  void Log(std::span<const std::u16string_view> parts) { myLogger->WriteToLogFile(parts); }
  void LogError(std::u16string_view summary, std::u16string_view kind, std::u16string_view message) {
    myLogger->WriteErrorToLogFile(summary, kind, message);
  }

  Platform& platform_;
};

// The sender line of a notification: computer name, "/", user name, with
// placeholders for what the system cannot tell.
std::u16string GetComputerAndUserName(Platform& platform);
// Sender line, line feed, command text.
std::u16string NotificationText(std::u16string_view sender, std::u16string_view commandText);
// The box text when no notification could be sent.
std::u16string NotSentMessage();
// The box text when the list file of an import could not be written; the
// reason is the failure's message (file and the system's text).
std::u16string ListNotWrittenMessage(std::u16string_view reason);

}  // namespace pelliport
