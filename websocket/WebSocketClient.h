// The WebSocket client that delivers the host's notification: one TCP
// connection to the loopback address at a time, the opening handshake, a
// read thread that answers the server, masked text frames, and a close
// without a closing handshake.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "websocket/RandomGenerator.h"

namespace pelliport {
struct Platform;
}

namespace pelliport::websocket {

class Connection;

// Optional handlers. The host sets none: the client's error texts and the
// server's messages go nowhere. Tests and tools watch them. They run on the
// thread that meets the event.
struct ClientHandlers {
  std::function<void(std::u16string_view)> onError;
  std::function<void(std::u16string_view)> onText;
};

// How a connection ended when the client did not end it itself: the first
// cause the client met, and how far the connection had come by then.
struct EndCause {
  enum class Stage { Connecting, Pending, Open };  // Pending: handshake answer not yet accepted
  enum class Kind {
    Error,        // the client's own error text (connect, handshake answer, protocol, write)
    StreamEnded,  // the server ended its side of the stream
    Reset,        // receiving failed: the server reset the connection
    WriteFailed,  // writing the text frame failed
    SendTimedOut, // the text frame could not be written within kSendBound
  };
  Stage stage = Stage::Connecting;
  Kind kind = Kind::Error;
  std::u16string text;
};

class WebSocketClient {
 public:
  // After a close request the client reads and discards what the server
  // still sends, for at most this long, so that closing the socket cannot
  // reset the connection while the frame it sent is still unread.
  static constexpr std::chrono::milliseconds kCloseDrainBound {500};
  // The read thread's longest wait for data before it looks at its flags.
  static constexpr std::chrono::milliseconds kReadPoll {10};
  // The longest time one frame may take to be written, waiting for the
  // write lock included: a server that stops reading cannot hold the host.
  static constexpr std::chrono::milliseconds kSendBound {5000};

  // `port`: only the low 16 bits count.
  WebSocketClient(Platform& platform, std::string host, std::int32_t port, ClientHandlers handlers = {});
  ~WebSocketClient();
  WebSocketClient(const WebSocketClient&) = delete;
  WebSocketClient& operator=(const WebSocketClient&) = delete;

  // Connects, sends the handshake request and starts the read thread. Never
  // fails: errors go to the error hook and leave the client inactive.
  void Activate();
  // Ends the connection: no close frame, the sending direction is shut down,
  // the server's last bytes are drained (bounded) and the socket is closed.
  void Deactivate();
  // A connection object exists: connected, whether or not the server has
  // answered the handshake yet.
  bool Active() const;
  // The server's handshake answer has been accepted.
  bool Open() const;
  // Waits until the handshake answer has been accepted or the connection
  // has ended, at most `bound`. True when the connection is open.
  bool WaitForAnswer(std::chrono::milliseconds bound);
  // Sends the text as one text frame. True only when the frame was written
  // on an open connection; a failed write closes the connection.
  bool WriteData(std::u16string_view text);
  // Deactivates, then waits up to aTimeout ms for the connection object to
  // be gone. False at once for aTimeout <= 0.
  bool Disconnect(std::int32_t aTimeout);
  // The first cause by which a connection of this client ended other than
  // by the client's own deactivation; none when nothing went wrong.
  std::optional<EndCause> Ended() const;

 private:
  // The read thread: the read loop, whose failures of any kind go to the
  // error hook instead of ending the process.
  void ReadThread(std::shared_ptr<Connection> connection);
  void ReadLoop(std::shared_ptr<Connection> connection);
  void ReadHandler(const std::shared_ptr<Connection>& connection);
  void ProcessAnswer(const std::shared_ptr<Connection>& connection);
  void ReadFrames(const std::shared_ptr<Connection>& connection);
  void DrainUntilClosed(Connection& connection);
  void ErrorHook(std::u16string_view text, const std::shared_ptr<Connection>& connection);
  // Keeps the cause unless an earlier one is kept; never fails.
  void RecordEnd(EndCause::Kind kind, std::u16string_view text) noexcept;
  void Abort(const std::shared_ptr<Connection>& connection);
  void DisconnectNotification(const std::shared_ptr<Connection>& connection);
  std::shared_ptr<Connection> Current() const;
  void JoinReadThread();

  Platform& platform_;
  const std::string host_;
  const std::uint16_t port_;
  const ClientHandlers handlers_;
  // Masks frames under the current connection's write lock. Activate also
  // draws the handshake key from it without that lock: safe only because it
  // has joined the previous connection's read thread (the one other user)
  // and starts the next one after the key is drawn.
  RandomGenerator random_;

  mutable std::mutex mutex_;            // guards connection_
  std::condition_variable changed_;     // connection_ gone or its answer accepted
  std::shared_ptr<Connection> connection_;
  std::atomic<EndCause::Stage> stage_ {EndCause::Stage::Connecting};
  std::optional<EndCause> ended_;       // guarded by mutex_
  std::thread readThread_;              // only the caller's thread starts and joins it
};

}  // namespace pelliport::websocket
