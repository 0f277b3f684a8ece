#include "import/UOrvantaImport.h"

#include <array>
#include <charconv>
#include <vector>

#include "import/RequestKind.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {

std::int32_t ParseIniInteger(std::u16string_view text) {
  std::string ascii;
  for (const char16_t c : text) {
    if (c > 0x7F) return 0;
    ascii.push_back(static_cast<char>(c));
  }
  bool negative = false;
  std::string_view digits = ascii;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  } else if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return 0;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  if (base == 16) {
    // Hexadecimal covers all 32 bits: $FFFFFFFF is -1.
    if (value > 0xFFFFFFFFULL) return 0;
    const auto bits = static_cast<std::uint32_t>(negative ? 0 - value : value);
    return static_cast<std::int32_t>(bits);
  }
  const long long signedValue = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
  if (value > 0x80000000ULL || signedValue > INT32_MAX || signedValue < INT32_MIN) return 0;
  return static_cast<std::int32_t>(signedValue);
}

TOrvantaImport::TOrvantaImport(Platform& platform) : platform_(platform) {}

void TOrvantaImport::ShowErrorBox(std::u16string_view text) {
  platform_.ShowErrorBox(kErrorBoxCaption, text);
}

std::u16string TOrvantaImport::GetUniqueTempName(std::u16string_view folder) {
  UniqueFileResult created = platform_.CreateUniqueFile(folder);
  // A name is never shortened: a shortened one would lead elsewhere, or to
  // another request's file.
  if (!created.name.empty() && created.name.size() > kMaxUniqueNameLength) {
    platform_.DeleteFile(created.name);
    created.errorText = U16("Der Name \"") + created.name + U16("\" ist länger als 260 Zeichen.");
    created.name.clear();
  }
  if (created.name.empty()) {
    throw HostError(u"EFCreateError", u"Im Ordner \"" + std::u16string(folder) +
                                          u"\" kann keine Datei erstellt werden. " + created.errorText);
  }
  return created.name;
}

void TOrvantaImport::ReadIni() {
  const char16_t sep = platform_.PathSeparator();
  std::u16string path = platform_.LocalAppDataFolder();
  path += sep;
  path += u"Orvanta";
  path += sep;
  path += u"PelliportHost.ini";
  Log(u"ReadIni: Ini = " + path);
  bDoExecute = ParseIniInteger(platform_.ReadProfileString(path, u"Execute", u"Aktiv", u"0")) != 0;
  sExecuteFile = platform_.ReadProfileString(path, u"Execute", u"Filename", u"");
  if (!platform_.FileExists(sExecuteFile)) sExecuteFile.clear();
  Log(bDoExecute ? u"ReadIni: Aktiv = True" : u"ReadIni: Aktiv = False");
  Log(u"ReadIni: File = " + sExecuteFile);
}

void TOrvantaImport::CreateWorkFolder() {
  // The folder takes the place of its name's reservation. A folder (or file,
  // or link) of that name that already exists belongs to someone else and is
  // never used: another name is tried. The reservations of such names are
  // held until a folder has been made, because the platform counts up from
  // the same number within the same moment and would hand the name out again
  // once it is free.
  constexpr int kAttempts = 64;
  sFilePath.clear();
  const std::u16string temp = platform_.TempFolder();
  struct Reservations {
    Platform& platform;
    std::vector<std::u16string> names;
    ~Reservations() {
      for (const auto& name : names) platform.DeleteFile(name);
    }
  } reservations{platform_, {}};
  std::u16string folder;
  CreateDirectoryOutcome outcome;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::u16string name = GetUniqueTempName(temp);
    reservations.names.push_back(name);
    folder = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::u16string();
    outcome = platform_.CreateDirectory(folder);
    if (outcome.result == CreateDirectoryResult::Created) {
      sFilePath = folder;
      Log(u"[StartImport] TmpFilePath=" + sFilePath);
      return;
    }
    if (outcome.result == CreateDirectoryResult::Failed) break;
  }
  // Without a folder of its own the request cannot be handled.
  throw HostError(u"EFCreateError",
                  u"Ordner \"" + folder + u"\" kann nicht erstellt werden. " + outcome.errorText);
}

void TOrvantaImport::LaunchViewer() {
  if (!bDoExecute || sExecuteFile.empty()) return;
  try {
    Log(u"ShellExecute: \"" + sExecuteFile + u"\" \"" + sHTMLFilePath + u"\"");
    platform_.LaunchViewer(sExecuteFile, sHTMLFilePath);
    Log(u"ShellExecute abgeschlossen");
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[StartImport.CleanUp]", failure.kind, failure.message);
  }
}

std::u16string TOrvantaImport::StartImport(std::u16string decoded, TLogFile& aLogger) {
  platform_.InitializeCom();
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
