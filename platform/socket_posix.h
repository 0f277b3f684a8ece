// The BSD-socket side of TcpSocket, which the tests' listener
// (platform/testing/Loopback_posix.cpp) shares: its accepted connections are
// sockets of the same kind.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace pelliport::posix_socket {

std::u16string ErrorText(int error);
sockaddr_in LoopbackAddress(std::uint16_t port);
// Waits for `events` on the descriptor; interrupted waits go on.
WaitResult Poll(int fd, short events, std::chrono::milliseconds timeout);

// Takes over a connected descriptor.
std::unique_ptr<TcpSocket> AdoptSocket(int fd);
// Gives up the descriptor of one of these sockets without closing it; -1
// when it is closed already.
int ReleaseDescriptor(TcpSocket& socket);

}  // namespace pelliport::posix_socket
