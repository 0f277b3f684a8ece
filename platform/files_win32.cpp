// Files and folders on Windows.
#include "platform/system_win32.h"

#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_seams.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using win32::FromWide;
using win32::SystemErrorText;
using win32::UniqueHandle;
using win32::UpToNul;
using win32::Wide;

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (Valid()) ::FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  std::optional<std::uint64_t> Size() override {
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(handle_, &size)) return Failed(std::nullopt);
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (!Seek(static_cast<LONGLONG>(offset), FILE_BEGIN)) return false;
    std::size_t done = 0;
    while (done < into.size()) {
      DWORD read = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
      if (!::ReadFile(handle_, into.data() + done, piece, &read, nullptr)) return Failed(false);
      if (read == 0) return false;
      done += read;
    }
    return true;
  }

  bool Truncate(std::uint64_t size) override {
    return Seek(static_cast<LONGLONG>(size), FILE_BEGIN) && (::SetEndOfFile(handle_) || Failed(false));
  }

  bool Append(std::span<const std::uint8_t> bytes) override {
    if (!Seek(0, FILE_END)) return false;
    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      if (!::WriteFile(handle_, data, piece, &written, nullptr)) return Failed(false);
      if (written == 0) {
        error_ = ERROR_DISK_FULL;
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  }

  bool Close() override {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) || Failed(false);
  }

  std::u16string ErrorText() const override { return SystemErrorText(error_); }

 private:
  template <typename T>
  T Failed(T result) {
    error_ = ::GetLastError();
    return result;
  }

  bool Seek(LONGLONG offset, DWORD from) {
    LARGE_INTEGER distance {};
    distance.QuadPart = offset;
    return ::SetFilePointerEx(handle_, distance, nullptr, from) != 0 || Failed(false);
  }

  HANDLE handle_;
  DWORD error_ = ERROR_SUCCESS;
};

class Win32Files final : public Files {
 public:
  std::u16string LocalAppDataFolder() override {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, FALSE)) return {};
    return UpToNul(buffer, std::size(buffer));
  }

  std::u16string TempFolder() override {
    const DWORD needed = ::GetEnvironmentVariableW(L"temp", nullptr, 0);
    if (needed == 0) return {};
    std::wstring value(needed, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"temp", value.data(), needed);
    if (length == 0 || length >= needed) return {};
    value.resize(length);
    return FromWide(value);
  }

  char16_t PathSeparator() override { return u'\\'; }

  std::optional<std::uint64_t> FindFileSize(std::u16string_view path) override {
    WIN32_FIND_DATAW data {};
    const FindHandle search(::FindFirstFileW(Wide(path).c_str(), &data));
    if (!search.Valid()) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool FileExists(std::u16string_view path) override {
    if (path.empty()) return false;
    const std::wstring name = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    // A link: what counts is what it leads to.
    const UniqueHandle target(::CreateFileW(name.c_str(), 0,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    return target.Valid() && ::GetFileInformationByHandle(target.Get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool DeleteFile(std::u16string_view path) override {
    return ::DeleteFileW(Wide(path).c_str()) != 0;
  }

  CreateDirectoryOutcome CreateDirectory(std::u16string_view path) override {
    CreateDirectoryOutcome outcome;
    if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) {
      outcome.result = CreateDirectoryResult::Created;
      return outcome;
    }
    const DWORD error = ::GetLastError();
    outcome.result = error == ERROR_ALREADY_EXISTS ? CreateDirectoryResult::AlreadyExists
                                                   : CreateDirectoryResult::Failed;
    outcome.errorText = SystemErrorText(error);
    return outcome;
  }

  UniqueFileResult CreateUniqueFile(std::u16string_view folder) override {
    UniqueFileResult result;
    // An empty folder would make GetTempFileNameW create the file in the
    // current folder.
    if (folder.empty()) {
      result.errorText = SystemErrorText(ERROR_PATH_NOT_FOUND);
      return result;
    }
    wchar_t buffer[MAX_PATH + 1] = {};
    // An empty prefix: the name is the folder, the number and ".tmp".
    if (::GetTempFileNameW(Wide(folder).c_str(), L"", 0, buffer) == 0) {
      result.errorText = SystemErrorText(::GetLastError());
      return result;
    }
    result.name = UpToNul(buffer, std::size(buffer));
    return result;
  }

  OpenResult OpenFile(std::u16string_view path, OpenMode mode) override {
    const bool create = mode == OpenMode::CreateAlways;
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(),
                                        create ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr,
                                        create ? CREATE_ALWAYS : OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    OpenResult result;
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      result.busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
      result.errorText = SystemErrorText(error);
      return result;
    }
    result.file = std::make_unique<Win32File>(handle);
    return result;
  }

  RotateResult RenameFileIfLarger(std::u16string_view path, std::uint64_t limit,
                                  std::u16string_view newPath) override {
    // Opened for deletion with sharing for reading only: while a writer holds
    // the file this fails (busy), and while it is held here no writer opens
    // it. Size and rename go through the same handle.
    const UniqueHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return RotateResult::Kept;
      return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? RotateResult::Busy
                                                                               : RotateResult::Failed;
    }
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(file.Get(), &size)) return RotateResult::Failed;
    if (static_cast<std::uint64_t>(size.QuadPart) <= limit) return RotateResult::Kept;
    const std::wstring target = Wide(newPath);
    std::vector<std::uint8_t> info(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(file.Get(), FileRenameInfo, rename, static_cast<DWORD>(info.size()))) {
      return ::GetLastError() == ERROR_SHARING_VIOLATION ? RotateResult::Busy : RotateResult::Failed;
    }
    return RotateResult::Rotated;
  }

  FileChange ReplaceFile(std::u16string_view from, std::u16string_view to) override {
    // Within one folder MoveFileExW renames: the name changes in one step.
    if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return {false, SystemErrorText(::GetLastError())};
    }
    return {true, {}};
  }

  FileChange LetEveryoneRead(std::u16string_view path) override {
    // What the program made took its folder's permissions (Program Files:
    // every user reads it); they stay as they are.
    if (::GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
      return {false, SystemErrorText(::GetLastError())};
    }
    return {true, {}};
  }

  bool RemoveDirectory(std::u16string_view path) override {
    return ::RemoveDirectoryW(Wide(path).c_str()) != 0;
  }

  bool IsSameFile(std::u16string_view a, std::u16string_view b) override {
    const auto identity = [](std::u16string_view path) -> std::optional<std::array<DWORD, 3>> {
      // No access rights are needed to ask for a file's identity.
      const UniqueHandle handle(::CreateFileW(Wide(path).c_str(), 0,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      BY_HANDLE_FILE_INFORMATION info {};
      if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
      return std::array<DWORD, 3>{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    };
    const auto first = identity(a);
    return first && first == identity(b);
  }
};

}  // namespace

Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace pelliport
