// Who runs the host on Windows.
#include <optional>
#include <string>

#include "platform/system_seams.h"
#include "platform/system_win32.h"

namespace pelliport {
namespace {

using win32::UpToNul;

class Win32Identity final : public Identity {
 public:
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
};

}  // namespace

Identity& SystemIdentity() {
  static Win32Identity identity;
  return identity;
}

}  // namespace pelliport
