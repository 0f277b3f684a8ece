// The loopback sockets: a send that the peer does not take ends at its
// deadline, and a reset reaches the peer as a reset.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "platform/testing/Loopback.h"

namespace pelliport {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Pair {
  std::unique_ptr<TcpListener> listener;
  std::unique_ptr<TcpSocket> client;
  std::unique_ptr<TcpSocket> server;
};

Pair Connected() {
  Pair pair;
  std::u16string error;
  pair.listener = ListenOnLoopback(0, error);
  if (!pair.listener) return pair;
  pair.client = CreateSystemTcpSocket();
  if (!pair.client->ConnectLoopback(pair.listener->Port()).Ok()) return pair;
  pair.server = pair.listener->Accept(5s);
  return pair;
}

TEST(TcpSocket, SendEndsAtItsDeadlineWhenThePeerDoesNotRead) {
  Pair pair = Connected();
  ASSERT_TRUE(pair.server);
  const std::vector<std::uint8_t> bytes(16 << 20, 0x5A);
  const auto start = Clock::now();
  const SocketStatus status = pair.client->SendAll(bytes, start + 300ms);
  const auto took = Clock::now() - start;
  EXPECT_FALSE(status.Ok());
  EXPECT_TRUE(status.timedOut);
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 3s);

  // A send that the peer takes is done long before its deadline.
  Pair other = Connected();
  ASSERT_TRUE(other.server);
  const std::array<std::uint8_t, 3> small = {1, 2, 3};
  EXPECT_TRUE(other.client->SendAll(small, Clock::now() + 5s).Ok());
}

TEST(TcpSocket, ResetReachesThePeerAsAnError) {
  if (!PeersSeeResets()) GTEST_SKIP() << "not run under Wine, whose sockets close without a reset";
  Pair pair = Connected();
  ASSERT_TRUE(pair.server);
  ResetConnection(*pair.server);
  ASSERT_EQ(pair.client->WaitReadable(5s), WaitResult::Readable);
  std::array<std::uint8_t, 16> buffer {};
  const ReceiveResult received = pair.client->Receive(buffer);
  EXPECT_EQ(received.count, 0u);
  EXPECT_FALSE(received.error.empty()) << "a reset, not the end of the stream";
}

}  // namespace
}  // namespace pelliport
