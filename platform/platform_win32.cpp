// The platform on Windows: the bundle of its seams, each of which makes the
// Win32 calls the host has always made.
#include "platform/system_seams.h"
#include "platform/system_win32.h"

#include <algorithm>
#include <string>

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

Platform& SystemPlatform() {
  static Network network;
  static Platform platform{SystemStreams(), SystemText(),     SystemFiles(),
                           SystemClock(),   SystemDesktop(),  SystemIdentity(),
                           SystemUserSettings(), network};
  return platform;
}

}  // namespace pelliport
