// TCP on the loopback address: the WebSocket client's connection to the
// desktop application. socket_posix.cpp uses BSD sockets, socket_win32.cpp
// Windows Sockets 2. The tests' listener is platform/testing/Loopback.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pelliport {

// Empty text: success; otherwise the system's text for the failure.
struct SocketStatus {
  std::u16string error;
  bool timedOut = false;  // a send that did not finish by its deadline
  bool Ok() const { return error.empty(); }
};

struct ReceiveResult {
  std::size_t count = 0;  // bytes received; 0 with an empty error: the peer ended its side
  std::u16string error;
};

enum class WaitResult { Readable, TimedOut, Failed };

// One IPv4 stream socket; closed when destroyed.
//
// Threads: one thread may wait and receive while another sends, and any
// thread may shut the socket down to wake a waiting reader. Close() is for
// the owner once no other thread uses the socket any more.
class TcpSocket {
 public:
  virtual ~TcpSocket() = default;

  // Creates the socket, binds it to any local address and port, switches
  // Nagle's algorithm off and connects to 127.0.0.1 and the port. Blocks
  // until the system completes or refuses the connection.
  virtual SocketStatus ConnectLoopback(std::uint16_t port) = 0;
  // Sends all bytes, repeating the send call until all are taken, but
  // never past the deadline: a peer that stops reading cannot hold the
  // sender. A send cut off by the deadline fails with `timedOut` set; the
  // connection is then of no further use.
  virtual SocketStatus SendAll(std::span<const std::uint8_t> bytes,
                               std::chrono::steady_clock::time_point deadline) = 0;
  // Waits until bytes or the end of the stream can be received.
  virtual WaitResult WaitReadable(std::chrono::milliseconds timeout) = 0;
  virtual ReceiveResult Receive(std::span<std::uint8_t> into) = 0;
  // Ends the sending direction: the peer sees the end of the stream.
  virtual void ShutdownSend() = 0;
  // Ends both directions; a thread waiting for bytes wakes up.
  virtual void ShutdownBoth() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// A new, not yet connected socket of this build's system.
std::unique_ptr<TcpSocket> CreateSystemTcpSocket();

// The network: where the host gets its sockets.
class Network {
 public:
  virtual ~Network() = default;
  // A new TCP socket of this build's system (socket_posix.cpp, socket_win32.cpp).
  virtual std::unique_ptr<TcpSocket> CreateTcpSocket() { return CreateSystemTcpSocket(); }
};

}  // namespace pelliport
