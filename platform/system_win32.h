// What the Windows files of the product modules share with the platform:
// texts across the Win32 boundary, the system's error texts, and owners of
// handles and registry keys.
#pragma once

#include <windows.h>

// windows.h turns these into macros for its A/W pairs; in the host they are
// the names of the platform's own operations.
#undef CreateDirectory
#undef DeleteFile
#undef RemoveDirectory

#include <string>
#include <string_view>

namespace pelliport::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 texts are UTF-16");

// Texts cross into Win32 as wchar_t, code unit for code unit.
inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
// A fixed buffer the system filled: its text ends at the first NUL.
std::u16string UpToNul(const wchar_t* buffer, std::size_t capacity);

// The system's own text for an error code, without the line break at its end.
std::u16string SystemErrorText(DWORD error);

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (Valid()) ::CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace pelliport::win32
