// The Windows Sockets side of TcpSocket, which the tests' listener
// (platform/testing/Loopback_win32.cpp) shares: its accepted connections are
// sockets of the same kind.
#pragma once

#include <winsock2.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace pelliport::win32_socket {

// Starts Windows Sockets once per process.
void EnsureWinsock();
std::u16string ErrorText(int error);
std::u16string LastErrorText();
sockaddr_in LoopbackAddress(std::uint16_t port);
// A stream socket that no program the host starts inherits.
SOCKET NewStreamSocket();
WaitResult Select(SOCKET s, std::chrono::milliseconds timeout);

// Takes over a connected socket.
std::unique_ptr<TcpSocket> AdoptSocket(SOCKET s);
// Gives up the handle of one of these sockets without closing it;
// INVALID_SOCKET when it is closed already.
SOCKET ReleaseSocket(TcpSocket& socket);

}  // namespace pelliport::win32_socket
