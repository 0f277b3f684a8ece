// ws_send PORT FILE: sends the UTF-8 text of FILE as one notification to the
// WebSocket server on 127.0.0.1:PORT, the way the host does. For checks
// against other WebSocket servers. Exit code 0: sent; 1: not sent;
// 2: bad arguments or unreadable file.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "notify/WSClient.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/utf.h"

int main(int argc, char** argv) {
  using namespace pelliport;
  if (argc != 3) {
    std::cerr << "usage: ws_send PORT FILE\n";
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << argv[2] << "\n";
    return 2;
  }
  std::stringstream content;
  content << in.rdbuf();
  const auto text = DecodeUtf8Strict(content.str());
  if (!text) {
    std::cerr << argv[2] << " is not UTF-8\n";
    return 2;
  }
  try {
    auto client = TWSClient::InitClient(SystemPlatform(), std::stoi(argv[1]));
    if (!client->Connected()) {
      std::cerr << "not connected\n";
      return 1;
    }
    if (!client->SendMessage(*text)) {
      std::cerr << "not sent\n";
      return 1;
    }
    return 0;
  } catch (const HostError& error) {
    std::cerr << error.what() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 2;
  }
}
