// Standard streams and the program on Windows.
#include "platform/system_win32.h"

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/system_seams.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using win32::FromWide;

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

class Win32Streams final : public Streams {
 public:
  explicit Win32Streams(Text& text) : text_(text) {}

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
      const std::string bytes = text_.FromUnicode(text, text_.AnsiCodePage());
      WriteAll(error, AsBytes(bytes).data(), bytes.size());
    } catch (const HostError&) {
    }
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
 private:
  Text& text_;  // a pipe or file gets the ANSI code page
};

}  // namespace

Streams& SystemStreams() {
  static Win32Streams streams(SystemText());
  return streams;
}

}  // namespace pelliport
