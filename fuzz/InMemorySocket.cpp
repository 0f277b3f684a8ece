#include "fuzz/InMemorySocket.h"

#include <algorithm>
#include <string_view>

#include "websocket/Handshake.h"
#include "platform/utf.h"

namespace pelliport::fuzz {
namespace {

class InMemorySocket : public TcpSocket {
 public:
  explicit InMemorySocket(std::shared_ptr<InMemoryServer> server) : server_(std::move(server)) {}

  SocketStatus ConnectLoopback(std::uint16_t) override {
    std::lock_guard lock(mutex_);
    open_ = true;
    std::lock_guard serverLock(server_->mutex);
    ++server_->connections;
    return {};
  }

  // Memory takes every byte at once: the deadline never comes into play.
  SocketStatus SendAll(std::span<const std::uint8_t> bytes, std::chrono::steady_clock::time_point) override {
    std::lock_guard lock(mutex_);
    if (!open_ || sendClosed_ || shutdown_) return {u"Socket is not connected"};
    const std::string_view piece = AsChars(bytes);
    {
      std::lock_guard serverLock(server_->mutex);
      server_->received += piece;
    }
    if (!answered_) {
      request_ += piece;
      if (request_.find("\r\n\r\n") != std::string::npos) {
        answered_ = true;
        toClient_ = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Accept: " + websocket::ExpectedAcceptValue(Key()) + "\r\n\r\n";
        changed_.notify_all();
      }
    }
    return {};
  }

  WaitResult WaitReadable(std::chrono::milliseconds timeout) override {
    std::unique_lock lock(mutex_);
    const bool ready = changed_.wait_for(lock, timeout, [this] { return Readable(); });
    return ready ? WaitResult::Readable : WaitResult::TimedOut;
  }

  ReceiveResult Receive(std::span<std::uint8_t> into) override {
    std::lock_guard lock(mutex_);
    if (shutdown_) return {0, {}};
    const std::size_t n = std::min(into.size(), toClient_.size());
    std::copy_n(toClient_.data(), n, into.data());
    toClient_.erase(0, n);
    return {n, {}};  // nothing left once the client has ended its side: the server closes too
  }

  void ShutdownSend() override {
    std::lock_guard lock(mutex_);
    sendClosed_ = true;
    changed_.notify_all();
  }
  void ShutdownBoth() override {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    changed_.notify_all();
  }
  void Close() override {
    std::lock_guard lock(mutex_);
    open_ = false;
    changed_.notify_all();
  }
  bool IsOpen() const override {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  bool Readable() const { return !toClient_.empty() || sendClosed_ || shutdown_ || !open_; }

  std::string Key() const {
    constexpr std::string_view kField = "Sec-WebSocket-Key: ";
    const std::size_t at = request_.find(kField);
    if (at == std::string::npos) return {};
    const std::size_t start = at + kField.size();
    return request_.substr(start, request_.find("\r\n", start) - start);
  }

  std::shared_ptr<InMemoryServer> server_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  bool sendClosed_ = false;
  bool shutdown_ = false;
  bool answered_ = false;
  std::string request_;
  std::string toClient_;
};

}  // namespace

std::unique_ptr<TcpSocket> CreateInMemorySocket(std::shared_ptr<InMemoryServer> server) {
  return std::make_unique<InMemorySocket>(std::move(server));
}

}  // namespace pelliport::fuzz
