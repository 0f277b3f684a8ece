// The browsers' policies on Windows: the values of Chrome's and Edge's
// policy key, in HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; the machine's
// value of a policy wins over the user's. A boolean is a REG_DWORD (or a
// REG_SZ holding a number); a list is a subkey whose values named 1, 2, ...
// hold the texts (or a REG_SZ holding a JSON list). A value of another type
// is dropped when the browser reads it, so the user's value then holds.
// The "Recommended" subkey only presets what users may change, and none of
// the three policies can be recommended.
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/system_win32.h"
#include "platform/utf.h"
#include "selfcheck/PolicyFile.h"
#include "selfcheck/PolicyPlaces.h"

namespace pelliport {
namespace {

using win32::FromWide;
using win32::RegistryKey;
using win32::SystemErrorText;
using win32::Wide;

// Values longer than this are no policy of ours; they are not read.
constexpr DWORD kValueLimit = 1 << 20;

struct PolicyKeyOf {
  const wchar_t* browser;  // as the manifest places name it
  const wchar_t* key;
};
constexpr PolicyKeyOf kPolicyKeys[] = {
    {L"Chrome", L"SOFTWARE\\Policies\\Google\\Chrome"},
    {L"Edge", L"SOFTWARE\\Policies\\Microsoft\\Edge"},
};

std::u16string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return u"REG_NONE";
    case REG_SZ: return u"REG_SZ";
    case REG_EXPAND_SZ: return u"REG_EXPAND_SZ";
    case REG_BINARY: return u"REG_BINARY";
    case REG_DWORD: return u"REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return u"REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ: return u"REG_MULTI_SZ";
    case REG_QWORD: return u"REG_QWORD";
    default: return u"a value of type " + std::u16string(Decimal(static_cast<long long>(type)));
  }
}

// A value as the browser reads it: its type and bytes; nullopt when there is none.
struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool tooLarge = false;  // not read
};
std::optional<RawValue> ReadValue(HKEY key, const wchar_t* name) {
  RawValue value;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (size > kValueLimit) {
    value.tooLarge = true;
    return value;
  }
  value.data.resize(size);
  if (::RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  return value;
}

// The text of a REG_SZ or REG_EXPAND_SZ value (expanded), up to its first NUL.
std::u16string TextOf(const RawValue& value) {
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
  text.resize(std::wcslen(text.c_str()));
  if (value.type == REG_EXPAND_SZ) {
    std::vector<wchar_t> expanded(32768, L'\0');
    const DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n > 0 && n <= expanded.size()) text = expanded.data();
  }
  return FromWide(text);
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// A decimal number with an optional minus sign and nothing else, as the
// browser reads a number written as text.
std::optional<long long> Number(std::u16string_view text) {
  std::size_t i = !text.empty() && text[0] == u'-' ? 1 : 0;
  if (i == text.size() || text.size() - i > 10) return std::nullopt;
  long long number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    number = number * 10 + (text[i] - u'0');
  }
  if (text[0] == u'-') number = -number;
  if (number < INT32_MIN || number > INT32_MAX) return std::nullopt;
  return number;
}

PolicyValue Wrong(std::u16string found) {
  PolicyValue value;
  value.found = std::move(found);
  return value;
}

PolicyValue TooLarge() {
  return Wrong(u"larger than " + Decimal(kValueLimit) + u" bytes, which this check does not read");
}

PolicyValue Boolean(const RawValue& raw) {
  if (raw.tooLarge) return TooLarge();
  PolicyValue value;
  value.kind = PolicyValue::Kind::Boolean;
  if ((raw.type == REG_DWORD || raw.type == REG_DWORD_BIG_ENDIAN) && raw.data.size() == 4) {
    value.boolean = raw.data[0] != 0 || raw.data[1] != 0 || raw.data[2] != 0 || raw.data[3] != 0;
    return value;
  }
  if (IsText(raw.type)) {
    const std::u16string text = TextOf(raw);
    if (const auto number = Number(text)) {
      value.boolean = *number != 0;
      return value;
    }
    return Wrong(u"the text \"" + text + u"\"");
  }
  return Wrong(TypeName(raw.type));
}

// The subkey's values with numbers for names, as the entries of a list.
PolicyValue ListFromSubkey(HKEY subkey) {
  PolicyValue list;
  list.kind = PolicyValue::Kind::List;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LONG status = ::RegEnumValueW(subkey, index, name, &nameLength, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;  // a name too long is no number
    if (!Number(FromWide(std::wstring_view(name, nameLength)))) continue;
    if (!IsText(type)) {
      ++list.otherItems;
      continue;
    }
    if (const auto raw = ReadValue(subkey, name); raw && IsText(raw->type)) {
      list.items.push_back(TextOf(*raw));
    } else {
      ++list.otherItems;
    }
  }
  return list;
}

std::optional<PolicyValue> ReadList(HKEY key, const wchar_t* name) {
  RegistryKey subkey;
  if (::RegOpenKeyExW(key, name, 0, KEY_READ, subkey.Receive()) == ERROR_SUCCESS) return ListFromSubkey(subkey.Get());
  const auto raw = ReadValue(key, name);
  if (!raw) return std::nullopt;
  if (raw->tooLarge) return TooLarge();
  if (IsText(raw->type)) return ParsePolicyListText(TextOf(*raw));
  return Wrong(TypeName(raw->type));
}

void ReadKey(BrowserPolicies& policies, HKEY root, const wchar_t* rootName, const wchar_t* keyPath) {
  const std::u16string place = FromWide(rootName) + u"\\" + FromWide(keyPath);
  policies.searched += (policies.searched.empty() ? u"" : u", ") + place;
  RegistryKey key;
  const REGSAM view = root == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0;
  const LONG status = ::RegOpenKeyExW(root, keyPath, 0, KEY_READ | view, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return;
  if (status != ERROR_SUCCESS) {
    policies.problems.push_back({place, u"cannot be opened (" + SystemErrorText(static_cast<DWORD>(status)) + u")"});
    return;
  }
  for (const PolicyName policy : kPolicyNames) {
    const std::wstring name = Wide(PolicyKey(policy));
    std::optional<PolicyValue> value;
    if (policy == PolicyName::UserLevelHosts) {
      if (const auto raw = ReadValue(key.Get(), name.c_str())) value = Boolean(*raw);
    } else {
      value = ReadList(key.Get(), name.c_str());
    }
    if (value) policies.settings.push_back({policy, place, std::move(*value), false});
  }
}

}  // namespace

std::vector<BrowserPolicies> ReadBrowserPolicies() {
  std::vector<BrowserPolicies> all;
  for (const auto& browser : kPolicyKeys) {
    BrowserPolicies policies;
    policies.browser = FromWide(browser.browser);
    // The user's first: the machine's value of a policy comes later and wins.
    ReadKey(policies, HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", browser.key);
    ReadKey(policies, HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", browser.key);
    all.push_back(std::move(policies));
  }
  return all;
}

std::u16string_view MachineInstallAdvice() {
  return u"install it for all users with the per-machine package (PelliportHost-<version>-machine.msi)";
}

}  // namespace pelliport
