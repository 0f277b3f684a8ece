// The platform on Windows: the Win32 calls the host has always made.
#include "platform/platform.h"
#include "platform/system_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

// windows.h turns these into macros for its A/W pairs; here they are the
// names of the platform's own operations.
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory

#include <algorithm>
#include <array>
#include <optional>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/command_line.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace win32 {

std::u16string UpToNul(const wchar_t* buffer, std::size_t capacity) {
  return FromWide(std::wstring_view(buffer, std::find(buffer, buffer + capacity, L'\0') - buffer));
}

std::u16string SystemErrorText(DWORD error) {
  wchar_t buffer[1024] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, buffer, static_cast<DWORD>(std::size(buffer)),
                                   nullptr);
  std::u16string text = UpToNul(buffer, n);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
    text.pop_back();
  }
  if (text.empty()) text = u"Error " + U16(std::to_string(error));
  return text;
}

}  // namespace win32

namespace {

using win32::FromWide;
using win32::RegistryKey;
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

// A standard handle, or null when the process has none.
HANDLE StandardHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool WriteAll(HANDLE handle, const std::uint8_t* data, std::size_t size) {
  if (handle == nullptr) return false;
  while (size > 0) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::WriteFile(handle, data, piece, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// The conversion calls take int lengths: longer texts go in pieces that
// never split a character.
constexpr std::size_t kPiece = 1u << 26;

std::size_t Utf8PieceEnd(std::string_view bytes, std::size_t start) {
  if (bytes.size() - start <= kPiece) return bytes.size();
  return start + Utf8CompleteEnd(bytes.substr(start, kPiece));
}

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

class Win32Platform final : public Platform {
 public:
  std::size_t ReadStdin(std::span<std::uint8_t> into) override {
    const HANDLE input = StandardHandle(STD_INPUT_HANDLE);
    if (input == nullptr || into.empty()) return 0;
    DWORD read = 0;
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 30));
    // A closed pipe (ERROR_BROKEN_PIPE) is the end of input, like any failure.
    if (!::ReadFile(input, into.data(), size, &read, nullptr)) return 0;
    return read;
  }

  OutputKind StdoutKind() override {
    const HANDLE output = StandardHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr) return OutputKind::None;
    switch (::GetFileType(output)) {
      case FILE_TYPE_CHAR:
        return OutputKind::Console;
      case FILE_TYPE_DISK:
      case FILE_TYPE_PIPE:
        return OutputKind::PipeOrFile;
      default:
        return OutputKind::None;
    }
  }

  bool WriteStdout(std::span<const std::uint8_t> bytes) override {
    return WriteAll(StandardHandle(STD_OUTPUT_HANDLE), bytes.data(), bytes.size());
  }

  void WriteStderr(std::u16string_view text) override {
    const HANDLE error = StandardHandle(STD_ERROR_HANDLE);
    if (error == nullptr) return;
    // A console shows Unicode as it is; converted to a code page, umlauts
    // would come out in the wrong one.
    if (DWORD mode = 0; ::GetConsoleMode(error, &mode)) {
      for (std::size_t done = 0; done < text.size();) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 16384));
        if (!::WriteConsoleW(error, text.data() + done, piece, &written, nullptr) || written == 0) return;
        done += written;
      }
      return;
    }
    // A pipe or file gets the ANSI code page, as the error reply does. What
    // cannot be converted is not written: standard error is the last resort.
    try {
      const std::string bytes = FromUnicode(text, AnsiCodePage());
      WriteAll(error, AsBytes(bytes).data(), bytes.size());
    } catch (const HostError&) {
    }
  }

  bool Utf8ToUnicode(std::string_view bytes, std::u16string& text) override {
    for (std::size_t start = 0; start < bytes.size();) {
      const std::size_t end = Utf8PieceEnd(bytes, start);
      const int length = static_cast<int>(end - start);
      // Never more units than bytes: decoded straight into the text's end.
      const std::size_t base = text.size();
      text.resize(base + static_cast<std::size_t>(length));
      const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length,
                                              reinterpret_cast<wchar_t*>(text.data() + base), length);
      if (units == 0) return false;
      text.resize(base + static_cast<std::size_t>(units));
      start = end;
    }
    return true;
  }

  unsigned AnsiCodePage() override { return ::GetACP(); }
  unsigned ConsoleOutputCodePage() override { return ::GetConsoleOutputCP(); }

  std::string FromUnicode(std::u16string_view text, unsigned codePage) override {
    std::string bytes;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = PieceEnd(text, start, kPiece);
      const std::wstring piece = Wide(text.substr(start, end - start));
      const int length = static_cast<int>(piece.size());
      const int size =
          ::WideCharToMultiByte(codePage, 0, piece.data(), length, nullptr, 0, nullptr, nullptr);
      const std::size_t at = bytes.size();
      if (size > 0) bytes.resize(at + static_cast<std::size_t>(size));
      if (size <= 0 || ::WideCharToMultiByte(codePage, 0, piece.data(), length, bytes.data() + at, size,
                                             nullptr, nullptr) != size) {
        // Text that silently went missing would be a file or log line cut
        // short without anyone knowing.
        const DWORD error = ::GetLastError();
        throw HostError(u"EEncodingError", u"Text kann nicht in die Codepage " + Decimal(codePage) +
                                               u" umgewandelt werden. " + SystemErrorText(error));
      }
      start = end;
    }
    return bytes;
  }

  std::u16string ToUpper(std::u16string_view text) override {
    std::wstring upper = Wide(text);
    for (std::size_t start = 0; start < upper.size(); start += kPiece) {
      const std::size_t length = std::min(kPiece, upper.size() - start);
      ::CharUpperBuffW(upper.data() + start, static_cast<DWORD>(length));
    }
    return FromWide(upper);
  }

  std::vector<std::u16string> ProgramArguments() override {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::u16string> arguments;
    if (argv == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(FromWide(argv[i]));
    ::LocalFree(argv);
    return arguments;
  }

  std::u16string ProgramPath() override {
    // Long paths: grow the buffer until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return {};
      if (n < buffer.size()) return FromWide(std::wstring_view(buffer.data(), n));
      if (buffer.size() >= 32768) return {};
      buffer.resize(buffer.size() * 2);
    }
  }

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

  std::u16string ReadProfileString(std::u16string_view path, std::u16string_view section,
                                   std::u16string_view key,
                                   std::u16string_view defaultValue) override {
    wchar_t buffer[2048] = {};
    const DWORD length = ::GetPrivateProfileStringW(
        Wide(section).c_str(), Wide(key).c_str(), Wide(defaultValue).c_str(), buffer,
        static_cast<DWORD>(std::size(buffer)), Wide(path).c_str());
    return FromWide(std::wstring_view(buffer, std::min<std::size_t>(length, std::size(buffer) - 1)));
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

  LocalDateTime LocalTime() override {
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
            now.wMilliseconds};
  }

  std::u16string FormatDateTime(const LocalDateTime& time) override {
    SYSTEMTIME value {};
    value.wYear = static_cast<WORD>(time.year);
    value.wMonth = static_cast<WORD>(time.month);
    value.wDay = static_cast<WORD>(time.day);
    value.wHour = static_cast<WORD>(time.hour);
    value.wMinute = static_cast<WORD>(time.minute);
    value.wSecond = static_cast<WORD>(time.second);
    value.wMilliseconds = static_cast<WORD>(time.millisecond);
    wchar_t buffer[128] = {};
    const int dateLength = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value, nullptr,
                                            buffer, static_cast<int>(std::size(buffer)));
    std::u16string text = UpToNul(buffer, dateLength > 0 ? static_cast<std::size_t>(dateLength) : 0);
    const bool midnight = time.hour == 0 && time.minute == 0 && time.second == 0 &&
                          time.millisecond == 0;
    if (!midnight) {
      const int timeLength = ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &value, nullptr, buffer,
                                              static_cast<int>(std::size(buffer)));
      text += u' ';
      text += UpToNul(buffer, timeLength > 0 ? static_cast<std::size_t>(timeLength) : 0);
    }
    return text;
  }

  void Sleep(std::chrono::milliseconds duration) override {
    ::Sleep(static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0,
                                                                          INFINITE - 1)));
  }

  std::uint32_t TickCount() override { return ::GetTickCount(); }

  std::optional<std::uint64_t> PerformanceCounter() override {
    LARGE_INTEGER counter {};
    if (!::QueryPerformanceCounter(&counter)) return std::nullopt;
    return static_cast<std::uint64_t>(counter.QuadPart);
  }

  void ShowErrorBox(std::u16string_view caption, std::u16string_view text) override {
    // The browser started the host in the background: without being brought
    // to the front and kept there, the box can open behind the browser and
    // the host would wait for a box nobody sees.
    ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(),
                  MB_ICONERROR | MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
  }

  void InitializeCom() override { ::CoInitialize(nullptr); }

  void LaunchViewer(std::u16string_view program, std::u16string_view argument) override {
    // The path goes over as exactly one argument, blanks and all.
    const std::wstring parameters = Wide(QuoteCommandLineArgument(argument));
    // The browser's pipes are the host's standard handles, created
    // inheritable for the host. Whether the shell starts a program with
    // handle inheritance or with the caller's standard handles depends on
    // the shell and the program's kind; a viewer that got them would keep
    // the browser's pipes open after the host has ended and could read what
    // the browser writes. So they are not inheritable, and not the caller's
    // standard handles while the shell starts the viewer.
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3] = {};
    for (int i = 0; i < 3; ++i) {
      saved[i] = ::GetStdHandle(kinds[i]);
      if (saved[i] != nullptr && saved[i] != INVALID_HANDLE_VALUE) {
        ::SetHandleInformation(saved[i], HANDLE_FLAG_INHERIT, 0);
      }
      ::SetStdHandle(kinds[i], nullptr);
    }
    ::ShellExecuteW(nullptr, L"open", Wide(program).c_str(),
                    argument.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOWNORMAL);
    for (int i = 0; i < 3; ++i) ::SetStdHandle(kinds[i], saved[i]);
  }

  std::optional<std::u16string> ComputerName() override {
    wchar_t buffer[256] = {};
    DWORD size = 255;
    if (!::GetComputerNameW(buffer, &size)) return std::nullopt;
    return UpToNul(buffer, std::size(buffer));
  }

  std::optional<std::u16string> UserName() override {
    wchar_t buffer[256] = {};
    DWORD size = 255;
    if (!::GetUserNameW(buffer, &size)) return std::nullopt;
    return UpToNul(buffer, std::size(buffer));
  }

  PortSetting ReadPortSetting() override {
    RegistryKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kPortKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS) {
      return {};  // not reachable
    }
    return ReadPortValue(key.Get());
  }

  std::u16string PortSettingLocation() override {
    return FromWide(std::wstring(L"HKEY_CURRENT_USER\\") + kPortKey + L", value WebSocketPort");
  }

  PortSetting InspectPortSetting() override {
    // Opened as the host opens it, with full access, but never created.
    RegistryKey key;
    const LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kPortKey, 0, KEY_ALL_ACCESS, key.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
      PortSetting setting;
      setting.outcome = PortSetting::Outcome::Missing;
      return setting;
    }
    if (status != ERROR_SUCCESS) return {};  // not reachable
    return ReadPortValue(key.Get());
  }

 private:
  static constexpr const wchar_t* kPortKey = L"Software\\Kelmarq\\Orvanta";

  static PortSetting ReadPortValue(HKEY key) {
    PortSetting setting;
    const wchar_t* name = L"WebSocketPort";
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      setting.outcome = PortSetting::Outcome::Missing;
      return setting;
    }
    std::uint8_t data[4] = {};
    size = sizeof data;
    const LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &type, data, &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD) {
      setting.outcome = PortSetting::Outcome::Unreadable;
      setting.errorKind = u"ERegistryException";
      setting.errorMessage = status != ERROR_SUCCESS
                                 ? U16("Fehler beim Holen der Daten für 'WebSocketPort'")
                                 : U16("Ungültiger Datentyp für 'WebSocketPort'");
      return setting;
    }
    std::int32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    setting.outcome = PortSetting::Outcome::Read;
    setting.value = value;
    return setting;
  }

};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace pelliport
