#include "notify/WSClient.h"

#include "platform/error.h"

namespace pelliport {

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
  bool sent = false;
  try {
    sent = FWSClient->WriteData(sMessage);
  } catch (...) {
    FWSClient->Disconnect(kDisconnectTimeout);
    throw;
  }
  FWSClient->Disconnect(kDisconnectTimeout);
  return sent;
}

void TWSClient::Disconnect() {
  if (!FWSClient) return;
  FWSClient->Deactivate();
  FWSClient.reset();
}

}  // namespace pelliport
