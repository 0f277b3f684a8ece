#include "platform/testing/Sockets.h"

#include <windows.h>

namespace pelliport::testing {

bool PeersSeeResets() {
  // Wine's ntdll exports wine_get_version; Windows' does not.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace pelliport::testing
