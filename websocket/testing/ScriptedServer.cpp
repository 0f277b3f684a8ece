#include "websocket/testing/ScriptedServer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "platform/utf.h"
#include "websocket/Handshake.h"

namespace pelliport::websocket::testing {

using Clock = std::chrono::steady_clock;

bool ServerPeer::Fill(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left <= std::chrono::milliseconds::zero()) return false;
  if (socket_->WaitReadable(left) != WaitResult::Readable) return false;
  std::array<std::uint8_t, 65536> chunk;
  const ReceiveResult received = socket_->Receive(chunk);
  if (received.count == 0) return false;
  buffer_.append(AsChars(std::span(chunk).first(received.count)));
  return true;
}

bool ServerPeer::Need(std::size_t count, Clock::time_point deadline) {
  while (buffer_.size() < count) {
    if (!Fill(deadline)) return false;
  }
  return true;
}

std::string ServerPeer::Take(std::size_t count) {
  std::string out = buffer_.substr(0, count);
  buffer_.erase(0, count);
  return out;
}

std::string ServerPeer::ReadRequest() {
  const auto deadline = Clock::now() + kPatience;
  for (;;) {
    if (const auto end = buffer_.find("\r\n\r\n"); end != std::string::npos) return Take(end + 4);
    if (!Fill(deadline)) return {};
  }
}

std::string KeyOf(const std::string& request) {
  const std::string name = "Sec-WebSocket-Key: ";
  const auto start = request.find(name);
  if (start == std::string::npos) return {};
  const auto end = request.find("\r\n", start);
  return request.substr(start + name.size(), end - start - name.size());
}

std::string ServerPeer::Answer(const std::string& request, std::string_view extraLines) {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         ExpectedAcceptValue(KeyOf(request)) + "\r\n" + std::string(extraLines) + "\r\n";
}

bool ServerPeer::Send(std::string_view bytes) {
  return socket_->SendAll(AsBytes(bytes), Clock::now() + kPatience)
      .Ok();
}

std::optional<ClientFrame> ServerPeer::ReadFrame() {
  const auto deadline = Clock::now() + kPatience;
  if (!Need(2, deadline)) return std::nullopt;
  const auto lengthByte = static_cast<std::uint8_t>(buffer_[1]) & 0x7F;
  const std::size_t extra = lengthByte == 126 ? 2 : lengthByte == 127 ? 8 : 0;
  if (!Need(2 + extra, deadline)) return std::nullopt;
  std::uint64_t length = lengthByte;
  if (extra != 0) {
    length = 0;
    for (std::size_t i = 0; i < extra; ++i) length = (length << 8) | static_cast<std::uint8_t>(buffer_[2 + i]);
  }
  ClientFrame frame;
  frame.header = Take(2 + extra);
  frame.masked = (frame.Byte1() & 0x80) != 0;
  if (frame.masked) {
    if (!Need(4, deadline)) return std::nullopt;
    const std::string key = Take(4);
    for (std::size_t i = 0; i < 4; ++i) frame.key[i] = static_cast<std::uint8_t>(key[i]);
  }
  if (!Need(static_cast<std::size_t>(length), deadline)) return std::nullopt;
  frame.payload = Take(static_cast<std::size_t>(length));
  if (frame.masked) {
    for (std::size_t i = 0; i < frame.payload.size(); ++i) {
      frame.payload[i] = static_cast<char>(static_cast<std::uint8_t>(frame.payload[i]) ^ frame.key[i % 4]);
    }
  }
  return frame;
}

StreamEnd ServerPeer::ReadToEnd(std::chrono::milliseconds patience) {
  const auto deadline = Clock::now() + patience;
  StreamEnd end;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= std::chrono::milliseconds::zero() || socket_->WaitReadable(left) != WaitResult::Readable) {
      end.bytes = Take(buffer_.size());
      return end;
    }
    std::array<std::uint8_t, 65536> chunk;
    const ReceiveResult received = socket_->Receive(chunk);
    if (received.count == 0) {
      end.ended = true;
      end.bytes = Take(buffer_.size());
      return end;
    }
    buffer_.append(AsChars(std::span(chunk).first(received.count)));
  }
}

bool ServerPeer::AnythingWithin(std::chrono::milliseconds time) {
  return !buffer_.empty() || socket_->WaitReadable(time) == WaitResult::Readable;
}

std::string ServerFrame(std::uint8_t byte0, std::string_view payload, std::optional<MaskingKey> key) {
  std::string frame(1, static_cast<char>(byte0));
  const std::uint8_t maskBit = key ? 0x80 : 0x00;
  const std::uint64_t n = payload.size();
  if (n <= 125) {
    frame += static_cast<char>(maskBit | n);
  } else if (n <= 0xFFFF) {
    frame += static_cast<char>(maskBit | 126);
    frame += static_cast<char>(n >> 8);
    frame += static_cast<char>(n & 0xFF);
  } else {
    frame += static_cast<char>(maskBit | 127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((n >> shift) & 0xFF);
  }
  std::string body(payload);
  if (key) {
    for (std::uint8_t byte : *key) frame += static_cast<char>(byte);
    for (std::size_t i = 0; i < body.size(); ++i) {
      body[i] = static_cast<char>(static_cast<std::uint8_t>(body[i]) ^ (*key)[i % 4]);
    }
  }
  return frame + body;
}

ScriptedServer::ScriptedServer(Script script, int connections, std::chrono::milliseconds acceptPatience) {
  std::u16string error;
  listener_ = ListenOnLoopback(0, error);
  if (!listener_) throw std::runtime_error("cannot listen: " + EncodeUtf8(error));
  port_ = listener_->Port();
  done_ = std::async(std::launch::async, [this, script = std::move(script), connections, acceptPatience] {
    for (int i = 0; i < connections; ++i) {
      // In slices, so that the server's end does not wait for the patience.
      std::unique_ptr<TcpSocket> socket;
      const auto deadline = std::chrono::steady_clock::now() + acceptPatience;
      while (!socket && !stopping_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero()) break;
        socket = listener_->Accept(std::min(left, std::chrono::milliseconds(100)));
      }
      if (!socket) return;
      ++accepted_;
      ServerPeer peer(std::move(socket));
      script(peer);
    }
  });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  if (done_.valid()) done_.wait();
}

bool ScriptedServer::Finish(std::chrono::milliseconds patience) {
  if (done_.wait_for(patience) != std::future_status::ready) return false;
  done_.get();
  return true;
}

}  // namespace pelliport::websocket::testing
