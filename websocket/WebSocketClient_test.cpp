#include "websocket/WebSocketClient.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing/FakePlatform.h"
#include "platform/utf.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport::websocket {
namespace {

using namespace std::chrono_literals;
using testing::ClientFrame;
using testing::kPatience;
using testing::ScriptedServer;
using testing::ServerFrame;
using testing::ServerPeer;
using testing::Signal;
using testing::StreamEnd;

// What reached the client's handlers.
class Watch {
 public:
  ClientHandlers Handlers() {
    return {[this](std::u16string_view text) { Add(errors_, text); },
            [this](std::u16string_view text) { Add(texts_, text); }};
  }
  std::vector<std::string> Errors() { return Get(errors_); }
  std::vector<std::string> Texts() { return Get(texts_); }

 private:
  void Add(std::vector<std::string>& list, std::u16string_view text) {
    std::lock_guard lock(mutex_);
    list.push_back(EncodeUtf8(text));
  }
  std::vector<std::string> Get(const std::vector<std::string>& list) {
    std::lock_guard lock(mutex_);
    return list;
  }
  std::mutex mutex_;
  std::vector<std::string> errors_, texts_;
};

// Polls until the condition holds; false when it still fails after the patience.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::uint16_t UnusedPort() {
  std::u16string error;
  auto listener = ListenOnLoopback(0, error);
  return listener ? listener->Port() : 0;  // nothing listens once the listener is gone
}

TEST(WebSocketClient, ConnectFailuresLeaveItInactive) {
  struct Case {
    const char* name;
    std::int32_t port;
    const char* error;  // null: any text of the system
  };
  const Case cases[] = {
      {"refused", UnusedPort(), nullptr},
      {"port 0", 0, "A Port is required"},
      {"port 65536", 65536, "A Port is required"},
  };
  for (const Case& c : cases) {
    Watch watch;
    WebSocketClient client(SystemPlatform(), "127.0.0.1", c.port, watch.Handlers());
    client.Activate();
    EXPECT_FALSE(client.Active()) << c.name;
    EXPECT_FALSE(client.WriteData(u"lost")) << c.name;
    const auto errors = watch.Errors();
    ASSERT_EQ(errors.size(), 1u) << c.name;
    if (c.error) EXPECT_EQ(errors[0], c.error);
    else EXPECT_FALSE(errors[0].empty());
  }
}

struct AnswerCase {
  const char* name;
  std::function<std::string(const std::string& request)> answer;
  const char* error;  // null: accepted
};

TEST(WebSocketClient, ChecksTheHandshakeAnswer) {
  const AnswerCase cases[] = {
      {"accepted", [](const std::string& r) { return ServerPeer::Answer(r); }, nullptr},
      {"404", [](const std::string&) { return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"); },
       "Error Decoding Header: Switching Protocols [HTTP/1.1 404 Not Found]"},
      {"wrong accept key",
       [](const std::string&) {
         return std::string("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
       },
       "Handshake Error: Invalid Accept Key"},
      {"sub-protocol", [](const std::string& r) { return ServerPeer::Answer(r, "Sec-WebSocket-Protocol: chat\r\n"); },
       "Protocol not supported chat."},
      {"line too long", [](const std::string&) { return "HTTP/1.1 101 " + std::string(20000, 'x') + "\r\n\r\n"; },
       "Max line length exceeded."},
  };
  for (const AnswerCase& c : cases) {
    std::string request;
    StreamEnd end;
    ScriptedServer server([&](ServerPeer& peer) {
      request = peer.ReadRequest();
      peer.Send(c.answer(request));
      end = peer.ReadToEnd();
    });
    Watch watch;
    WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
    client.Activate();
    EXPECT_EQ(client.WaitForAnswer(kPatience), c.error == nullptr) << c.name;
    if (c.error == nullptr) {
      EXPECT_TRUE(client.Active()) << c.name;
      EXPECT_TRUE(watch.Errors().empty()) << c.name;
      client.Deactivate();
    } else {
      EXPECT_FALSE(client.Active()) << c.name;
      EXPECT_EQ(watch.Errors(), std::vector<std::string> {c.error}) << c.name;
    }
    ASSERT_TRUE(server.Finish()) << c.name;
    EXPECT_TRUE(request.starts_with("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"))
        << c.name;
    EXPECT_TRUE(end.ended) << c.name;
    EXPECT_EQ(end.bytes, "") << c.name << ": no close frame, nothing after the request";
  }
}

TEST(WebSocketClient, WaitForAnswerEndsAsSoonAsTheAnswerIsKnown) {
  // The wait's bound is far beyond the test's patience: only an early end passes.
  for (const bool good : {true, false}) {
    ScriptedServer server([good](ServerPeer& peer) {
      const std::string request = peer.ReadRequest();
      peer.Send(good ? ServerPeer::Answer(request) : "HTTP/1.1 500 Oops\r\n\r\n");
      peer.ReadToEnd();
    });
    WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port());
    client.Activate();
    auto waited = std::async(std::launch::async, [&client] { return client.WaitForAnswer(std::chrono::hours(1)); });
    ASSERT_EQ(waited.wait_for(kPatience), std::future_status::ready) << good;
    EXPECT_EQ(waited.get(), good);
    client.Deactivate();
    EXPECT_TRUE(server.Finish());
  }
}

TEST(WebSocketClient, AnswerThatNeverComesDropsTheMessage) {
  std::string request;
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    request = peer.ReadRequest();
    end = peer.ReadToEnd();
  });
  Watch watch;
  WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
  client.Activate();
  EXPECT_FALSE(client.WaitForAnswer(50ms));
  EXPECT_TRUE(client.Active());
  EXPECT_FALSE(client.Open());
  EXPECT_FALSE(client.WriteData(u"dropped"));
  EXPECT_TRUE(client.Disconnect(10000));
  EXPECT_FALSE(client.Active());
  ASSERT_TRUE(server.Finish());
  EXPECT_FALSE(request.empty());
  EXPECT_TRUE(end.ended);
  EXPECT_EQ(end.bytes, "");
  EXPECT_TRUE(watch.Errors().empty());
}

TEST(WebSocketClient, AnswersPingsAndCollectsFragmentsWhileWaiting) {
  const MaskingKey serverKey = {5, 6, 7, 8};
  std::vector<ClientFrame> frames;
  StreamEnd end;
  Signal pongsRead;
  ScriptedServer server([&](ServerPeer& peer) {
    const std::string request = peer.ReadRequest();
    // The answer, a ping and a fragmented message with a ping between its
    // fragments, all in one piece.
    peer.Send(ServerPeer::Answer(request) + ServerFrame(0x89, "p1") + ServerFrame(0x01, "Hel") +
              ServerFrame(0x89, "p2", serverKey) + ServerFrame(0x00, "lo, ") + ServerFrame(0x80, "world"));
    for (int i = 0; i < 2; ++i) {
      if (auto frame = peer.ReadFrame()) frames.push_back(*frame);
    }
    pongsRead.Raise();
    if (auto frame = peer.ReadFrame()) frames.push_back(*frame);
    end = peer.ReadToEnd();
  });
  Watch watch;
  WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
  client.Activate();
  ASSERT_TRUE(client.WaitForAnswer(kPatience));
  ASSERT_TRUE(pongsRead.Wait());
  EXPECT_TRUE(client.WriteData(u"gr\u00fc\u00dfe"));
  client.Deactivate();
  ASSERT_TRUE(server.Finish());

  ASSERT_EQ(frames.size(), 3u);
  const std::pair<std::uint8_t, std::string> expected[] = {{0x8A, "p1"}, {0x8A, "p2"}, {0x81, EncodeUtf8(u"gr\u00fc\u00dfe")}};
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].Byte0(), expected[i].first) << i;
    EXPECT_TRUE(frames[i].masked) << i;
    EXPECT_EQ(frames[i].payload, expected[i].second) << i;
    for (std::uint8_t byte : frames[i].key) EXPECT_NE(byte, 255);
  }
  EXPECT_EQ(watch.Texts(), std::vector<std::string> {"Hello, world"});
  EXPECT_TRUE(end.ended);
  EXPECT_EQ(end.bytes, "");
}

// Many small frames in one send, cut across several receives, and text that
// is not UTF-8: every frame is taken in turn and the connection stays.
TEST(WebSocketClient, ReadsManySmallFramesAndTextThatIsNotUtf8) {
  std::string flood;
  for (int i = 0; i < 50000; ++i) flood += ServerFrame(0x8A, "");
  flood += ServerFrame(0x01, "e") + ServerFrame(0x00, "n") + ServerFrame(0x80, "d");
  flood += ServerFrame(0x81, "\xC3(");
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()) + flood);
    end = peer.ReadToEnd();
  });
  Watch watch;
  WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
  client.Activate();
  ASSERT_TRUE(client.WaitForAnswer(kPatience));
  ASSERT_TRUE(Eventually([&] { return watch.Texts().size() == 2; }));
  EXPECT_TRUE(client.Open());
  client.Deactivate();
  ASSERT_TRUE(server.Finish());
  EXPECT_EQ(watch.Texts(), (std::vector<std::string> {"end", "\xEF\xBF\xBD("}));
  EXPECT_TRUE(watch.Errors().empty());
  EXPECT_TRUE(end.ended);
}

TEST(WebSocketClient, ServerFramesThatEndTheConnection) {
  const std::pair<std::string, const char*> cases[] = {
      {ServerFrame(0x88, "\x03\xE8"), nullptr},  // close 1000
      {ServerFrame(0x88, ""), nullptr},
      {ServerFrame(0x88, "\x03\xED"), "Invalid close code"},  // 1005
      {ServerFrame(0x88, "\x03"), "Invalid Payload length for close code"},
      {ServerFrame(0xC1, "x"), "Invalid value of RSV while no Extension Negotiated"},
      {ServerFrame(0x83, "x"), "Invalid Control OptCode"},
      {ServerFrame(0x89, std::string(126, 'p')),
       "Control frames are only allowed to have payload up to and including 125 octets"},
      {ServerFrame(0x80, "x"), "Unfragmented message after continuation frame with FIN"},
  };
  for (const auto& [frame, error] : cases) {
    StreamEnd end;
    ScriptedServer server([&](ServerPeer& peer) {
      const std::string request = peer.ReadRequest();
      peer.Send(ServerPeer::Answer(request));
      peer.Send(frame);
      end = peer.ReadToEnd();
    });
    Watch watch;
    WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
    client.Activate();
    EXPECT_TRUE(Eventually([&] { return !client.Active(); })) << error;
    ASSERT_TRUE(server.Finish());
    EXPECT_TRUE(end.ended);
    EXPECT_EQ(end.bytes, "") << "no close frame of the client's own";
    if (error) EXPECT_EQ(watch.Errors(), std::vector<std::string> {error});
    else EXPECT_TRUE(watch.Errors().empty());
    EXPECT_FALSE(client.WriteData(u"late"));
  }
}

TEST(WebSocketClient, ServerClosingAtEachStepEndsTheConnection) {
  const std::pair<const char*, std::function<void(ServerPeer&, const std::string&)>> cases[] = {
      {"before answering", [](ServerPeer&, const std::string&) {}},
      {"in the middle of the answer", [](ServerPeer& p, const std::string&) { p.Send("HTTP/1.1 101 Swi"); }},
      {"after the answer", [](ServerPeer& p, const std::string& r) { p.Send(ServerPeer::Answer(r)); }},
      {"in the middle of a frame",
       [](ServerPeer& p, const std::string& r) { p.Send(ServerPeer::Answer(r) + ServerFrame(0x81, "whole").substr(0, 4)); }},
  };
  for (const auto& [name, script] : cases) {
    ScriptedServer server([&](ServerPeer& peer) {
      const std::string request = peer.ReadRequest();
      script(peer, request);
      peer.Close();
    });
    Watch watch;
    WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), watch.Handlers());
    client.Activate();
    ASSERT_TRUE(server.Finish()) << name;
    EXPECT_TRUE(Eventually([&] { return !client.Active(); })) << name;
    EXPECT_FALSE(client.WriteData(u"late")) << name;
    EXPECT_TRUE(watch.Errors().empty()) << name;
  }
}

// A network whose sockets fail every send after the first `goodSends`.
class BreakingNetwork : public Network {
 public:
  int goodSends = 1;
  std::unique_ptr<TcpSocket> CreateTcpSocket() override {
    class Socket : public TcpSocket {
     public:
      Socket(std::unique_ptr<TcpSocket> real, int goodSends) : real_(std::move(real)), left_(goodSends) {}
      SocketStatus ConnectLoopback(std::uint16_t port) override { return real_->ConnectLoopback(port); }
      SocketStatus SendAll(std::span<const std::uint8_t> bytes,
                           std::chrono::steady_clock::time_point deadline) override {
        if (left_-- <= 0) return {u"Broken pipe"};
        return real_->SendAll(bytes, deadline);
      }
      WaitResult WaitReadable(std::chrono::milliseconds t) override { return real_->WaitReadable(t); }
      ReceiveResult Receive(std::span<std::uint8_t> into) override { return real_->Receive(into); }
      void ShutdownSend() override { real_->ShutdownSend(); }
      void ShutdownBoth() override { real_->ShutdownBoth(); }
      void Close() override { real_->Close(); }
      bool IsOpen() const override { return real_->IsOpen(); }

     private:
      std::unique_ptr<TcpSocket> real_;
      std::atomic<int> left_;
    };
    return std::make_unique<Socket>(Network::CreateTcpSocket(), goodSends);
  }
};

TEST(WebSocketClient, FailedWriteClosesTheConnectionAndReportsFalse) {
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()));
    end = peer.ReadToEnd();
  });
  BreakingNetwork network;
  Platform platform = SystemPlatform().With(network);
  Watch watch;
  WebSocketClient client(platform, "127.0.0.1", server.Port(), watch.Handlers());
  client.Activate();
  ASSERT_TRUE(client.WaitForAnswer(kPatience));
  EXPECT_FALSE(client.WriteData(u"never written"));
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(watch.Errors(), std::vector<std::string> {"Error writing message Broken pipe."});
  client.Deactivate();
  ASSERT_TRUE(server.Finish());
  EXPECT_TRUE(end.ended);
}

TEST(WebSocketClient, FailedRequestLeavesItInactive) {
  ScriptedServer server([](ServerPeer& peer) { peer.ReadToEnd(); });
  BreakingNetwork network;
  Platform platform = SystemPlatform().With(network);
  network.goodSends = 0;
  Watch watch;
  WebSocketClient client(platform, "127.0.0.1", server.Port(), watch.Handlers());
  client.Activate();
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(watch.Errors(), std::vector<std::string> {"Broken pipe"});
  EXPECT_TRUE(server.Finish());
}

// A failure on the read thread (here: out of memory in a handler) goes to
// the error hook and ends the connection; it never ends the process.
TEST(WebSocketClient, FailureOnTheReadThreadGoesToTheErrorHook) {
  StreamEnd end;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()) + ServerFrame(0x81, "hello"));
    end = peer.ReadToEnd();
  });
  std::vector<std::string> errors;
  std::mutex mutex;
  ClientHandlers handlers {[&](std::u16string_view text) {
                             std::lock_guard lock(mutex);
                             errors.push_back(EncodeUtf8(text));
                           },
                           [](std::u16string_view) { throw std::bad_alloc(); }};
  WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port(), handlers);
  client.Activate();
  EXPECT_TRUE(Eventually([&] { return !client.Active(); }));
  ASSERT_TRUE(server.Finish());
  EXPECT_TRUE(end.ended);
  std::lock_guard lock(mutex);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("EOutOfMemory: ", 0), 0u) << errors[0];
  const auto ended = client.Ended();
  ASSERT_TRUE(ended.has_value());
  EXPECT_EQ(ended->kind, EndCause::Kind::Error);
}

// A server that stops reading cannot hold the sender: the frame fails
// after the bound, the connection ends, and the cause says so.
TEST(WebSocketClient, SendingIsBounded) {
  Signal written;
  ScriptedServer server([&](ServerPeer& peer) {
    peer.Send(ServerPeer::Answer(peer.ReadRequest()));
    written.Wait(WebSocketClient::kSendBound * 3);
  });
  WebSocketClient client(SystemPlatform(), "127.0.0.1", server.Port());
  client.Activate();
  ASSERT_TRUE(client.WaitForAnswer(kPatience));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.WriteData(std::u16string(16 << 20, u'x')));
  const auto took = std::chrono::steady_clock::now() - start;
  written.Raise();
  EXPECT_GE(took, WebSocketClient::kSendBound - 100ms);
  EXPECT_LT(took, WebSocketClient::kSendBound + 3s);
  EXPECT_FALSE(client.Active());
  const auto ended = client.Ended();
  ASSERT_TRUE(ended.has_value());
  EXPECT_EQ(ended->kind, EndCause::Kind::SendTimedOut);
  EXPECT_EQ(ended->stage, EndCause::Stage::Open);
  client.Deactivate();
  EXPECT_TRUE(server.Finish());
}

}  // namespace
}  // namespace pelliport::websocket
