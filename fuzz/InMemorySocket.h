// A connection to a WebSocket server that lives in memory: it accepts the
// opening handshake and keeps what the client sends. For tests and fuzzing
// of the whole host without a network.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/socket.h"

namespace pelliport::fuzz {

// What the server received; shared with the test after the socket is gone.
struct InMemoryServer {
  std::mutex mutex;
  std::string received;  // every byte the client sent, handshake request included
  std::size_t connections = 0;
};

std::unique_ptr<TcpSocket> CreateInMemorySocket(std::shared_ptr<InMemoryServer> server);

}  // namespace pelliport::fuzz
