// The files a user may edit: the settings file and the port setting, read
// from the same bytes.
#include <cstdlib>
#include <filesystem>

#include "fuzz/FuzzTargets.h"
#include "import/UOrvantaImport.h"
#include "notify/PortSetting.h"
#include "places/ProfileString.h"
#include "platform/platform.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport::fuzz {

void FuzzSettingsFiles(Input input) {
  // One folder for the whole run; the port setting is read below the
  // configuration folder that the environment names.
  static const testing::ScratchFolder scratch;
  static const bool configured = [] {
    const auto config = scratch.Path() / "config";
    std::filesystem::create_directories(config / "Kelmarq" / "Orvanta");
    return ::setenv("XDG_CONFIG_HOME", config.string().c_str(), 1) == 0;
  }();
  Expect(configured, "settings: configuration folder not set");

  const std::string bytes(InputBytes(input));
  const auto ini = scratch.Path() / "PelliportHost.ini";
  testing::WriteFileBytes(ini, bytes);
  testing::WriteFileBytes(scratch.Path() / "config" / "Kelmarq" / "Orvanta" / "WebSocketPort", bytes);

  Platform& platform = SystemPlatform();
  const std::u16string active = ReadProfileString(ini.u16string(), u"Execute", u"Aktiv", u"0");
  static_cast<void>(ParseIniInteger(active));
  const std::u16string file = ReadProfileString(ini.u16string(), u"Execute", u"Filename", u"");
  Expect(active.size() <= 2047 && file.size() <= 2047, "settings value longer than the reader's buffer");

  const PortSetting port = ReadPortSetting(platform);
  Expect(port.outcome == PortSetting::Outcome::Read || port.outcome == PortSetting::Outcome::Unreadable,
         "port setting neither read nor unreadable");
}

}  // namespace pelliport::fuzz
