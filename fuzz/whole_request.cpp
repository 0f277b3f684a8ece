// The whole host: the main routine on the test platform with the request as
// the browser frames it, files in a scratch folder and the notification going
// to a server in memory.
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "fuzz/InMemorySocket.h"
#include "host/HostMain.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport::fuzz {
namespace {

class InMemoryNetwork : public Network {
 public:
  std::shared_ptr<InMemoryServer> server = std::make_shared<InMemoryServer>();
  std::unique_ptr<TcpSocket> CreateTcpSocket() override { return CreateInMemorySocket(server); }
};

// The payloads of the client's frames after the handshake request, unmasked.
std::vector<std::string> ClientFrames(const std::string& received) {
  std::vector<std::string> frames;
  std::size_t at = received.find("\r\n\r\n");
  if (at == std::string::npos) return frames;
  at += 4;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(received[i]); };
  while (at + 2 <= received.size()) {
    Expect((byte(at + 1) & 0x80) != 0, "host: a frame without a mask");
    std::uint64_t length = byte(at + 1) & 0x7F;
    std::size_t header = 2;
    if (length >= 126) {
      const std::size_t bytes = length == 126 ? 2 : 8;
      Expect(at + 2 + bytes <= received.size(), "host: a frame cut short");
      length = 0;
      for (std::size_t i = 0; i < bytes; ++i) length = length << 8 | byte(at + 2 + i);
      header += bytes;
    }
    Expect(at + header + 4 + length <= received.size(), "host: a frame cut short");
    std::string payload = received.substr(at + header + 4, length);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] ^= received[at + header + i % 4];
    frames.push_back(std::move(payload));
    at += header + 4 + length;
  }
  Expect(at == received.size(), "host: bytes after the last frame");
  return frames;
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + separator.size();
  }
}

// What reaches the desktop application: one notification of three lines; a
// page's list holds only the entries that the host writes.
void ExpectSoundNotification(const std::string& received) {
  const std::vector<std::string> frames = ClientFrames(received);
  if (frames.empty()) return;
  Expect(frames.size() == 1, "host: more than one notification");
  const std::vector<std::string> lines = Split(frames[0], "\n");
  Expect(lines.size() == 3, "host: a notification that is not three lines");
  if (lines[1] != "DO_XINGIMPORT") return;
  std::string list = testing::ReadFileBytes(std::filesystem::u8path(lines[2]));
  if (list.rfind("\xEF\xBB\xBF", 0) == 0) list.erase(0, 3);  // UTF-8 lists start with a BOM
  static const char* const kKeys[] = {"TYPE=", "URL=", "HTML=", "FOTO=", "FOTOURL=", "APIURL="};
  std::vector<std::string> entries = Split(list, "\r\n");
  Expect(!entries.empty() && entries.back().empty(), "host: a list that does not end in CR LF");
  entries.pop_back();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    Expect(entry.find_first_of("\r\n") == std::string::npos, "host: a line break inside a list entry");
    bool known = false;
    for (const char* key : kKeys) known = known || entry.rfind(key, 0) == 0;
    Expect(known, "host: a list entry that the host does not write");
    Expect(entry.rfind("TYPE=", 0) != 0 || i == 0, "host: a second TYPE entry");
  }
}

}  // namespace

void FuzzWholeRequest(Input input) {
  static const testing::ScratchFolder scratch;
  const auto appData = scratch.Path() / "appdata";
  const auto temp = scratch.Path() / "temp";
  std::filesystem::create_directories(appData / "Orvanta");
  std::filesystem::create_directories(temp);

  InMemoryNetwork network;
  testing::FakePlatform platform(network);
  platform.localAppData = appData.u16string();
  platform.temp = temp.u16string();
  platform.userValue = UserValue{UserValue::Outcome::Read, 5414};
  platform.computerName = u"fuzz";
  platform.userName = u"fuzz";
  const std::uint32_t length = static_cast<std::uint32_t>(input.size());
  platform.stdinBytes = {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                         static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
  platform.stdinBytes += InputBytes(input);

  const int exitCode = RunHost(platform);
  Expect(exitCode == 0, "host: the reply could not be written");
  Expect(network.server->connections <= 1, "host: more than one connection for one request");
  ExpectSoundNotification(network.server->received);

  std::error_code ignored;
  std::filesystem::remove_all(appData, ignored);
  std::filesystem::remove_all(temp, ignored);
}

}  // namespace pelliport::fuzz
