// The tests' listener with BSD sockets.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/socket_posix.h"
#include "platform/testing/Loopback.h"

namespace pelliport {
namespace {

using posix_socket::ErrorText;

class PosixTcpListener final : public TcpListener {
 public:
  PosixTcpListener(int fd, std::uint16_t port) : fd_(fd), port_(port) {}
  ~PosixTcpListener() override { ::close(fd_); }
  PosixTcpListener(const PosixTcpListener&) = delete;
  PosixTcpListener& operator=(const PosixTcpListener&) = delete;

  std::uint16_t Port() const override { return port_; }

  std::unique_ptr<TcpSocket> Accept(std::chrono::milliseconds timeout) override {
    if (posix_socket::Poll(fd_, POLLIN, timeout) != WaitResult::Readable) return nullptr;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return nullptr;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return posix_socket::AdoptSocket(fd);
  }

 private:
  int fd_;
  std::uint16_t port_;
};

}  // namespace

std::unique_ptr<TcpListener> ListenOnLoopback(std::uint16_t port, std::u16string& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    error = ErrorText(errno);
    return nullptr;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = posix_socket::LoopbackAddress(port);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, SOMAXCONN) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = ErrorText(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixTcpListener>(fd, ntohs(address.sin_port));
}

void ResetConnection(TcpSocket& accepted) {
  if (const int fd = posix_socket::ReleaseDescriptor(accepted); fd >= 0) {
    const linger abort {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
  }
}

bool PeersSeeResets() { return true; }

}  // namespace pelliport
