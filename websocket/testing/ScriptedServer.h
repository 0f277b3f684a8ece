// A WebSocket server for tests, scripted step by step on raw TCP at
// 127.0.0.1 on a free port. Every wait of the server is bounded, so a client
// that misbehaves makes a test fail, never hang. Scripts record what they
// saw; the test checks it after Finish().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/testing/Loopback.h"
#include "websocket/Frames.h"

namespace pelliport::websocket::testing {

// How long the server waits for anything the client should send.
inline constexpr std::chrono::milliseconds kPatience {5000};

// A frame as the client wrote it.
struct ClientFrame {
  std::string header;  // the bytes before the masking key
  bool masked = false;
  MaskingKey key {};
  std::string payload;  // unmasked
  std::uint8_t Byte0() const { return static_cast<std::uint8_t>(header[0]); }
  std::uint8_t Byte1() const { return static_cast<std::uint8_t>(header[1]); }
};

// How the client's stream ended.
struct StreamEnd {
  std::string bytes;   // what arrived before the end
  bool ended = false;  // the client ended its side (or reset) within the patience
};

// One accepted connection, seen from the server.
class ServerPeer {
 public:
  explicit ServerPeer(std::unique_ptr<TcpSocket> socket) : socket_(std::move(socket)) {}

  // The request up to and including the empty line; empty when it does not come.
  std::string ReadRequest();
  // The standard 101 answer for the request's key, with extra header lines
  // (each ended by CR LF) before the empty line.
  static std::string Answer(const std::string& request, std::string_view extraLines = {});
  // False when the client has reset the connection, or has not taken the
  // bytes within the patience (or the send failed otherwise).
  bool Send(std::string_view bytes);
  std::optional<ClientFrame> ReadFrame();
  StreamEnd ReadToEnd(std::chrono::milliseconds patience = kPatience);
  // True when bytes (or the end) arrive within the time.
  bool AnythingWithin(std::chrono::milliseconds time);
  void Close() { socket_->Close(); }
  // Closes so that the client sees the connection reset.
  void Reset() { ResetConnection(*socket_); }
  TcpSocket& Socket() { return *socket_; }

 private:
  // Appends at least one byte to buffer_; false at the end or past the deadline.
  bool Fill(std::chrono::steady_clock::time_point deadline);
  bool Need(std::size_t count, std::chrono::steady_clock::time_point deadline);
  std::string Take(std::size_t count);

  std::unique_ptr<TcpSocket> socket_;
  std::string buffer_;
};

// The Sec-WebSocket-Key value of a request.
std::string KeyOf(const std::string& request);

// A frame as a server writes it: unmasked unless a key is given.
std::string ServerFrame(std::uint8_t byte0, std::string_view payload,
                        std::optional<MaskingKey> key = std::nullopt);

class ScriptedServer {
 public:
  using Script = std::function<void(ServerPeer&)>;

  // Accepts `connections` connections one after another and runs the script
  // for each on the server's thread. Each connection is waited for up to
  // `acceptPatience` (longer for clients that are whole processes).
  explicit ScriptedServer(Script script, int connections = 1, std::chrono::milliseconds acceptPatience = kPatience);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Waits for the scripts to end; false when they are still running after
  // the patience (the destructor still waits for them).
  bool Finish(std::chrono::milliseconds patience = kPatience * 2);
  int Accepted() const { return accepted_; }

 private:
  std::unique_ptr<TcpListener> listener_;
  std::uint16_t port_ = 0;
  int accepted_ = 0;
  std::atomic<bool> stopping_ = false;  // no connection is waited for any more
  std::future<void> done_;
};

// A one-shot signal between a test and a script, waited for with a bound.
class Signal {
 public:
  void Raise() { promise_.set_value(); }
  bool Wait(std::chrono::milliseconds patience = kPatience) {
    return future_.wait_for(patience) == std::future_status::ready;
  }

 private:
  std::promise<void> promise_;
  std::shared_future<void> future_ = promise_.get_future().share();
};

}  // namespace pelliport::websocket::testing
