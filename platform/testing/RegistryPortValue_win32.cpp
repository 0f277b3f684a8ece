#include "platform/testing/RegistryPortValue.h"

#include <stdexcept>

namespace pelliport::testing {
namespace {

constexpr const wchar_t* kPortKey = L"Software\\Kelmarq\\Orvanta";
constexpr const wchar_t* kPortValue = L"WebSocketPort";

// The user's registry key of the port setting, opened (or created) for as
// long as the object lives.
class PortKey {
 public:
  PortKey() {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kPortKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot open the registry key of the port setting");
    }
  }
  ~PortKey() { ::RegCloseKey(key_); }
  PortKey(const PortKey&) = delete;
  PortKey& operator=(const PortKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::optional<RegistryValue> ReadPortValue() {
  const PortKey key;
  RegistryValue value;
  DWORD size = 0;
  if (::RegQueryValueExW(key.Get(), kPortValue, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  ::RegQueryValueExW(key.Get(), kPortValue, nullptr, &value.type, value.data.data(), &size);
  value.data.resize(size);
  return value;
}

void WritePortValue(const std::optional<RegistryValue>& value) {
  const PortKey key;
  if (!value) {
    ::RegDeleteValueW(key.Get(), kPortValue);
  } else if (::RegSetValueExW(key.Get(), kPortValue, 0, value->type, value->data.data(),
                              static_cast<DWORD>(value->data.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write the registry value of the port setting");
  }
}

}  // namespace pelliport::testing
