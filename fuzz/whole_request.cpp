// The whole host: the main routine on the test platform with the request as
// the browser frames it, files in a scratch folder and the notification going
// to a server in memory.
#include <filesystem>

#include "fuzz/FuzzTargets.h"
#include "fuzz/InMemorySocket.h"
#include "host/HostMain.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport::fuzz {
namespace {

class InMemoryPlatform : public testing::FakePlatform {
 public:
  std::shared_ptr<InMemoryServer> server = std::make_shared<InMemoryServer>();
  std::unique_ptr<TcpSocket> CreateTcpSocket() override { return CreateInMemorySocket(server); }
};

}  // namespace

void FuzzWholeRequest(Input input) {
  static const testing::ScratchFolder scratch;
  const auto appData = scratch.Path() / "appdata";
  const auto temp = scratch.Path() / "temp";
  std::filesystem::create_directories(appData / "Orvanta");
  std::filesystem::create_directories(temp);

  InMemoryPlatform platform;
  platform.localAppData = appData.u16string();
  platform.temp = temp.u16string();
  platform.portSetting = PortSetting {PortSetting::Outcome::Read, 5414, {}, {}};
  platform.computerName = u"fuzz";
  platform.userName = u"fuzz";
  const std::uint32_t length = static_cast<std::uint32_t>(input.size());
  platform.stdinBytes = {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                         static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
  platform.stdinBytes += InputBytes(input);

  const int exitCode = RunHost(platform);
  Expect(exitCode == 0, "host: the reply could not be written");
  Expect(platform.server->connections <= 1, "host: more than one connection for one request");

  std::error_code ignored;
  std::filesystem::remove_all(appData, ignored);
  std::filesystem::remove_all(temp, ignored);
}

}  // namespace pelliport::fuzz
