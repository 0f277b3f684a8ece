#include "notify/WSClient.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/testing/Loopback.h"
#include "platform/utf.h"
#include "websocket/Handshake.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport {
namespace {

using namespace std::chrono_literals;
using websocket::testing::ClientFrame;
using websocket::testing::KeyOf;
using websocket::testing::kPatience;
using websocket::testing::ScriptedServer;
using websocket::testing::ServerFrame;
using websocket::testing::ServerPeer;
using websocket::testing::Signal;
using websocket::testing::StreamEnd;

void ExpectNotConnected(TWSClient& client) {
  try {
    client.SendMessage(u"x");
    ADD_FAILURE() << "SendMessage did not fail";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"Exception");
    EXPECT_EQ(error.Message(), u"Not connected");
  }
}

// What a server saw of one notification.
struct Delivery {
  std::string request;
  std::optional<ClientFrame> frame;
  StreamEnd end;
};

// A server that answers at once and records the rest.
ScriptedServer::Script Answering(Delivery& seen, std::string extra = {}) {
  return [&seen, extra](ServerPeer& peer) {
    seen.request = peer.ReadRequest();
    peer.Send(ServerPeer::Answer(seen.request) + extra);
    seen.frame = peer.ReadFrame();
    seen.end = peer.ReadToEnd();
  };
}

TEST(TWSClient, DeliversTheTextAsOneMaskedFrameAndEndsTheStream) {
  const std::u16string texts[] = {
      u"",
      u"host/user\nDO_XINGIMPORT\n/tmp/A1.tmp",
      u"\u00fc\u20ac\U0001F600",
      std::u16string(70000, u'x'),
  };
  for (const std::u16string& text : texts) {
    Delivery seen;
    ScriptedServer server(Answering(seen));
    auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
    ASSERT_TRUE(client->Connected());
    EXPECT_TRUE(client->SendMessage(text));
    EXPECT_FALSE(client->Connected());
    ASSERT_TRUE(server.Finish());

    const std::string key = KeyOf(seen.request);
    EXPECT_EQ(seen.request, "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + key +
                                "\r\nOrigin: 127.0.0.1\r\nSec-WebSocket-Version: 13\r\n\r\n");
    EXPECT_EQ(key.size(), 24u);
    ASSERT_TRUE(seen.frame) << text.size();
    EXPECT_EQ(seen.frame->Byte0(), 0x81);
    EXPECT_TRUE(seen.frame->masked);
    EXPECT_EQ(seen.frame->payload, EncodeUtf8(text));
    EXPECT_TRUE(seen.end.ended);
    EXPECT_EQ(seen.end.bytes, "") << "no close frame";
  }
}

TEST(TWSClient, NothingListeningMeansNotConnected) {
  std::u16string error;
  auto listener = ListenOnLoopback(0, error);
  ASSERT_TRUE(listener);
  const std::uint16_t port = listener->Port();
  listener.reset();  // nothing listens there any more
  for (const std::int32_t p : {static_cast<std::int32_t>(port), 0, 65536}) {
    auto client = TWSClient::InitClient(SystemPlatform(), p);
    EXPECT_FALSE(client->Connected()) << p;
    client->PromptErrorMessage();
    ExpectNotConnected(*client);
  }
}

TEST(TWSClient, UsesTheLow16BitsOfThePort) {
  // The scripted server picks its own port; this one needs 4464, so it is
  // served here by hand.
  std::u16string error;
  auto accepting = ListenOnLoopback(4464, error);
  if (!accepting) GTEST_SKIP() << "port 4464 is taken on this machine";
  Delivery seen;
  auto served = std::async(std::launch::async, [&] {
    if (auto socket = accepting->Accept(kPatience)) {
      ServerPeer peer(std::move(socket));
      Answering(seen)(peer);
    }
  });
  auto client = TWSClient::InitClient(SystemPlatform(), 70000);
  EXPECT_TRUE(client->Connected());
  EXPECT_TRUE(client->SendMessage(u"to 4464"));
  served.wait();
  EXPECT_NE(seen.request.find("\r\nHost: 127.0.0.1:4464\r\n"), std::string::npos);
  ASSERT_TRUE(seen.frame);
  EXPECT_EQ(seen.frame->payload, "to 4464");
}

TEST(TWSClient, UnansweredHandshakeIsNotReportedAsSent) {
  std::string request;
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    request = peer.ReadRequest();
    end = peer.ReadToEnd();
  });
  auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
  EXPECT_TRUE(client->Connected());
  EXPECT_FALSE(client->SendMessage(u"dropped"));
  ASSERT_TRUE(server.Finish());
  EXPECT_FALSE(request.empty());
  EXPECT_TRUE(end.ended);
  EXPECT_EQ(end.bytes, "") << "nothing after the request";
}

TEST(TWSClient, RejectedHandshakeMeansNotConnected) {
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.ReadRequest();
    peer.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    end = peer.ReadToEnd();
  });
  auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
  EXPECT_FALSE(client->Connected());
  ExpectNotConnected(*client);
  ASSERT_TRUE(server.Finish());
  EXPECT_TRUE(end.ended);
}

TEST(TWSClient, SecondSendMessageFails) {
  Delivery seen;
  ScriptedServer server(Answering(seen));
  auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
  EXPECT_TRUE(client->SendMessage(u"first"));
  ExpectNotConnected(*client);
  ASSERT_TRUE(server.Finish());
  ASSERT_TRUE(seen.frame);
  EXPECT_EQ(seen.frame->payload, "first");
}

TEST(TWSClient, ServerClosingAfterConnectedMeansNotConnected) {
  Signal connectedRead;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()));
    connectedRead.Wait();
    peer.Close();
  });
  auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
  ASSERT_TRUE(client->Connected());
  connectedRead.Raise();
  ASSERT_TRUE(server.Finish());
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (client->Connected() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ExpectNotConnected(*client);
}

TEST(TWSClient, MessageSurvivesTheCloseWhileTheServerKeepsTalking) {
  // The server sends pings and messages all through the exchange and reads
  // the client's frames only afterwards. Like a real server, it drops the
  // connection, unread bytes and all, as soon as a send fails because the
  // client has reset the connection.
  constexpr int kRuns = 300;
  std::vector<std::string> received;
  ScriptedServer server(
      [&](ServerPeer& peer) {
        if (!peer.Send(ServerPeer::Answer(peer.ReadRequest()))) return;
        // The talking ends well within the time the client waits for the
        // server's close, also on a slow (emulated) machine.
        const auto talkEnd = std::chrono::steady_clock::now() + 150ms;
        for (int i = 0; i < 20 && std::chrono::steady_clock::now() < talkEnd; ++i) {
          if (!peer.Send(ServerFrame(0x89, "ping " + std::to_string(i)) + ServerFrame(0x81, std::string(200, 'n')))) {
            return;
          }
          std::this_thread::sleep_for(100us);
        }
        while (auto frame = peer.ReadFrame()) {
          if (frame->Byte0() == 0x81) {
            received.push_back(frame->payload);
            break;
          }
        }
        peer.ReadToEnd();
      },
      kRuns);
  int sent = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
    if (client->Connected() && client->SendMessage(u"message " + U16(std::to_string(run)))) ++sent;
  }
  ASSERT_TRUE(server.Finish(kPatience * 4));
  EXPECT_EQ(sent, kRuns);
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kRuns));
  for (int run = 0; run < kRuns; ++run) EXPECT_EQ(received[run], "message " + std::to_string(run));
}

// Why a message did not arrive, as the log will tell it.
TEST(TWSClient, NotDeliveredReasons) {
  struct Case {
    const char* name;
    ScriptedServer::Script script;
    bool connected;      // Connected() after InitClient
    std::string reason;  // NotDeliveredReason() begins with it
  };
  const Case cases[] = {
      {"no answer",
       [](ServerPeer& peer) {
         peer.ReadRequest();
         peer.ReadToEnd();
       },
       true, "No answer to the opening handshake within 1000 ms"},
      {"answer rejected",
       [](ServerPeer& peer) {
         peer.ReadRequest();
         peer.Send("HTTP/1.1 404 Not Found\r\n\r\n");
         peer.ReadToEnd();
       },
       false, "Handshake answer rejected: Error Decoding Header: Switching Protocols [HTTP/1.1 404 Not Found]"},
      {"closed before the answer",
       [](ServerPeer& peer) { peer.ReadRequest(); },
       false, "Connection ended by the server before its handshake answer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(c.script);
    auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
    if (c.connected) {
      ASSERT_TRUE(client->Connected());
      EXPECT_FALSE(client->SendMessage(u"lost"));
    } else {
      const auto deadline = std::chrono::steady_clock::now() + kPatience;
      while (client->Connected() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
      EXPECT_FALSE(client->Connected());
    }
    const std::string reason = EncodeUtf8(client->NotDeliveredReason());
    EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason) << reason;
    EXPECT_TRUE(server.Finish());
  }

  std::u16string error;
  const std::uint16_t unused = ListenOnLoopback(0, error)->Port();  // nothing listens once it is gone
  const auto refused = TWSClient::InitClient(SystemPlatform(), unused);
  EXPECT_FALSE(refused->Connected());
  const std::string reason = EncodeUtf8(refused->NotDeliveredReason());
  EXPECT_EQ(reason.rfind("No connection: ", 0), 0u) << reason;
  EXPECT_GT(reason.size(), std::string("No connection: ").size());
}

// A reset after the frame arrived, unread: the message is not taken as sent.
TEST(TWSClient, ResetWithTheFrameUnreadIsNotDelivered) {
  if (!PeersSeeResets()) GTEST_SKIP() << "not run under Wine, whose sockets close without a reset";
  ScriptedServer server([](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()));
    peer.AnythingWithin(kPatience);  // the frame has arrived, and stays unread
    peer.Reset();
  });
  auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
  ASSERT_TRUE(client->Connected());
  EXPECT_FALSE(client->SendMessage(u"lost"));
  const std::string reason = EncodeUtf8(client->NotDeliveredReason());
  EXPECT_EQ(reason.rfind("Connection reset by the server: ", 0), 0u) << reason;
  EXPECT_TRUE(server.Finish());
}

}  // namespace
}  // namespace pelliport
