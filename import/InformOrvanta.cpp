// The desktop notification: the sender line in front of the command text,
// the port from the per-user setting, one WebSocket text message to the
// desktop application, and the box when nothing could be sent.
#include <string>

#include "import/UOrvantaImport.h"
#include "notify/PortSetting.h"
#include "notify/WSClient.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// The kind of the error line of every notification that did not arrive.
constexpr std::u16string_view kNotDeliveredKind = u"ENotDelivered";

}  // namespace

std::u16string GetComputerAndUserName(Platform& platform) {
  const auto computer = platform.identity.ComputerName();
  const auto user = platform.identity.UserName();
  return (computer ? *computer : u"(Unknown Computername)") + u"/" + (user ? *user : u"(Unknown Username)");
}

std::u16string NotificationText(std::u16string_view sender, std::u16string_view commandText) {
  std::u16string text(sender);
  text += u'\n';
  text += commandText;
  return text;
}

std::u16string NotSentMessage() {
  return U16("Fehler: \n\rEs konnte keine Verbindung zu Orvanta hergestellt werden.\r\n\r\n"
             "Bitte prüfen Sie, ob Orvanta gestartet wurde.");
}

std::int32_t TOrvantaImport::iGetServerPort() {
  std::int32_t port = kDefaultPort;
  try {
    const PortSetting setting = ReadPortSetting(platform_);
    port = ServerPort(setting);
    switch (setting.outcome) {
      case PortSetting::Outcome::NotReachable:
        break;
      case PortSetting::Outcome::Read:
        Log(u"[InformOrvanta] |_found WebSocketPort = " + Decimal(port));
        break;
      case PortSetting::Outcome::Missing:
        Log(u"[InformOrvanta] |_WebSocketPort not found! Use default port " + Decimal(port));
        break;
      case PortSetting::Outcome::Unreadable:
        throw HostError(setting.errorKind, setting.errorMessage);
    }
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[InformOrvanta.iGetServerPort]", failure.kind, failure.message);
  }
  return port;
}

bool TOrvantaImport::InformServer(std::int32_t port, std::u16string_view text) {
  bool sent = false;
  std::unique_ptr<TWSClient> client;
  try {
    Log(u"[InformOrvanta] |_InitClient(Port=" + Decimal(port) + u")");
    client = TWSClient::InitClient(platform_, port);
    if (client) {
      Log(u"[InformOrvanta] |_Connect");
      if (client->Connected()) {
        Log(u"[InformOrvanta] |_SendMessage(" + std::u16string(text) + u")");
        sent = client->SendMessage(text);
      } else {
        Log(u"[InformOrvanta] |_NOT Connected!");
        client->PromptErrorMessage();
      }
    }
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[InformOrvanta.InformServer]", failure.kind, failure.message);
    sent = false;
  }
  // A notification that did not arrive is never left looking sent: the
  // reason goes to the log before the caller's box.
  if (!sent) {
    try {
      LogError(u"[InformOrvanta.InformServer]", kNotDeliveredKind,
               client ? client->NotDeliveredReason() : u"No client");
    } catch (...) {
    }
  }
  return sent;
}

void TOrvantaImport::InformOrvanta(std::u16string_view commandText) {
  // The closing line is written on every way out, a failure included.
  struct DoneLine {
    TOrvantaImport& engine;
    ~DoneLine() { engine.Log(u"[InformOrvanta] |_Done!"); }
  } done{*this};
  Log(u"[InformServer]");
  const std::u16string sender = GetComputerAndUserName(platform_);
  const std::int32_t port = iGetServerPort();
  const std::u16string text = NotificationText(sender, commandText);
  if (!InformServer(port, text)) ShowErrorBox(NotSentMessage());
}

}  // namespace pelliport
