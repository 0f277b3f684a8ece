// TWSClient: the host's thin wrapper of the WebSocket client for the one
// notification to the desktop application on the loopback address.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "websocket/WebSocketClient.h"

namespace pelliport {

struct Platform;

class TWSClient {
 public:
  // How long InitClient waits for the server's handshake answer.
  static constexpr std::chrono::milliseconds kAnswerWait {1000};
  // How long SendMessage's disconnect waits for the connection to be gone.
  static constexpr std::int32_t kDisconnectTimeout = 10000;

  // Connects to 127.0.0.1 and the port (its low 16 bits), sends the opening
  // handshake and waits up to kAnswerWait for the answer; returns as soon as
  // the answer was accepted or failed. Never fails because of the network.
  static std::unique_ptr<TWSClient> InitClient(Platform& platform, std::int32_t iPort);

  // Deactivates and releases the WebSocket client.
  ~TWSClient();
  TWSClient(const TWSClient&) = delete;
  TWSClient& operator=(const TWSClient&) = delete;

  // Connected, whether or not the handshake answer has been accepted.
  bool Connected();
  // Sends the text as one text message, then disconnects. True only when
  // the frame was written after an accepted handshake, within
  // WebSocketClient::kSendBound, and the server did not reset the
  // connection before it had read it. Throws
  // HostError("Exception", "Not connected") when not connected.
  bool SendMessage(std::u16string_view sMessage);
  // Why the message did not reach the server, for the log: after a
  // connection that failed, or a SendMessage that failed or answered false.
  std::u16string NotDeliveredReason() const;
  // Deactivates the WebSocket client and releases it.
  void Disconnect();
  // Does nothing: the caller shows its own box.
  void PromptErrorMessage() {}

 private:
  explicit TWSClient(std::unique_ptr<websocket::WebSocketClient> client);

  std::unique_ptr<websocket::WebSocketClient> FWSClient;
  std::u16string notDelivered_;  // set by SendMessage when the message was not delivered
};

}  // namespace pelliport
