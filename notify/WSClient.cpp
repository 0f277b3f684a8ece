#include "notify/WSClient.h"

#include <string>

#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using websocket::EndCause;

// The log's reason for a connection that ended before the message was
// delivered.
std::u16string Describe(const std::optional<EndCause>& cause) {
  if (!cause) return u"Connection ended by the server";
  const std::u16string& text = cause->text;
  switch (cause->kind) {
    case EndCause::Kind::SendTimedOut:
      return u"Sending timed out: the message could not be written within " +
             U16(std::to_string(websocket::WebSocketClient::kSendBound.count())) + u" ms";
    case EndCause::Kind::WriteFailed:
      return u"Sending failed: " + text;
    case EndCause::Kind::Reset:
      return (cause->stage == EndCause::Stage::Open ? u"Connection reset by the server: "
                                                    : u"Connection reset by the server before its handshake answer: ") +
             text;
    case EndCause::Kind::StreamEnded:
      return cause->stage == EndCause::Stage::Open ? u"Connection ended by the server before the message was sent"
                                                   : u"Connection ended by the server before its handshake answer";
    case EndCause::Kind::Error:
      break;
  }
  switch (cause->stage) {
    case EndCause::Stage::Connecting:
      return u"No connection: " + text;
    case EndCause::Stage::Pending:
      return u"Handshake answer rejected: " + text;
    case EndCause::Stage::Open:
      break;
  }
  return u"Connection ended: " + text;
}

}  // namespace

TWSClient::TWSClient(std::unique_ptr<websocket::WebSocketClient> client) : FWSClient(std::move(client)) {}

TWSClient::~TWSClient() { Disconnect(); }

std::unique_ptr<TWSClient> TWSClient::InitClient(Platform& platform, std::int32_t iPort) {
  std::unique_ptr<TWSClient> wrapper(
      new TWSClient(std::make_unique<websocket::WebSocketClient>(platform, "127.0.0.1", iPort)));
  try {
    wrapper->FWSClient->Activate();
  } catch (...) {
    // Activation reports nothing to the caller; Connected() tells.
  }
  if (wrapper->FWSClient->Active()) wrapper->FWSClient->WaitForAnswer(kAnswerWait);
  return wrapper;
}

bool TWSClient::Connected() { return FWSClient && FWSClient->Active(); }

bool TWSClient::SendMessage(std::u16string_view sMessage) {
  if (!Connected()) throw HostError(u"Exception", u"Not connected");
  const bool answered = FWSClient->Open();
  bool written = false;
  try {
    written = FWSClient->WriteData(sMessage);
  } catch (...) {
    // Out of memory while the frame was built: the caller logs the failure.
    notDelivered_ = u"Sending failed";
    FWSClient->Disconnect(kDisconnectTimeout);
    throw;
  }
  FWSClient->Disconnect(kDisconnectTimeout);
  // A reset after the write means the server closed with the frame unread.
  const std::optional<EndCause> ended = FWSClient->Ended();
  if (written && !(ended && ended->kind == EndCause::Kind::Reset)) return true;
  notDelivered_ = !written && !answered && !ended
                      ? u"No answer to the opening handshake within " + U16(std::to_string(kAnswerWait.count())) + u" ms"
                      : Describe(ended);
  return false;
}

std::u16string TWSClient::NotDeliveredReason() const {
  if (!notDelivered_.empty()) return notDelivered_;
  return Describe(FWSClient ? FWSClient->Ended() : std::nullopt);
}

void TWSClient::Disconnect() {
  if (!FWSClient) return;
  FWSClient->Deactivate();
  FWSClient.reset();
}

}  // namespace pelliport
