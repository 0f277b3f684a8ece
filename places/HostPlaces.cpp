#include "places/HostPlaces.h"

#include <charconv>
#include <vector>

#include "places/ProfileString.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {

std::u16string OrvantaFolder(Platform& platform) {
  return platform.files.LocalAppDataFolder() + platform.files.PathSeparator() + u"Orvanta";
}

std::u16string LogFilePath(Platform& platform) {
  return OrvantaFolder(platform) + platform.files.PathSeparator() + u"PelliportLog.txt";
}

std::u16string OldLogFilePath(Platform& platform) {
  return OrvantaFolder(platform) + platform.files.PathSeparator() + u"PelliportLog.old.txt";
}

std::u16string SettingsFilePath(Platform& platform) {
  return OrvantaFolder(platform) + platform.files.PathSeparator() + u"PelliportHost.ini";
}

bool ViewerSettings::On() const { return ParseIniInteger(aktiv) != 0; }

ViewerSettings ReadViewerSettings(Platform& platform, std::u16string_view settingsFile) {
  ViewerSettings viewer;
  viewer.aktiv = ReadProfileString(settingsFile, u"Execute", u"Aktiv", u"0");
  viewer.filename = ReadProfileString(settingsFile, u"Execute", u"Filename", u"");
  viewer.filenameExists = !viewer.filename.empty() && platform.files.FileExists(viewer.filename);
  return viewer;
}

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

std::u16string GetUniqueTempName(Platform& platform, std::u16string_view folder) {
  UniqueFileResult created = platform.files.CreateUniqueFile(folder);
  // A name is never shortened: a shortened one would lead elsewhere, or to
  // another request's file.
  if (!created.name.empty() && created.name.size() > kMaxUniqueNameLength) {
    platform.files.DeleteFile(created.name);
    created.errorText = U16("Der Name \"") + created.name + U16("\" ist länger als 260 Zeichen.");
    created.name.clear();
  }
  if (created.name.empty()) {
    throw HostError(u"EFCreateError", u"Im Ordner \"" + std::u16string(folder) +
                                          u"\" kann keine Datei erstellt werden. " + created.errorText);
  }
  return created.name;
}

std::u16string CreateWorkFolder(Platform& platform) {
  // The folder takes the place of its name's reservation. A folder (or file,
  // or link) of that name that already exists belongs to someone else and is
  // never used: another name is tried. The reservations of such names are
  // held until a folder has been made, because the platform counts up from
  // the same number within the same moment and would hand the name out again
  // once it is free.
  constexpr int kAttempts = 64;
  const std::u16string temp = platform.files.TempFolder();
  struct Reservations {
    Platform& platform;
    std::vector<std::u16string> names;
    ~Reservations() {
      for (const auto& name : names) platform.files.DeleteFile(name);
    }
  } reservations{platform, {}};
  std::u16string folder;
  CreateDirectoryOutcome outcome;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::u16string name = GetUniqueTempName(platform, temp);
    reservations.names.push_back(name);
    folder = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::u16string();
    outcome = platform.files.CreateDirectory(folder);
    if (outcome.result == CreateDirectoryResult::Created) return folder;
    if (outcome.result == CreateDirectoryResult::Failed) break;
  }
  // Without a folder of its own the request cannot be handled.
  throw HostError(u"EFCreateError",
                  u"Ordner \"" + folder + u"\" kann nicht erstellt werden. " + outcome.errorText);
}

}  // namespace pelliport
