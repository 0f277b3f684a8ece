#include <windows.h>

#include <stdexcept>

#include "host/testing/Policies.h"

namespace pelliport::testing {
namespace {

constexpr const wchar_t* kPolicyParent = L"SOFTWARE\\Policies\\Google";
constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Policies\\Google\\Chrome";
constexpr const wchar_t* kRegistrationParent = L"SOFTWARE\\Google\\Chrome\\NativeMessagingHosts";
constexpr const wchar_t* kHostName = L"com.kelmarq.pelliport";

HKEY RootOf(PolicyPlace place) { return place == PolicyPlace::Higher ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
REGSAM ViewOf(HKEY root) { return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0; }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A key created (or opened) for writing for as long as the object lives.
class WritableKey {
 public:
  WritableKey(HKEY root, const std::wstring& path) {
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewOf(root), nullptr, &key_,
                          nullptr) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot create a registry key for the test's policies");
    }
  }
  ~WritableKey() { ::RegCloseKey(key_); }
  WritableKey(const WritableKey&) = delete;
  WritableKey& operator=(const WritableKey&) = delete;

  void Set(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    if (::RegSetValueExW(key_, name.empty() ? nullptr : name.c_str(), 0, type, static_cast<const BYTE*>(data),
                         size) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot write a registry value for the test's policies");
    }
  }
  void SetText(const std::wstring& name, const std::wstring& text) {
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

 private:
  HKEY key_ = nullptr;
};

// Removes the key `name` under `parent` with everything in it.
void RemoveTree(HKEY root, const wchar_t* parent, const wchar_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, parent, 0, KEY_ALL_ACCESS | ViewOf(root), &key) != ERROR_SUCCESS) return;
  ::RegDeleteTreeW(key, name);
  ::RegCloseKey(key);
}

void RemoveAll() {
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RemoveTree(root, kPolicyParent, L"Chrome");
  RemoveTree(HKEY_LOCAL_MACHINE, kRegistrationParent, kHostName);
}

}  // namespace

// The prefix is the tests' own: what an earlier run left is removed first.
ChromePolicies::ChromePolicies(const std::filesystem::path&, Environment&) { RemoveAll(); }

ChromePolicies::~ChromePolicies() { RemoveAll(); }

void ChromePolicies::SetBoolean(PolicyPlace place, const std::string& name, bool value) {
  const DWORD number = value ? 1 : 0;
  WritableKey(RootOf(place), kPolicyKey).Set(Wide(name), REG_DWORD, &number, sizeof number);
}

void ChromePolicies::SetList(PolicyPlace place, const std::string& name, const std::vector<std::string>& items) {
  WritableKey list(RootOf(place), std::wstring(kPolicyKey) + L"\\" + Wide(name));
  for (std::size_t i = 0; i < items.size(); ++i) list.SetText(std::to_wstring(i + 1), Wide(items[i]));
}

std::string ChromePolicies::SetWrongType(PolicyPlace place, const std::string& name) {
  const BYTE bytes[] = {0, 1};
  WritableKey(RootOf(place), kPolicyKey).Set(Wide(name), REG_BINARY, bytes, sizeof bytes);
  return "REG_BINARY";
}

std::string ChromePolicies::SetUnreadable(PolicyPlace place) {
  WritableKey(RootOf(place), kPolicyKey).SetText(L"NativeMessagingBlocklist", L"*");
  return "a text that is no JSON list";
}

std::string ChromePolicies::PlaceName(PolicyPlace place) const {
  return std::string(place == PolicyPlace::Higher ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER") +
         "\\SOFTWARE\\Policies\\Google\\Chrome";
}

bool ChromePolicies::RegisterPerMachine(const std::filesystem::path& manifest) {
  WritableKey(HKEY_LOCAL_MACHINE, std::wstring(kRegistrationParent) + L"\\" + kHostName)
      .SetText(L"", manifest.wstring());
  return true;
}

bool PretendFlatpakChrome(const Environment&) { return false; }

}  // namespace pelliport::testing
