// The user's desktop: message boxes, programs started for the user, COM.
#pragma once

#include <string_view>

namespace pelliport {

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Modal error box (MessageBoxW, no owner, MB_ICONERROR); returns when closed.
  virtual void ShowErrorBox(std::u16string_view caption, std::u16string_view text) = 0;
  virtual void InitializeCom() = 0;
  // Starts the program with the argument as its one parameter (none when the
  // argument is empty) and does not wait for it (ShellExecuteW "open").
  virtual void LaunchViewer(std::u16string_view program, std::u16string_view argument) = 0;
};

}  // namespace pelliport
