#include "selfcheck/BrowserPolicy.h"

#include <algorithm>

#include "platform/utf.h"

namespace pelliport {
namespace {

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

bool Holds(const PolicySetting* list, std::u16string_view text) {
  if (list == nullptr) return false;
  const auto& items = list->value.items;
  return std::find(items.begin(), items.end(), text) != items.end();
}

PolicyValue::Kind KindOf(PolicyName name) {
  return name == PolicyName::UserLevelHosts ? PolicyValue::Kind::Boolean : PolicyValue::Kind::List;
}

// The setting of a policy that holds: the last of its name, unless a wrong
// value after it unsets it.
const PolicySetting* EffectiveOf(const BrowserPolicies& policies, PolicyName name) {
  const PolicySetting* effective = nullptr;
  for (const auto& setting : policies.settings) {
    if (setting.name != name) continue;
    if (setting.value.kind == KindOf(name)) {
      effective = &setting;
    } else if (setting.wrongReplacesEarlier) {
      effective = nullptr;
    }
  }
  return effective;
}

// Lower case, blanks around removed: how an administrator may have meant a
// host name that the browser, comparing exactly, does not match.
std::u16string Loosely(std::u16string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
  while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
  std::u16string out(text.substr(begin, end - begin));
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

// Entries of the allowlist that look meant for the host but do not count.
std::u16string AllowlistHint(const PolicySetting* allowlist, std::u16string_view hostName) {
  if (allowlist == nullptr) return {};
  for (const auto& item : allowlist->value.items) {
    if (item == u"*") return u" (\"*\" in NativeMessagingAllowlist allows no host: it takes host names only)";
    if (item != hostName && Loosely(item) == hostName) {
      return u" (NativeMessagingAllowlist holds " + Quoted(item) +
             u", which does not count: host names are compared exactly)";
    }
  }
  return {};
}

std::u16string At(const PolicySetting& setting) {
  return std::u16string(PolicyKey(setting.name)) + u" at " + setting.place;
}

}  // namespace

std::u16string_view PolicyKey(PolicyName name) {
  switch (name) {
    case PolicyName::UserLevelHosts:
      return u"NativeMessagingUserLevelHosts";
    case PolicyName::Blocklist:
      return u"NativeMessagingBlocklist";
    case PolicyName::Allowlist:
      break;
  }
  return u"NativeMessagingAllowlist";
}

EffectivePolicies Effective(const BrowserPolicies& policies) {
  return {EffectiveOf(policies, PolicyName::UserLevelHosts), EffectiveOf(policies, PolicyName::Blocklist),
          EffectiveOf(policies, PolicyName::Allowlist)};
}

PolicyVerdict DecidePolicies(const BrowserPolicies& policies, std::u16string_view hostName) {
  const EffectivePolicies effective = Effective(policies);
  PolicyVerdict verdict;
  if (effective.userLevelHosts != nullptr && !effective.userLevelHosts->value.boolean) {
    verdict.userLevelAllowed = false;
    verdict.userLevelOff = effective.userLevelHosts;
  }
  verdict.allowlist = effective.allowlist;
  const bool byName = Holds(effective.blocklist, hostName);
  if (byName || Holds(effective.blocklist, u"*")) {
    verdict.blockedBy = effective.blocklist;
    verdict.wildcard = !byName;
    if (Holds(effective.allowlist, hostName)) {
      verdict.allowedBy = effective.allowlist;
    } else {
      verdict.blocked = true;
    }
  }
  return verdict;
}

bool ManifestUsable(const HostManifest& manifest, std::u16string_view hostName, char16_t separator) {
  return manifest.valid && manifest.name == hostName && manifest.type == u"stdio" && manifest.path &&
         IsAbsolutePath(*manifest.path, separator);
}

RegistrationChoice ChooseRegistration(const BrowserRegistrations& browser, bool userLevelAllowed,
                                      const std::vector<HostManifest>& manifests, std::u16string_view hostName,
                                      char16_t separator) {
  using Skip = RegistrationChoice::Skip;
  RegistrationChoice choice;
  for (std::size_t i = 0; i < browser.registrations.size(); ++i) {
    Skip skip = Skip::NotSkipped;
    if (choice.used) {
      skip = Skip::AfterUsed;
    } else if (browser.registrations[i].userLevel && !userLevelAllowed) {
      skip = Skip::UserLevelOff;
    } else if (browser.registrations[i].manifestPath.empty()) {
      skip = Skip::NoManifest;
    } else if (browser.skipsUnusable &&
               (i >= manifests.size() || !ManifestUsable(manifests[i], hostName, separator))) {
      skip = Skip::UnusableManifest;
    } else {
      choice.used = i;
    }
    choice.skips.push_back(skip);
  }
  return choice;
}

std::optional<CheckRow> RegistrationsRow(const BrowserRegistrations& browser, const RegistrationChoice& choice,
                                         const PolicyVerdict& verdict) {
  using Skip = RegistrationChoice::Skip;
  const bool skipsOne = std::any_of(choice.skips.begin(), choice.skips.end(), [](Skip skip) {
    return skip == Skip::UserLevelOff || skip == Skip::NoManifest || skip == Skip::UnusableManifest;
  });
  if (browser.registrations.size() < 2 && !skipsOne) return std::nullopt;
  const std::u16string& name = browser.browser;
  std::u16string finding = name + u" finds, in its order: ";
  for (std::size_t i = 0; i < browser.registrations.size(); ++i) {
    if (i > 0) finding += u"; ";
    finding += Decimal(static_cast<long long>(i + 1)) + u". " + browser.registrations[i].registeredAt;
    switch (i < choice.skips.size() ? choice.skips[i] : Skip::AfterUsed) {
      case Skip::NotSkipped:
        finding += u" (used)";
        break;
      case Skip::UserLevelOff:
        finding += u" (skipped: per-user registrations are off, " +
                   (verdict.userLevelOff ? At(*verdict.userLevelOff) : std::u16string(u"by policy")) + u")";
        break;
      case Skip::NoManifest:
        finding += u" (skipped: it names no manifest file)";
        break;
      case Skip::UnusableManifest:
        finding += u" (skipped: " + name + u" cannot use its manifest)";
        break;
      case Skip::AfterUsed:
        finding += u" (not used: " + name + u" takes the first it can use)";
        break;
    }
  }
  if (!choice.used) finding += u"; none is used";
  return CheckRow{CheckStatus::Note, name + u" registrations", finding};
}

std::vector<CheckRow> PolicyRows(const BrowserPolicies& policies, const PolicyVerdict& verdict,
                                 std::u16string_view hostName, bool registered,
                                 const std::optional<std::u16string>& userLevelOnly,
                                 std::u16string_view machineInstall) {
  const std::u16string& name = policies.browser;
  const std::u16string item = name + u" policy";
  const CheckStatus against = registered ? CheckStatus::Fail : CheckStatus::Note;
  const std::u16string host(hostName);
  std::vector<CheckRow> rows;

  // What cannot be read is no "no policy": the browser skips it, but what
  // it was meant to set is unknown.
  for (const auto& problem : policies.problems) {
    rows.push_back({against, item,
                    problem.place + u": " + problem.problem + u"; " + name +
                        u" skips it, so whatever it sets does not hold"});
  }
  for (const auto& setting : policies.settings) {
    if (setting.value.kind == PolicyValue::Kind::Wrong) {
      const std::u16string wanted = setting.name == PolicyName::UserLevelHosts ? u"true or false (0 or 1)"
                                                                               : u"a list of host names";
      rows.push_back({against, item,
                      At(setting) + u" is " + setting.value.found + u", not " + wanted + u"; " + name +
                          u" ignores it"});
    } else if (setting.value.otherItems > 0) {
      rows.push_back({against, item,
                      At(setting) + u" holds " + Decimal(static_cast<long long>(setting.value.otherItems)) +
                          u" entries that are no texts; " + name + u" leaves them out"});
    }
  }
  const bool unreadable = !rows.empty();

  bool stopped = false;
  if (verdict.blocked && verdict.blockedBy != nullptr) {
    const std::u16string addAt = verdict.allowlist ? verdict.allowlist->place : verdict.blockedBy->place;
    std::u16string finding;
    if (verdict.wildcard) {
      finding = At(*verdict.blockedBy) + u" holds \"*\" (every host not on the allowlist), and " +
                (verdict.allowlist ? At(*verdict.allowlist) + u" does not list " + host
                                   : std::u16string(u"no NativeMessagingAllowlist is set")) +
                u": " + name + u" does not start this host; add " + Quoted(host) + u" to NativeMessagingAllowlist at " +
                addAt;
    } else {
      finding = At(*verdict.blockedBy) + u" lists " + host + u": " + name +
                u" does not start this host; remove it there, or add " + Quoted(host) +
                u" to NativeMessagingAllowlist at " + addAt;
    }
    rows.push_back({against, item, finding + AllowlistHint(verdict.allowlist, hostName)});
    stopped = true;
  }
  if (!verdict.userLevelAllowed && userLevelOnly) {
    rows.push_back({against, item,
                    At(*verdict.userLevelOff) + u" is 0 (false): " + name + u" skips the per-user registration " +
                        *userLevelOnly + u" and finds no per-machine one; " + std::u16string(machineInstall)});
    stopped = true;
  }
  if (stopped) return rows;

  std::vector<std::u16string> why;
  if (verdict.blockedBy != nullptr && verdict.allowedBy != nullptr) {
    why.push_back(At(*verdict.blockedBy) + (verdict.wildcard ? u" holds \"*\"" : u" lists " + host) + u", and " +
                  At(*verdict.allowedBy) + u" lists " + host);
  }
  if (!verdict.userLevelAllowed) {
    why.push_back(At(*verdict.userLevelOff) + u" is 0 (false): " + name + u" uses per-machine registrations only");
  }
  std::u16string finding = name + u" starts this host";
  if (why.empty()) {
    finding = u"no policy of " + name + u" stops this host (read " + policies.searched + u")";
  } else {
    for (std::size_t i = 0; i < why.size(); ++i) finding += (i == 0 ? u": " : u"; ") + why[i];
  }
  if (unreadable) {
    rows.push_back({CheckStatus::Note, item, u"as far as its policies can be read, " + finding});
  } else {
    rows.push_back({CheckStatus::Ok, item, finding});
  }
  return rows;
}

}  // namespace pelliport
