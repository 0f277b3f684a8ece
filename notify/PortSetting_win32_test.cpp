// The port setting in the registry, as the notification reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "notify/PortSetting.h"
#include "platform/testing/RegistryPortValue.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ReadPortValue;
using testing::RegistryValue;
using testing::WritePortValue;

// The user's "WebSocketPort" value, put back as it was when the test ends.
struct RestoredPortValue {
  std::optional<RegistryValue> saved = ReadPortValue();
  ~RestoredPortValue() {
    try {
      WritePortValue(saved);
    } catch (const std::exception&) {
      // The user's value could not be put back; nothing more to do here.
    }
  }
};

std::vector<BYTE> Bytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(p, p + size);
}

TEST(Win32PortSetting, RegistryValueOutcomes) {
  const RestoredPortValue restore;
  WritePortValue(std::nullopt);
  EXPECT_EQ(ReadPortSetting(SystemPlatform()).outcome, PortSetting::Outcome::Missing);

  const std::u16string tooLong = U16("Fehler beim Holen der Daten für 'WebSocketPort'");
  const std::u16string wrongType = U16("Ungültiger Datentyp für 'WebSocketPort'");
  const DWORD port6000 = 6000;
  const DWORD minusOne = 0xFFFFFFFF;
  const DWORD port70000 = 70000;
  const unsigned long long wide = 6000;
  const wchar_t text[] = L"5414";
  struct Case {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    PortSetting::Outcome outcome;
    std::int32_t value;
    std::u16string message;
  };
  const Case cases[] = {
      {"DWORD 6000", REG_DWORD, Bytes(&port6000, 4), PortSetting::Outcome::Read, 6000, u""},
      {"DWORD -1", REG_DWORD, Bytes(&minusOne, 4), PortSetting::Outcome::Read, -1, u""},
      {"DWORD 70000", REG_DWORD, Bytes(&port70000, 4), PortSetting::Outcome::Read, 70000, u""},
      {"string", REG_SZ, Bytes(text, sizeof text), PortSetting::Outcome::Unreadable, 0, tooLong},
      {"QWORD", REG_QWORD, Bytes(&wide, 8), PortSetting::Outcome::Unreadable, 0, tooLong},
      {"4-byte binary", REG_BINARY, Bytes(&port6000, 4), PortSetting::Outcome::Unreadable, 0, wrongType},
      {"2-byte string", REG_SZ, Bytes(L"", 2), PortSetting::Outcome::Unreadable, 0, wrongType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WritePortValue(RegistryValue{c.type, c.data});
    const PortSetting setting = ReadPortSetting(SystemPlatform());
    EXPECT_EQ(setting.outcome, c.outcome);
    // The self-check's reading gives the same.
    const PortSetting inspected = InspectPortSetting(SystemPlatform());
    EXPECT_EQ(inspected.outcome, setting.outcome);
    EXPECT_EQ(inspected.value, setting.value);
    EXPECT_EQ(inspected.errorMessage, setting.errorMessage);
    if (c.outcome == PortSetting::Outcome::Read) {
      EXPECT_EQ(setting.value, c.value);
    } else {
      EXPECT_EQ(setting.errorKind, u"ERegistryException");
      EXPECT_EQ(setting.errorMessage, c.message);
    }
  }
}

// The self-check reads the setting without creating the key.
TEST(Win32PortSetting, InspectingCreatesNoKey) {
  const RestoredPortValue restore;
  WritePortValue(std::nullopt);
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Kelmarq\\Orvanta"), ERROR_SUCCESS);
  EXPECT_EQ(InspectPortSetting(SystemPlatform()).outcome, PortSetting::Outcome::Missing);
  HKEY key = nullptr;
  EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Kelmarq\\Orvanta", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  if (key != nullptr) ::RegCloseKey(key);
  EXPECT_EQ(PortSettingLocation(SystemPlatform()),
            u"HKEY_CURRENT_USER\\Software\\Kelmarq\\Orvanta, value WebSocketPort");
  // The host's own reading creates it again.
  EXPECT_EQ(ReadPortSetting(SystemPlatform()).outcome, PortSetting::Outcome::Missing);
}

// What a started program reads back from the command line the viewer launch
// builds: the argument, whole and unchanged.

}  // namespace
}  // namespace pelliport
