#include <windows.h>

// windows.h makes this a macro for its A/W pair; here it is the test helper.
#undef SetEnvironmentVariable

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/RegistryPortValue.h"
#include "platform/utf.h"

namespace pelliport::testing {
namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = DecodeUtf8Lenient(utf8);
  return std::wstring(text.begin(), text.end());
}

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  HANDLE* Receive() { return &handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A pipe whose one end the child inherits.
struct Pipe {
  Handle read, write;
  explicit Pipe(bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(read.Receive(), write.Receive(), &inheritable, 0)) {
      throw std::runtime_error("CreatePipe failed");
    }
    ::SetHandleInformation(childReads ? write.Get() : read.Get(), HANDLE_FLAG_INHERIT, 0);
  }
};

// Windows compares variable names without regard to case.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
  }
};

// This process's environment with the additions (an empty value removes a
// variable), as the block CreateProcessW takes.
std::wstring EnvironmentBlock(const Environment& additions) {
  std::map<std::wstring, std::wstring, NameLess> variables;
  if (wchar_t* strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring text = entry;
      // Entries such as "=C:=C:\dir" start with "=": their name includes it.
      const std::size_t eq = text.find(L'=', 1);
      if (eq == std::wstring::npos) continue;
      variables[text.substr(0, eq)] = text.substr(eq + 1);
    }
    ::FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : additions) {
    if (value.empty()) {
      variables.erase(Wide(name));
    } else {
      variables[Wide(name)] = Wide(value);
    }
  }
  std::wstring block;
  for (const auto& [name, value] : variables) {
    block += name + L"=" + value;
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// Reads the pipe until it ends. A process that the child started can hold
// the pipe open after the child has ended (Wine starts its desktop process
// from the first program that needs it, with that program's handles): once
// the child has ended, the pipe is read for a short while more, not forever.
// False when it gave up on a pipe still held open.
bool ReadAll(HANDLE pipe, HANDLE process, std::string& into) {
  char buffer[65536];
  std::optional<std::chrono::steady_clock::time_point> giveUp;
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;  // ended
    if (available > 0) {
      DWORD read = 0;
      const DWORD piece = std::min<DWORD>(available, sizeof buffer);
      if (!::ReadFile(pipe, buffer, piece, &read, nullptr) || read == 0) return true;
      into.append(buffer, read);
      continue;
    }
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
      const auto now = std::chrono::steady_clock::now();
      if (!giveUp) giveUp = now + std::chrono::seconds(2);
      if (now > *giveUp) return false;
    }
    ::Sleep(2);
  }
}

// Children inherit every inheritable handle of this process. Pipes are made
// inheritable only while this lock is held, so that hosts started at the
// same time from several threads never hold each other's pipes open.
std::mutex& StartLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::string& stdinBytes, const Environment& environment,
                         std::chrono::seconds timeout, BrokenOutputs broken) {
  const std::wstring application = std::filesystem::absolute(program).wstring();
  std::wstring commandLine = L"\"" + application + L"\"";
  for (const auto& argument : arguments) {
    const std::u16string quoted = QuoteCommandLineArgument(DecodeUtf8Lenient(argument));
    commandLine += L" " + std::wstring(quoted.begin(), quoted.end());
  }
  std::wstring block = EnvironmentBlock(environment);

  PROCESS_INFORMATION info{};
  Handle in, out, err;
  {
    const std::lock_guard lock(StartLock());
    Pipe inPipe(true), outPipe(false), errPipe(false);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inPipe.read.Get();
    startup.hStdOutput = outPipe.write.Get();
    startup.hStdError = errPipe.write.Get();
    // Wine now and then refuses a start with ERROR_INTERNAL_ERROR while many
    // processes start at once; a moment later the same start succeeds.
    for (int attempt = 1;; ++attempt) {
      if (::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                           CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr,
                           &startup, &info)) {
        break;
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_INTERNAL_ERROR || attempt == 5) {
        throw std::runtime_error("cannot start " + program.string() + ": error " + std::to_string(error));
      }
      ::Sleep(200);
    }
    // Keep this side's ends; the child's ends close with the pipes here.
    *in.Receive() = std::exchange(*inPipe.write.Receive(), nullptr);
    *out.Receive() = std::exchange(*outPipe.read.Receive(), nullptr);
    *err.Receive() = std::exchange(*errPipe.read.Receive(), nullptr);
  }
  const Handle process(info.hProcess);
  const Handle thread(info.hThread);
  if (broken.standardOutput) out.Close();
  if (broken.standardError) err.Close();

  ProcessResult result;
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < stdinBytes.size()) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(stdinBytes.size() - done, 1u << 20));
      // Fails once the child has ended without reading everything.
      if (!::WriteFile(in.Get(), stdinBytes.data() + done, piece, &written, nullptr) || written == 0) break;
      done += written;
    }
    in.Close();
  });
  bool outEnded = true, errEnded = true;
  std::thread outReader([&] {
    if (!broken.standardOutput) outEnded = ReadAll(out.Get(), process.Get(), result.stdoutBytes);
  });
  std::thread errReader([&] {
    if (!broken.standardError) errEnded = ReadAll(err.Get(), process.Get(), result.stderrBytes);
  });

  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
  const bool ended = ::WaitForSingleObject(process.Get(), static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
  if (!ended) {
    ::TerminateProcess(process.Get(), 1);
    ::WaitForSingleObject(process.Get(), INFINITE);
  }
  writer.join();
  outReader.join();
  errReader.join();
  result.outputHeldOpen = !outEnded || !errEnded;
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.Get(), &exitCode);
  result.exitCode = ended ? static_cast<int>(exitCode) : -1;
  return result;
}

void SetEnvironmentVariable(const std::string& name, const std::string& value) {
  const std::wstring wideValue = Wide(value);
  ::SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : wideValue.c_str());
}

namespace {

// Every host process uses the same local application-data folder, the
// Wine prefix's or the user's, and the same registry: one sandbox at a time,
// across test programs. It starts without a log file, a settings file or a
// port setting, and puts the user's port setting back afterwards.
class SharedAppDataClaim {
 public:
  explicit SharedAppDataClaim(std::filesystem::path orvanta)
      : orvanta_(std::move(orvanta)), mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\PelliportHostSandbox")) {
    if (mutex_.Get() != nullptr) ::WaitForSingleObject(mutex_.Get(), INFINITE);
    Clean();
    try {
      savedPort_ = ReadPortValue();
      WritePortValue(std::nullopt);
    } catch (...) {
      if (mutex_.Get() != nullptr) ::ReleaseMutex(mutex_.Get());
      throw;
    }
  }
  ~SharedAppDataClaim() {
    Clean();
    try {
      WritePortValue(savedPort_);
    } catch (const std::exception&) {
      // Nothing more can be done here; the next sandbox starts clean anyway.
    }
    if (mutex_.Get() != nullptr) ::ReleaseMutex(mutex_.Get());
  }
  SharedAppDataClaim(const SharedAppDataClaim&) = delete;
  SharedAppDataClaim& operator=(const SharedAppDataClaim&) = delete;

 private:
  void Clean() {
    std::error_code ignored;
    std::filesystem::remove(orvanta_ / "PelliportLog.txt", ignored);
    std::filesystem::remove(orvanta_ / "PelliportHost.ini", ignored);
    std::filesystem::create_directories(orvanta_, ignored);
  }

  std::filesystem::path orvanta_;
  Handle mutex_;
  std::optional<RegistryValue> savedPort_;
};

}  // namespace

HostSandbox::HostSandbox(const std::filesystem::path& scratch)
    : appData_(std::filesystem::path(SystemPlatform().files.LocalAppDataFolder())), temp_(scratch / "temp") {
  claim_ = std::make_shared<SharedAppDataClaim>(appData_ / "Orvanta");
  std::filesystem::create_directories(temp_);
  // The host's "temp" is the environment variable.
  const std::string temp = EncodeUtf8(temp_.u16string());
  environment_ = {{"TEMP", temp}, {"TMP", temp}};
}

void HostSandbox::SetPort(const std::string& value) {
  RegistryValue stored;
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (!value.empty() && error == std::errc() && end == value.data() + value.size()) {
    stored.type = REG_DWORD;
    stored.data.resize(sizeof number);
    std::memcpy(stored.data.data(), &number, sizeof number);
  } else {
    const std::wstring text = Wide(value);
    stored.type = REG_SZ;
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    stored.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  }
  WritePortValue(stored);
}

void HostSandbox::RemovePort() { WritePortValue(std::nullopt); }

bool HostSandbox::BoxesOnStandardError() { return false; }

}  // namespace pelliport::testing
