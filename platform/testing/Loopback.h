// The server side of loopback TCP, for servers that tests and benchmarks
// run in the desktop application's place: a listener on 127.0.0.1, whose
// connections are the system's own sockets, and a reset of one of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace pelliport {

class TcpListener {
 public:
  virtual ~TcpListener() = default;
  virtual std::uint16_t Port() const = 0;
  // The next connection, or null when none arrives within the timeout.
  virtual std::unique_ptr<TcpSocket> Accept(std::chrono::milliseconds timeout) = 0;
};

// Listens on 127.0.0.1 and the port (0: a free port the system picks).
// Null when that fails; `error` then holds the system's text.
std::unique_ptr<TcpListener> ListenOnLoopback(std::uint16_t port, std::u16string& error);

// Closes a connection that a listener accepted so that the peer sees it
// reset (RST) instead of the end of the stream.
void ResetConnection(TcpSocket& accepted);

// Whether such a reset reaches the peer as a reset. Linux and Windows reset;
// Wine closes the socket with a plain end of the stream whatever the linger
// option says, so tests of a reset are not run there.
bool PeersSeeResets();

}  // namespace pelliport
