#include "websocket/WebSocketClient.h"

#include <array>
#include <atomic>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "platform/utf.h"
#include "websocket/Frames.h"
#include "websocket/Handshake.h"

namespace pelliport::websocket {

using Clock = std::chrono::steady_clock;

// The WebSocket state of one TCP connection. Input and the readers belong to
// the read thread; writes of both threads go through WriteFrame under the
// write lock; the flags are shared without a lock.
class Connection {
 public:
  Connection(std::unique_ptr<TcpSocket> socket, RandomGenerator& random, Platform& platform)
      : socket_(std::move(socket)), random_(random), platform_(platform) {}

  TcpSocket& Socket() { return *socket_; }

  // Sends bytes under the write lock, lock wait and send together by the
  // deadline. The outcome, with the error text on failure.
  SocketStatus WriteRaw(std::string_view bytes, Clock::time_point deadline) {
    std::unique_lock lock(writeLock_, deadline);
    if (!lock) return {u"Send timed out", true};
    return WriteLocked(bytes, deadline);
  }

  // Builds one masked frame with a fresh masking key and sends it in one
  // piece under the write lock, by the deadline.
  SocketStatus WriteFrame(Opcode opcode, std::string_view payload, Clock::time_point deadline) {
    std::unique_lock lock(writeLock_, deadline);
    if (!lock) return {u"Send timed out", true};
    const MaskingKey masking = random_.ReseededBytes<4>(ReseedCounter(platform_));
    return WriteLocked(EncodeMaskedFrame(opcode, payload, masking), deadline);
  }

  // Ends the sending direction once a frame being written is complete; no
  // frame is written afterwards.
  void ShutdownSend() {
    std::lock_guard lock(writeLock_);
    sendClosed_ = true;
    socket_->ShutdownSend();
  }

  // Stops all traffic; a read thread waiting on the socket and a send
  // waiting for room wake up. Not under the write lock, which such a send
  // holds.
  void ShutdownBoth() {
    sendClosed_ = true;
    socket_->ShutdownBoth();
  }

  std::string key;
  std::atomic<bool> enabled {false};        // handshake answer accepted
  std::atomic<bool> disconnected {false};   // the connection has started to end
  std::atomic<bool> mustDisconnect {false}; // deactivation has begun

  // Read thread only. Bytes taken from the input stay in it until the next
  // receive, which drops them all at once: taking costs nothing per frame.
  std::string input;
  std::size_t inputTaken = 0;
  std::string_view Unread() const { return std::string_view(input).substr(inputTaken); }
  void Take(std::size_t count) { inputTaken += count; }
  void Append(const std::uint8_t* bytes, std::size_t count) {
    input.erase(0, inputTaken);
    inputTaken = 0;
    input.append(AsChars({bytes, count}));
  }
  void ClearInput() {
    input.clear();
    inputTaken = 0;
  }
  AnswerLineReader answerReader;
  FrameReader frameReader;

 private:
  SocketStatus WriteLocked(std::string_view bytes, Clock::time_point deadline) {
    if (sendClosed_ || !socket_->IsOpen()) return {u"Socket is closed"};
    return socket_->SendAll(AsBytes(bytes), deadline);
  }

  std::unique_ptr<TcpSocket> socket_;
  RandomGenerator& random_;
  Platform& platform_;
  std::timed_mutex writeLock_;
  std::atomic<bool> sendClosed_ {false};
};

namespace {

std::u16string WriteErrorText(std::u16string_view cause) {
  return u"Error writing message " + std::u16string(cause) + u".";
}

Clock::time_point SendDeadline() { return Clock::now() + WebSocketClient::kSendBound; }

}  // namespace

WebSocketClient::WebSocketClient(Platform& platform, std::string host, std::int32_t port,
                                 ClientHandlers handlers)
    : platform_(platform),
      host_(std::move(host)),
      port_(static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFF)),
      handlers_(std::move(handlers)) {}

WebSocketClient::~WebSocketClient() {
  Deactivate();
  JoinReadThread();
}

std::shared_ptr<Connection> WebSocketClient::Current() const {
  std::lock_guard lock(mutex_);
  return connection_;
}

bool WebSocketClient::Active() const { return Current() != nullptr; }

bool WebSocketClient::Open() const {
  const auto connection = Current();
  return connection && connection->enabled;
}

void WebSocketClient::JoinReadThread() {
  if (readThread_.joinable()) readThread_.join();
}

void WebSocketClient::Activate() {
  if (Active()) return;
  // The previous connection has ended; its read thread is finishing.
  JoinReadThread();
  stage_ = EndCause::Stage::Connecting;
  {
    std::lock_guard lock(mutex_);
    ended_.reset();
  }

  if (port_ == 0) {
    ErrorHook(u"A Port is required", nullptr);
    return;
  }
  std::unique_ptr<TcpSocket> socket = platform_.network.CreateTcpSocket();
  if (const SocketStatus status = socket->ConnectLoopback(port_); !status.Ok()) {
    ErrorHook(status.error, nullptr);
    return;
  }

  // Connected: from here on the connection object exists and Active() is true.
  auto connection = std::make_shared<Connection>(std::move(socket), random_, platform_);
  {
    std::lock_guard lock(mutex_);
    connection_ = connection;
  }
  connection->key = MakeHandshakeKey(random_, ReseedCounter(platform_));
  const std::string request = BuildHandshakeRequest({host_, port_, "/", "", connection->key});
  if (const SocketStatus status = connection->WriteRaw(request, SendDeadline()); !status.Ok()) {
    ErrorHook(status.error, connection);
    return;
  }
  stage_ = EndCause::Stage::Pending;

  try {
    readThread_ = std::thread(&WebSocketClient::ReadThread, this, connection);
  } catch (const std::system_error& failure) {
    ErrorHook(DecodeUtf8Lenient(failure.what()), connection);
  }
}

void WebSocketClient::ReadThread(std::shared_ptr<Connection> connection) {
  try {
    ReadLoop(connection);
  } catch (...) {
    // Out of memory, for one: the connection ends, the process goes on.
    try {
      const FailureDescription failure = DescribeCurrentFailure();
      ErrorHook(failure.kind + u": " + failure.message, connection);
    } catch (...) {
      Abort(connection);
    }
  }
}

void WebSocketClient::ReadLoop(std::shared_ptr<Connection> connection) {
  std::array<std::uint8_t, 32768> buffer;
  TcpSocket& socket = connection->Socket();
  while (!connection->disconnected) {
    if (connection->mustDisconnect) {
      DrainUntilClosed(*connection);
      return;
    }
    if (connection->Unread().empty()) {
      const WaitResult wait = socket.WaitReadable(kReadPoll);
      if (wait == WaitResult::TimedOut) continue;
      const ReceiveResult received =
          wait == WaitResult::Readable ? socket.Receive(buffer) : ReceiveResult {0, u"wait failed"};
      if (received.count == 0) {
        // The server has closed its side, or the socket failed. Bytes of a
        // frame cut short by this are dropped with the connection.
        // A reset counts even while the client ends the connection itself:
        // what it sent last may not have been read.
        if (!received.error.empty()) RecordEnd(EndCause::Kind::Reset, received.error);
        if (!connection->mustDisconnect) {
          RecordEnd(EndCause::Kind::StreamEnded, received.error);
          Abort(connection);
        }
        continue;
      }
      connection->Append(buffer.data(), received.count);
    }
    ReadHandler(connection);
  }
}

void WebSocketClient::ReadHandler(const std::shared_ptr<Connection>& connection) {
  if (connection->disconnected) return;
  if (!connection->enabled) ProcessAnswer(connection);
  if (connection->enabled) ReadFrames(connection);
}

void WebSocketClient::ProcessAnswer(const std::shared_ptr<Connection>& connection) {
  std::size_t consumed = 0;
  const auto status = connection->answerReader.Feed(connection->Unread(), consumed);
  connection->Take(consumed);
  if (status == AnswerLineReader::Status::NeedMore) return;

  std::u16string error = connection->answerReader.Error();
  if (error.empty()) error = EvaluateAnswer(connection->answerReader.Lines(), connection->key);
  if (!error.empty()) {
    ErrorHook(error, connection);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    connection->enabled = true;
  }
  stage_ = EndCause::Stage::Open;
  changed_.notify_all();
}

void WebSocketClient::ReadFrames(const std::shared_ptr<Connection>& owner) {
  Connection& connection = *owner;
  while (!connection.Unread().empty() && !connection.disconnected && !connection.mustDisconnect) {
    const FrameReader::Step step = connection.frameReader.Next(connection.Unread());
    connection.Take(step.consumed);
    if (!step.frameComplete) continue;
    const FrameEvent& event = step.event;
    switch (event.kind) {
      case FrameEvent::Kind::None:
      case FrameEvent::Kind::Binary:
        break;
      case FrameEvent::Kind::Text:
        if (handlers_.onText) handlers_.onText(event.text);
        break;
      case FrameEvent::Kind::Ping:
        if (const SocketStatus status = connection.WriteFrame(Opcode::Pong, event.bytes, SendDeadline());
            !status.Ok() && !connection.mustDisconnect) {
          ErrorHook(WriteErrorText(status.error), owner);
        }
        break;
      case FrameEvent::Kind::Close:
        Abort(owner);
        break;
      case FrameEvent::Kind::Error:
        // The connection ends first; the text then reaches the error hook.
        Abort(owner);
        ErrorHook(event.text, nullptr);
        break;
    }
  }
}

void WebSocketClient::DrainUntilClosed(Connection& connection) {
  connection.ClearInput();
  std::array<std::uint8_t, 32768> buffer;
  TcpSocket& socket = connection.Socket();
  const auto deadline = std::chrono::steady_clock::now() + kCloseDrainBound;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero()) return;
    if (socket.WaitReadable(left) != WaitResult::Readable) return;
    const ReceiveResult received = socket.Receive(buffer);
    if (received.count == 0) {
      // The server has closed, or reset the connection: then what the
      // client sent last may never have been read.
      if (!received.error.empty()) RecordEnd(EndCause::Kind::Reset, received.error);
      return;
    }
  }
}

void WebSocketClient::RecordEnd(EndCause::Kind kind, std::u16string_view text) noexcept {
  try {
    std::lock_guard lock(mutex_);
    if (!ended_) ended_ = EndCause {stage_, kind, std::u16string(text)};
  } catch (...) {
  }
}

std::optional<EndCause> WebSocketClient::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void WebSocketClient::ErrorHook(std::u16string_view text, const std::shared_ptr<Connection>& connection) {
  RecordEnd(EndCause::Kind::Error, text);
  try {
    if (handlers_.onError) handlers_.onError(text);
  } catch (...) {
  }
  if (connection) Abort(connection);
}

void WebSocketClient::Abort(const std::shared_ptr<Connection>& connection) {
  if (connection->disconnected.exchange(true)) return;
  // Shut down, not closed: the read thread may be waiting on the socket. The
  // socket is closed once the read thread is done with it.
  connection->ShutdownBoth();
  DisconnectNotification(connection);
}

void WebSocketClient::DisconnectNotification(const std::shared_ptr<Connection>& connection) {
  {
    std::lock_guard lock(mutex_);
    if (connection_ == connection) connection_.reset();
  }
  changed_.notify_all();
}

bool WebSocketClient::WaitForAnswer(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, bound, [this] { return !connection_ || connection_->enabled; });
  return connection_ && connection_->enabled;
}

bool WebSocketClient::WriteData(std::u16string_view text) {
  const auto connection = Current();
  if (!connection || !connection->enabled) return false;
  const Clock::time_point deadline = SendDeadline();
  if (const SocketStatus status = connection->WriteFrame(Opcode::Text, EncodeUtf8(text), deadline); !status.Ok()) {
    RecordEnd(status.timedOut ? EndCause::Kind::SendTimedOut : EndCause::Kind::WriteFailed,
              WriteErrorText(status.error));
    ErrorHook(WriteErrorText(status.error), connection);
    return false;
  }
  return true;
}

void WebSocketClient::Deactivate() {
  const auto connection = Current();
  if (!connection) {
    JoinReadThread();
    return;
  }
  // No close frame. The read thread stops reading frames and drains what the
  // server still sends until it closes; then the socket is closed.
  connection->mustDisconnect = true;
  connection->ShutdownSend();
  JoinReadThread();
  connection->disconnected = true;
  connection->ClearInput();
  connection->Socket().Close();
  DisconnectNotification(connection);
}

bool WebSocketClient::Disconnect(std::int32_t aTimeout) {
  Deactivate();
  if (aTimeout <= 0) return false;
  const std::uint32_t start = platform_.time.TickCount();
  for (;;) {
    if (!Active()) return true;
    platform_.time.Sleep(std::chrono::milliseconds(1));
    if (platform_.time.TickCount() - start >= static_cast<std::uint32_t>(aTimeout)) return false;
  }
}

}  // namespace pelliport::websocket
