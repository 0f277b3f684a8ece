// TCP sockets with Windows Sockets 2.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>

#include "platform/socket_win32.h"
#include "platform/utf.h"

// Older mingw-w64 headers lack these; the values are the system's.
#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif
#ifndef SIO_TCP_INITIAL_RTO
#define SIO_TCP_INITIAL_RTO _WSAIOW(IOC_VENDOR, 17)
#endif
#ifndef TCP_INITIAL_RTO_UNSPECIFIED_RTT
#define TCP_INITIAL_RTO_UNSPECIFIED_RTT ((USHORT)-1)
#endif
#ifndef TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS
#define TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS ((UCHAR)-2)
typedef struct _TCP_INITIAL_RTO_PARAMETERS {
  USHORT Rtt;
  UCHAR MaxSynRetransmissions;
} TCP_INITIAL_RTO_PARAMETERS;
#endif

namespace pelliport {
namespace {

// Windows Sockets is started once per process, on first use, and cleaned up
// when the process ends.
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data {};
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (started_) ::WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

 private:
  bool started_ = false;
};

}  // namespace

namespace win32_socket {

void EnsureWinsock() { static WinsockSession session; }

std::u16string ErrorText(int error) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n != 0 && buffer != nullptr) {
    text.assign(reinterpret_cast<const char16_t*>(buffer), n);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
      text.pop_back();
    }
  }
  if (buffer != nullptr) ::LocalFree(buffer);
  if (text.empty()) {
    const std::string number = std::to_string(error);
    text = u"Socket Error # " + std::u16string(number.begin(), number.end());
  }
  return text;
}

std::u16string LastErrorText() { return ErrorText(::WSAGetLastError()); }

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(port);
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  return address;
}

// A socket that no program the host starts inherits. Systems before
// Windows 7 SP1 refuse the flag; there the handle is made non-inheritable
// after the fact.
SOCKET NewStreamSocket() {
  SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
  }
  return s;
}

WaitResult Select(SOCKET s, std::chrono::milliseconds timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit {};
  limit.tv_sec = static_cast<long>(timeout.count() / 1000);
  limit.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
  const int n = ::select(0, &readable, nullptr, nullptr, &limit);
  if (n > 0) return WaitResult::Readable;
  if (n == 0) return WaitResult::TimedOut;
  return WaitResult::Failed;
}

}  // namespace win32_socket

namespace {

using win32_socket::EnsureWinsock;
using win32_socket::ErrorText;
using win32_socket::LastErrorText;
using win32_socket::LoopbackAddress;
using win32_socket::NewStreamSocket;
using win32_socket::Select;

// A refused connect to the loopback address fails at once instead of
// retrying the SYN for about two seconds. Best effort: systems without the
// control code connect as before.
void NoSynRetransmissions(SOCKET s) {
  TCP_INITIAL_RTO_PARAMETERS parameters {};
  parameters.Rtt = TCP_INITIAL_RTO_UNSPECIFIED_RTT;
  parameters.MaxSynRetransmissions = TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_TCP_INITIAL_RTO, &parameters, sizeof parameters, nullptr, 0, &returned, nullptr,
             nullptr);
}

class Win32TcpSocket final : public TcpSocket {
 public:
  Win32TcpSocket() = default;
  explicit Win32TcpSocket(SOCKET s) : socket_(s) {}
  ~Win32TcpSocket() override { Close(); }
  Win32TcpSocket(const Win32TcpSocket&) = delete;
  Win32TcpSocket& operator=(const Win32TcpSocket&) = delete;

  SocketStatus ConnectLoopback(std::uint16_t port) override {
    EnsureWinsock();
    Close();
    const SOCKET s = NewStreamSocket();
    if (s == INVALID_SOCKET) return {LastErrorText()};
    socket_ = s;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = ::htonl(INADDR_ANY);
    const BOOL on = TRUE;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on) == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      Close();
      return {ErrorText(error)};
    }
    NoSynRetransmissions(s);
    const sockaddr_in remote = LoopbackAddress(port);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      Close();
      return {ErrorText(error)};
    }
    return {};
  }

  SocketStatus SendAll(std::span<const std::uint8_t> bytes,
                       std::chrono::steady_clock::time_point deadline) override {
    const SOCKET s = socket_;
    if (s == INVALID_SOCKET) return {u"Socket is closed"};
    while (!bytes.empty()) {
      // Each send call may block only for the time that is left. Pieces of
      // at most 64 KiB keep the amount a timed-out call may have taken small.
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= std::chrono::milliseconds::zero()) return {u"Send timed out", true};
      const DWORD limit = static_cast<DWORD>(std::min<std::int64_t>(left.count(), 60000));
      ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
      const int piece = static_cast<int>(std::min<std::size_t>(bytes.size(), 65536));
      const int n = ::send(s, AsChars(bytes).data(), piece, 0);
      if (n == SOCKET_ERROR) {
        const int error = ::WSAGetLastError();
        if (error == WSAETIMEDOUT) return {u"Send timed out", true};
        return {ErrorText(error)};
      }
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
  }

  WaitResult WaitReadable(std::chrono::milliseconds timeout) override {
    const SOCKET s = socket_;
    if (s == INVALID_SOCKET) return WaitResult::Failed;
    return Select(s, timeout);
  }

  ReceiveResult Receive(std::span<std::uint8_t> into) override {
    const SOCKET s = socket_;
    if (s == INVALID_SOCKET) return {0, u"Socket is closed"};
    const int piece = static_cast<int>(into.size() < INT_MAX ? into.size() : INT_MAX);
    const int n = ::recv(s, reinterpret_cast<char*>(into.data()), piece, 0);
    if (n == SOCKET_ERROR) return {0, LastErrorText()};
    return {static_cast<std::size_t>(n), {}};
  }

  void ShutdownSend() override {
    if (const SOCKET s = socket_; s != INVALID_SOCKET) ::shutdown(s, SD_SEND);
  }

  void ShutdownBoth() override {
    if (const SOCKET s = socket_; s != INVALID_SOCKET) ::shutdown(s, SD_BOTH);
  }

  void Close() override {
    if (const SOCKET s = socket_.exchange(INVALID_SOCKET); s != INVALID_SOCKET) ::closesocket(s);
  }

  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

  SOCKET Release() { return socket_.exchange(INVALID_SOCKET); }

 private:
  std::atomic<SOCKET> socket_ {INVALID_SOCKET};
};

}  // namespace

std::unique_ptr<TcpSocket> CreateSystemTcpSocket() { return std::make_unique<Win32TcpSocket>(); }

namespace win32_socket {

std::unique_ptr<TcpSocket> AdoptSocket(SOCKET s) { return std::make_unique<Win32TcpSocket>(s); }

SOCKET ReleaseSocket(TcpSocket& socket) { return dynamic_cast<Win32TcpSocket&>(socket).Release(); }

}  // namespace win32_socket

}  // namespace pelliport
