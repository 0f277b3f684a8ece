// The settings file as the host reads it.
#include "places/ProfileString.h"

#include <gtest/gtest.h>

#include "platform/testing/ScratchFolder.h"

namespace pelliport {
namespace {

using testing::ScratchFolder;
using testing::WriteFileBytes;

TEST(SettingsFile, ProfileStringsFollowTheIniRules) {
  ScratchFolder scratch;
  const auto ini = scratch.Path() / "PelliportHost.ini";
  WriteFileBytes(ini, "[Other]\r\nAktiv=7\r\n[Execute]\r\n; comment\r\nAktiv = 1 \r\nFilename=\"/opt/view er\"\r\n");
  const auto path = ini.u16string();
  EXPECT_EQ(ReadProfileString(path, u"Execute", u"Aktiv", u"0"), u"1");
  EXPECT_EQ(ReadProfileString(path, u"execute", u"AKTIV", u"0"), u"1");
  EXPECT_EQ(ReadProfileString(path, u"Execute", u"Filename", u""), u"/opt/view er");
  EXPECT_EQ(ReadProfileString(path, u"Execute", u"Missing", u"dflt"), u"dflt");
  EXPECT_EQ(ReadProfileString((scratch.Path() / "none.ini").u16string(), u"Execute", u"Aktiv", u"0"), u"0");
}

}  // namespace
}  // namespace pelliport
