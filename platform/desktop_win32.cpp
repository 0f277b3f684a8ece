// The desktop on Windows: message boxes, the shell, COM.
#include "platform/system_win32.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "platform/command_line.h"
#include "platform/system_seams.h"

namespace pelliport {
namespace {

using win32::Wide;

class Win32Desktop final : public Desktop {
 public:
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
};

}  // namespace

Desktop& SystemDesktop() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace pelliport
