// The port setting as the notification reads it, in the file of a system
// without a registry (the registry's: PortSetting_win32_test.cpp).
#include "notify/PortSetting.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ScratchFolder;
using testing::SetEnvironmentVariable;
using testing::WriteFileBytes;

Platform& P() { return SystemPlatform(); }

TEST(PortSetting, PortFileOutcomes) {
  ScratchFolder scratch;
  const auto config = scratch.Path() / "config";
  SetEnvironmentVariable("XDG_CONFIG_HOME", config.string());
  const auto file = config / "Kelmarq" / "Orvanta" / "WebSocketPort";

  EXPECT_EQ(ReadPortSetting(P()).outcome, PortSetting::Outcome::Missing);
  EXPECT_TRUE(std::filesystem::is_directory(file.parent_path()));  // created when missing

  WriteFileBytes(file, " 6000\n");
  PortSetting read = ReadPortSetting(P());
  EXPECT_EQ(read.outcome, PortSetting::Outcome::Read);
  EXPECT_EQ(read.value, 6000);

  WriteFileBytes(file, "-1");
  EXPECT_EQ(ReadPortSetting(P()).value, -1);

  for (const char* bad : {"5414x", "", "99999999999", "0x10"}) {
    WriteFileBytes(file, bad);
    const PortSetting unreadable = ReadPortSetting(P());
    EXPECT_EQ(unreadable.outcome, PortSetting::Outcome::Unreadable) << bad;
    EXPECT_EQ(unreadable.errorKind, u"ERegistryException");
    EXPECT_EQ(unreadable.errorMessage, U16("Ungültiger Datentyp für 'WebSocketPort'"));
  }
  SetEnvironmentVariable("XDG_CONFIG_HOME", "");
}

// The self-check reads the setting without creating its folder, and with the
// same outcomes as the host.
TEST(PortSetting, InspectingCreatesNothing) {
  ScratchFolder scratch;
  const auto config = scratch.Path() / "config";
  SetEnvironmentVariable("XDG_CONFIG_HOME", config.string());
  EXPECT_EQ(InspectPortSetting(P()).outcome, PortSetting::Outcome::Missing);
  EXPECT_FALSE(std::filesystem::exists(config));
  EXPECT_EQ(PortSettingLocation(P()), (config / "Kelmarq" / "Orvanta" / "WebSocketPort").u16string());
  for (const char* content : {"6000\n", "x"}) {
    WriteFileBytes(config / "Kelmarq" / "Orvanta" / "WebSocketPort", content);
    const PortSetting inspected = InspectPortSetting(P());
    const PortSetting read = ReadPortSetting(P());
    EXPECT_EQ(inspected.outcome, read.outcome) << content;
    EXPECT_EQ(inspected.value, read.value) << content;
    EXPECT_EQ(inspected.errorMessage, read.errorMessage) << content;
  }
  SetEnvironmentVariable("XDG_CONFIG_HOME", "");
}

}  // namespace
}  // namespace pelliport
