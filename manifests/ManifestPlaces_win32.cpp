// The browsers' manifest places on Windows: the registry keys under which
// each browser finds the manifest's path, and the manifests beside the
// program, where the installers' keys point.
#include "manifests/ManifestPlaces.h"

#include <string>
#include <vector>

#include "manifests/BrowserManifests.h"
#include "platform/system_win32.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using win32::FromWide;
using win32::RegistryKey;
using win32::SystemErrorText;
using win32::UniqueHandle;
using win32::Wide;

// A manifest larger than this is no manifest of ours; it is not read.
constexpr DWORD kManifestLimit = 1 << 20;

// The key's default value as text (REG_SZ, or REG_EXPAND_SZ expanded);
// empty when it has none.
std::u16string DefaultValue(HKEY key) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size > 65536) {
    return {};
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring text(buffer.data());
  if (type == REG_EXPAND_SZ) {
    std::vector<wchar_t> expanded(32768, L'\0');
    const DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                static_cast<DWORD>(expanded.size()));
    if (n > 0 && n <= expanded.size()) text = expanded.data();
  }
  return FromWide(text);
}

std::optional<std::string> ReadSmallFile(std::u16string_view path, std::u16string& error) {
  const UniqueHandle handle(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size {};
  if (!handle.Valid() || !::GetFileSizeEx(handle.Get(), &size)) {
    error = SystemErrorText(::GetLastError());
    return std::nullopt;
  }
  if (size.QuadPart > kManifestLimit) {
    error = u"larger than " + U16(std::to_string(kManifestLimit)) + u" bytes";
    return std::nullopt;
  }
  std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!content.empty() &&
      (!::ReadFile(handle.Get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr) ||
       read != content.size())) {
    error = SystemErrorText(::GetLastError());
    return std::nullopt;
  }
  return content;
}

// 32-bit Windows has one registry view: the flags of the views are ignored
// there, and both views would find the same key.
bool HasTwoRegistryViews() {
  if constexpr (sizeof(void*) == 8) return true;
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

std::vector<BrowserRegistrations> FindHostManifests(std::u16string_view hostName) {
  // Each browser takes the first registration it finds: the user's key,
  // then the machine's in the 32-bit and in the 64-bit view.
  const struct {
    const wchar_t* browser;
    bool firefox;
    const wchar_t* key;
  } browsers[] = {
      {L"Chrome", false, L"Software\\Google\\Chrome\\NativeMessagingHosts\\"},
      {L"Edge", false, L"Software\\Microsoft\\Edge\\NativeMessagingHosts\\"},
      {L"Firefox", true, L"Software\\Mozilla\\NativeMessagingHosts\\"},
  };
  const struct {
    HKEY root;
    REGSAM view;
    const wchar_t* name;
  } places[] = {
      {HKEY_CURRENT_USER, 0, L"HKEY_CURRENT_USER\\"},
      {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"HKEY_LOCAL_MACHINE (32-bit)\\"},
      {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"HKEY_LOCAL_MACHINE (64-bit)\\"},
  };
  std::vector<BrowserRegistrations> found;
  for (const auto& browser : browsers) {
    BrowserRegistrations entry;
    entry.browser = FromWide(browser.browser);
    entry.firefox = browser.firefox;
    const std::wstring keyPath = browser.key + Wide(hostName);
    for (const auto& place : places) {
      if (place.view == KEY_WOW64_64KEY && !HasTwoRegistryViews()) continue;
      entry.searched += (entry.searched.empty() ? u"" : u", ") + FromWide(place.name + keyPath);
      RegistryKey key;
      if (::RegOpenKeyExW(place.root, keyPath.c_str(), 0, KEY_QUERY_VALUE | place.view, key.Receive()) !=
          ERROR_SUCCESS) {
        continue;
      }
      ManifestRegistration registration;
      registration.registeredAt = FromWide(place.name + keyPath);
      registration.userLevel = place.root == HKEY_CURRENT_USER;
      registration.manifestPath = DefaultValue(key.Get());
      if (!registration.manifestPath.empty()) {
        registration.content = ReadSmallFile(registration.manifestPath, registration.readError);
      }
      entry.registrations.push_back(std::move(registration));
    }
    found.push_back(std::move(entry));
  }
  return found;
}

std::vector<ManifestTarget> ManifestTargets(Platform& platform, std::u16string_view programPath, ManifestScope) {
  const std::size_t separator = programPath.rfind(platform.files.PathSeparator());
  if (programPath.empty() || separator == std::u16string_view::npos) return {};
  // Who reads them follows from the folder's permissions, which what the
  // program makes there takes (Program Files: every user).
  const std::u16string folder(programPath.substr(0, separator + 1));
  return {{u"", folder + std::u16string(kChromiumManifestName), false, false},
          {u"", folder + std::u16string(kFirefoxManifestName), true, false}};
}

// The per-machine package puts the program where only administrators change
// it and every user runs it (Program Files); where it lies is the
// installer's choice, not the program's.
ProgramForEveryone CheckProgramForEveryone(std::u16string_view) { return {}; }

}  // namespace pelliport
