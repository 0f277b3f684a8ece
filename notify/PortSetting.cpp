#include "notify/PortSetting.h"

#include "platform/utf.h"

namespace pelliport {
namespace {

constexpr std::u16string_view kPortKey = u"Software\\Kelmarq\\Orvanta";
constexpr std::u16string_view kPortValue = u"WebSocketPort";

// The registry's failures as the host has always reported them.
PortSetting FromValue(const UserValue& read) {
  PortSetting setting;
  switch (read.outcome) {
    case UserValue::Outcome::NotReachable:
      break;
    case UserValue::Outcome::Missing:
      setting.outcome = PortSetting::Outcome::Missing;
      break;
    case UserValue::Outcome::Unreadable:
    case UserValue::Outcome::WrongType:
      setting.outcome = PortSetting::Outcome::Unreadable;
      setting.errorKind = u"ERegistryException";
      setting.errorMessage = read.outcome == UserValue::Outcome::Unreadable
                                 ? U16("Fehler beim Holen der Daten für 'WebSocketPort'")
                                 : U16("Ungültiger Datentyp für 'WebSocketPort'");
      break;
    case UserValue::Outcome::Read:
      setting.outcome = PortSetting::Outcome::Read;
      setting.value = read.value;
      break;
  }
  return setting;
}

}  // namespace

PortSetting ReadPortSetting(Platform& platform) {
  return FromValue(platform.settings.ReadInteger(kPortKey, kPortValue, true));
}

PortSetting InspectPortSetting(Platform& platform) {
  return FromValue(platform.settings.ReadInteger(kPortKey, kPortValue, false));
}

std::u16string PortSettingLocation(Platform& platform) { return platform.settings.Location(kPortKey, kPortValue); }

}  // namespace pelliport
