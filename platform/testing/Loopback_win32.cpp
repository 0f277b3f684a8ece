// The tests' listener with Windows Sockets 2.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/socket_win32.h"
#include "platform/testing/Loopback.h"

namespace pelliport {
namespace {

class Win32TcpListener final : public TcpListener {
 public:
  Win32TcpListener(SOCKET s, std::uint16_t port) : socket_(s), port_(port) {}
  ~Win32TcpListener() override { ::closesocket(socket_); }
  Win32TcpListener(const Win32TcpListener&) = delete;
  Win32TcpListener& operator=(const Win32TcpListener&) = delete;

  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<TcpSocket> Accept(std::chrono::milliseconds timeout) override {
    if (win32_socket::Select(socket_, timeout) != WaitResult::Readable) return nullptr;
    const SOCKET s = ::accept(socket_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return nullptr;
    const BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return win32_socket::AdoptSocket(s);
  }

 private:
  SOCKET socket_;
  std::uint16_t port_;
};

}  // namespace

std::unique_ptr<TcpListener> ListenOnLoopback(std::uint16_t port, std::u16string& error) {
  win32_socket::EnsureWinsock();
  const SOCKET s = win32_socket::NewStreamSocket();
  if (s == INVALID_SOCKET) {
    error = win32_socket::LastErrorText();
    return nullptr;
  }
  sockaddr_in address = win32_socket::LoopbackAddress(port);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
      ::listen(s, SOMAXCONN) == SOCKET_ERROR ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR) {
    error = win32_socket::LastErrorText();
    ::closesocket(s);
    return nullptr;
  }
  return std::make_unique<Win32TcpListener>(s, ::ntohs(address.sin_port));
}

void ResetConnection(TcpSocket& accepted) {
  if (const SOCKET s = win32_socket::ReleaseSocket(accepted); s != INVALID_SOCKET) {
    const linger abort {1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(s);
  }
}

bool PeersSeeResets() {
  // Wine's ntdll exports wine_get_version; Windows' does not.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace pelliport
