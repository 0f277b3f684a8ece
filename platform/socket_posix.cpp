// TCP sockets with BSD sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/socket_posix.h"
#include "platform/utf.h"

namespace pelliport {
namespace posix_socket {

std::u16string ErrorText(int error) { return DecodeUtf8Lenient(std::strerror(error)); }

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

WaitResult Poll(int fd, short events, std::chrono::milliseconds timeout) {
  pollfd entry {fd, events, 0};
  for (;;) {
    const int n = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (n > 0) return WaitResult::Readable;
    if (n == 0) return WaitResult::TimedOut;
    if (errno != EINTR) return WaitResult::Failed;
  }
}

}  // namespace posix_socket

namespace {

using posix_socket::ErrorText;
using posix_socket::LoopbackAddress;
using posix_socket::Poll;

class PosixTcpSocket final : public TcpSocket {
 public:
  PosixTcpSocket() = default;
  explicit PosixTcpSocket(int fd) : fd_(fd) {}
  ~PosixTcpSocket() override { Close(); }
  PosixTcpSocket(const PosixTcpSocket&) = delete;
  PosixTcpSocket& operator=(const PosixTcpSocket&) = delete;

  SocketStatus ConnectLoopback(std::uint16_t port) override {
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return {ErrorText(errno)};
    fd_ = fd;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    const int on = 1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
      const int error = errno;
      Close();
      return {ErrorText(error)};
    }
    const sockaddr_in remote = LoopbackAddress(port);
    int result;
    do {
      result = ::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      const int error = errno;
      Close();
      return {ErrorText(error)};
    }
    return {};
  }

  SocketStatus SendAll(std::span<const std::uint8_t> bytes,
                       std::chrono::steady_clock::time_point deadline) override {
    const int fd = fd_;
    if (fd < 0) return {u"Socket is closed"};
    while (!bytes.empty()) {
      // Without blocking: when the peer's buffers are full, wait for room,
      // but only until the deadline. MSG_NOSIGNAL: a peer that is gone gives
      // EPIPE, not a signal that ends the process.
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        continue;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return {ErrorText(errno)};
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= std::chrono::milliseconds::zero()) return {u"Send timed out", true};
      Poll(fd, POLLOUT, std::min(left, std::chrono::milliseconds(1000)));
    }
    return {};
  }

  WaitResult WaitReadable(std::chrono::milliseconds timeout) override {
    const int fd = fd_;
    if (fd < 0) return WaitResult::Failed;
    return Poll(fd, POLLIN, timeout);
  }

  ReceiveResult Receive(std::span<std::uint8_t> into) override {
    const int fd = fd_;
    if (fd < 0) return {0, u"Socket is closed"};
    for (;;) {
      const ssize_t n = ::recv(fd, into.data(), into.size(), 0);
      if (n >= 0) return {static_cast<std::size_t>(n), {}};
      if (errno != EINTR) return {0, ErrorText(errno)};
    }
  }

  void ShutdownSend() override {
    if (const int fd = fd_; fd >= 0) ::shutdown(fd, SHUT_WR);
  }

  void ShutdownBoth() override {
    if (const int fd = fd_; fd >= 0) ::shutdown(fd, SHUT_RDWR);
  }

  void Close() override {
    if (const int fd = fd_.exchange(-1); fd >= 0) ::close(fd);
  }

  bool IsOpen() const override { return fd_ >= 0; }

  int Release() { return fd_.exchange(-1); }

 private:
  std::atomic<int> fd_ {-1};
};

}  // namespace

std::unique_ptr<TcpSocket> CreateSystemTcpSocket() { return std::make_unique<PosixTcpSocket>(); }

namespace posix_socket {

std::unique_ptr<TcpSocket> AdoptSocket(int fd) { return std::make_unique<PosixTcpSocket>(fd); }

int ReleaseDescriptor(TcpSocket& socket) { return dynamic_cast<PosixTcpSocket&>(socket).Release(); }

}  // namespace posix_socket

}  // namespace pelliport
