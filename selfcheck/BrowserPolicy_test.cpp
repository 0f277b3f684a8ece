// The browsers' policies: reading a policy file, what the policies decide,
// which registration a browser uses, the rows; and the sandboxed browsers.
#include "selfcheck/BrowserPolicy.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/utf.h"
#include "selfcheck/BrowserSection.h"
#include "selfcheck/PolicyFile.h"
#include "selfcheck/SandboxedBrowsers.h"

namespace pelliport {
namespace {

using Kind = PolicyValue::Kind;
using Skip = RegistrationChoice::Skip;

const std::u16string kHost(kNativeHostName);

std::string Utf8(std::u16string_view text) { return EncodeUtf8(text); }

std::string Report(const std::vector<CheckRow>& rows) { return Utf8(FormatReport(rows, u"\n")); }

PolicyValue List(std::vector<std::u16string> items) {
  PolicyValue value;
  value.kind = Kind::List;
  value.items = std::move(items);
  return value;
}

PolicyValue Bool(bool on) {
  PolicyValue value;
  value.kind = Kind::Boolean;
  value.boolean = on;
  return value;
}

PolicyValue WrongValue(std::u16string found) {
  PolicyValue value;
  value.found = std::move(found);
  return value;
}

TEST(PolicyFile, ReadsThePoliciesAsTheBrowsersDo) {
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<PolicyValue> userLevel, blocklist, allowlist;
  };
  const Case cases[] = {
      {"empty object", "{}", {}, {}, {}},
      {"the three", R"({"NativeMessagingUserLevelHosts": false, "NativeMessagingBlocklist": ["*"],
                        "NativeMessagingAllowlist": ["com.kelmarq.pelliport", "b.c"]})",
       Bool(false), List({u"*"}), List({u"com.kelmarq.pelliport", u"b.c"})},
      {"signature, comments, trailing commas",
       "\xEF\xBB\xBF// managed by IT\n{\"NativeMessagingBlocklist\": [\"*\", /* all */],\n"
       " \"HomepageLocation\": \"https://x/,]\",}",
       {}, List({u"*"}), {}},
      {"a later member of the same name counts",
       R"({"NativeMessagingBlocklist": ["*"], "NativeMessagingBlocklist": ["a"]})", {}, List({u"a"}), {}},
      {"other policies and nested names do not count",
       R"({"3rdparty": {"NativeMessagingBlocklist": ["*"]}, "x": [{"NativeMessagingAllowlist": ["a"]}],
           "nativemessagingblocklist": ["*"]})",
       {}, {}, {}},
      {"wrong types", R"({"NativeMessagingUserLevelHosts": 0, "NativeMessagingBlocklist": "*",
                          "NativeMessagingAllowlist": {"1": "a"}})",
       WrongValue(u"a number"), WrongValue(u"a text"), WrongValue(u"an object")},
      {"a list for the boolean, true for a list",
       R"({"NativeMessagingUserLevelHosts": [false], "NativeMessagingAllowlist": true})", WrongValue(u"a list"), {},
       WrongValue(u"true")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const PolicyFileContent content = ParsePolicyFile(c.bytes);
    ASSERT_TRUE(content.valid) << Utf8(content.problem);
    const std::optional<PolicyValue>* expected[] = {&c.userLevel, &c.blocklist, &c.allowlist};
    for (std::size_t i = 0; i < 3; ++i) {
      const auto& got = content.values[i];
      ASSERT_EQ(got.has_value(), expected[i]->has_value()) << i;
      if (!got) continue;
      EXPECT_EQ(got->kind, (*expected[i])->kind) << i;
      EXPECT_EQ(got->boolean, (*expected[i])->boolean) << i;
      EXPECT_EQ(got->items, (*expected[i])->items) << i;
      EXPECT_EQ(Utf8(got->found), Utf8((*expected[i])->found)) << i;
    }
  }

  // Entries that are no texts are counted, not taken.
  const auto mixed = ParsePolicyFile(R"({"NativeMessagingBlocklist": ["a", 1, null, {"b": "c"}, ["d"], "e"]})");
  ASSERT_TRUE(mixed.valid);
  EXPECT_EQ(mixed.values[1]->items, (std::vector<std::u16string>{u"a", u"e"}));
  EXPECT_EQ(mixed.values[1]->otherItems, 4u);

  for (const char* bad : {"", "  ", "[]", "\"x\"", "3", "{", "{\"a\": 1} x", "{} {}", "{\"a\": [,]}", "{,}",
                          "{\"a\": 1,,}", "{'a': 1}", "{\"a\": \"\xC3\"}", "{\"NativeMessagingBlocklist\": [\"*\"]",
                          "{\"a\": [1, 2}"}) {
    const PolicyFileContent content = ParsePolicyFile(bad);
    EXPECT_FALSE(content.valid) << bad;
    EXPECT_FALSE(content.problem.empty()) << bad;
    for (const auto& value : content.values) EXPECT_FALSE(value) << bad;
  }
}

TEST(PolicyFile, TrailingCommasAndListTexts) {
  const struct {
    std::u16string_view in, out;
  } commas[] = {
      {u"[1,]", u"[1 ]"},
      {u"{\"a\": 1 , /* c */\n}", u"{\"a\": 1   /* c */\n}"},
      {u"[\"a,]\", \"\\\",]\"]", u"[\"a,]\", \"\\\",]\"]"},  // inside strings nothing changes
      {u"[,]", u"[,]"},                                    // no value before it: stays wrong
      {u"[1,,]", u"[1,,]"},
      {u"[1, // x ]\n]", u"[1  // x ]\n]"},
      {u"\"open , ]", u"\"open , ]"},
  };
  for (const auto& c : commas) EXPECT_EQ(WithoutTrailingCommas(c.in), c.out) << Utf8(c.in);

  EXPECT_EQ(ParsePolicyListText(u"[\"*\", \"a\",]").items, (std::vector<std::u16string>{u"*", u"a"}));
  EXPECT_EQ(ParsePolicyListText(u"[\"*\", 2]").otherItems, 1u);
  for (std::u16string_view bad : {u"*", u"\"*\"", u"{}", u"[", u"", u"[\"a\"] x"}) {
    const PolicyValue value = ParsePolicyListText(bad);
    EXPECT_EQ(value.kind, Kind::Wrong) << Utf8(bad);
    EXPECT_NE(Utf8(value.found).find("no JSON list"), std::string::npos) << Utf8(bad);
  }
}

PolicySetting Set(PolicyName name, std::u16string place, PolicyValue value, bool wrongReplaces = true) {
  return {name, std::move(place), std::move(value), wrongReplaces};
}

BrowserPolicies Policies(std::vector<PolicySetting> settings) {
  BrowserPolicies policies;
  policies.browser = u"Chrome";
  policies.searched = u"HKCU, HKLM";
  policies.settings = std::move(settings);
  return policies;
}

constexpr auto UL = PolicyName::UserLevelHosts;
constexpr auto BL = PolicyName::Blocklist;
constexpr auto AL = PolicyName::Allowlist;

TEST(BrowserPolicy, DecidesAsTheBrowserDoes) {
  struct Case {
    const char* what;
    std::vector<PolicySetting> settings;
    bool blocked;
    bool wildcard;
    const char* blockedAt;  // "" when none blocks
    const char* allowedAt;  // "" when no allowlist lifts it
    bool userLevel;
  };
  const Case cases[] = {
      {"no policy", {}, false, false, "", "", true},
      {"blocklist *", {Set(BL, u"M", List({u"*"}))}, true, true, "M", "", true},
      {"blocklist names the host", {Set(BL, u"M", List({u"a.b", kHost}))}, true, false, "M", "", true},
      {"blocklist names the host and *", {Set(BL, u"M", List({u"*", kHost}))}, true, false, "M", "", true},
      {"blocklist names others", {Set(BL, u"M", List({u"a.b", u"com.kelmarq"}))}, false, false, "", "", true},
      {"allowlist lifts *", {Set(BL, u"M", List({u"*"})), Set(AL, u"M", List({kHost}))}, false, true, "M", "M", true},
      {"allowlist lifts the name", {Set(BL, u"M", List({kHost})), Set(AL, u"U", List({kHost}))}, false, false, "M",
       "U", true},
      {"allowlist compares exactly", {Set(BL, u"M", List({u"*"})), Set(AL, u"M", List({u"COM.KELMARQ.PELLIPORT"}))},
       true, true, "M", "", true},
      {"* in the allowlist allows nothing", {Set(BL, u"M", List({u"*"})), Set(AL, u"M", List({u"*"}))}, true, true,
       "M", "", true},
      {"the later blocklist wins", {Set(BL, u"U", List({u"*"})), Set(BL, u"M", List({u"other"}))}, false, false, "",
       "", true},
      {"each policy from its own place", {Set(BL, u"U", List({u"*"})), Set(AL, u"M", List({kHost}))}, false, true,
       "U", "M", true},
      {"a later wrong value unsets (files)",
       {Set(BL, u"a.json", List({u"*"})), Set(BL, u"b.json", WrongValue(u"a text"))},
       false, false, "", "", true},
      {"a wrong value is dropped (registry)",
       {Set(BL, u"U", List({u"*"}), false), Set(BL, u"M", WrongValue(u"REG_DWORD"), false)}, true, true, "U", "", true},
      {"user-level hosts off", {Set(UL, u"M", Bool(false))}, false, false, "", "", false},
      {"user-level hosts on", {Set(UL, u"M", Bool(true))}, false, false, "", "", true},
      {"the later user-level value wins", {Set(UL, u"U", Bool(false)), Set(UL, u"M", Bool(true))}, false, false, "",
       "", true},
      {"a wrong user-level value", {Set(UL, u"M", WrongValue(u"a number"))}, false, false, "", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const BrowserPolicies policies = Policies(c.settings);
    const PolicyVerdict verdict = DecidePolicies(policies, kHost);
    EXPECT_EQ(verdict.blocked, c.blocked);
    EXPECT_EQ(Utf8(verdict.blockedBy ? verdict.blockedBy->place : u""), c.blockedAt);
    if (verdict.blockedBy) {
      EXPECT_EQ(verdict.wildcard, c.wildcard);
    }
    EXPECT_EQ(Utf8(verdict.allowedBy ? verdict.allowedBy->place : u""), c.allowedAt);
    EXPECT_EQ(verdict.userLevelAllowed, c.userLevel);
    EXPECT_EQ(verdict.userLevelOff != nullptr, !c.userLevel);
  }
}

ManifestRegistration At(std::u16string place, bool userLevel) {
  ManifestRegistration registration;
  registration.registeredAt = registration.manifestPath = std::move(place);
  registration.content = "{}";
  registration.userLevel = userLevel;
  return registration;
}

HostManifest Usable() {
  HostManifest manifest;
  manifest.valid = true;
  manifest.name = kHost;
  manifest.type = u"stdio";
  manifest.path = u"/opt/p/PelliportHost";
  manifest.hasList = true;
  manifest.allowed = {u"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"};
  return manifest;
}

TEST(BrowserPolicy, ChoosesTheRegistrationInTheBrowsersOrder) {
  HostManifest broken;
  broken.problem = u"empty";
  HostManifest relative = Usable();
  relative.path = u"PelliportHost";
  const ManifestRegistration user = At(u"/user", true);
  const ManifestRegistration machine = At(u"/machine", false);
  ManifestRegistration keyless = At(u"HKCU\\K", true);
  keyless.manifestPath.clear();
  struct Case {
    const char* what;
    std::vector<ManifestRegistration> registrations;
    std::vector<HostManifest> manifests;
    bool userLevelAllowed;
    bool skipsUnusable;
    std::optional<std::size_t> used;
    std::vector<Skip> skips;
  };
  const Case cases[] = {
      {"none", {}, {}, true, false, std::nullopt, {}},
      {"the first", {user, machine}, {Usable(), Usable()}, true, false, 0, {Skip::NotSkipped, Skip::AfterUsed}},
      {"user-level off: the machine's", {user, machine, machine}, {Usable(), Usable(), Usable()}, false, false, 1,
       {Skip::UserLevelOff, Skip::NotSkipped, Skip::AfterUsed}},
      {"user-level off, only the user's", {user}, {Usable()}, false, false, std::nullopt, {Skip::UserLevelOff}},
      {"Chromium takes a broken first one", {user, machine}, {broken, Usable()}, true, false, 0,
       {Skip::NotSkipped, Skip::AfterUsed}},
      {"Firefox moves past it", {user, machine}, {broken, Usable()}, true, true, 1,
       {Skip::UnusableManifest, Skip::NotSkipped}},
      {"Firefox refuses a relative path", {user, machine}, {relative, broken}, true, true, std::nullopt,
       {Skip::UnusableManifest, Skip::UnusableManifest}},
      {"a key that names no manifest", {keyless, machine}, {HostManifest{}, Usable()}, true, false, 1,
       {Skip::NoManifest, Skip::NotSkipped}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BrowserRegistrations browser;
    browser.browser = u"Chrome";
    browser.skipsUnusable = c.skipsUnusable;
    browser.registrations = c.registrations;
    const RegistrationChoice choice = ChooseRegistration(browser, c.userLevelAllowed, c.manifests, kHost, u'/');
    EXPECT_EQ(choice.used, c.used);
    EXPECT_EQ(choice.skips, c.skips);
  }
}

bool Says(const std::vector<CheckRow>& rows, CheckStatus status, std::string_view text) {
  return std::any_of(rows.begin(), rows.end(), [&](const CheckRow& row) {
    return row.status == status && Utf8(row.finding).find(text) != std::string::npos;
  });
}

TEST(BrowserPolicy, RowsSayWhatStopsTheHostAndWhatToChange) {
  const std::u16string advice = u"install it per machine";
  struct Case {
    const char* what;
    std::vector<PolicySetting> settings;
    std::vector<PolicyProblem> problems;
    bool registered;
    std::optional<std::u16string> userLevelOnly;
    std::vector<std::pair<CheckStatus, const char*>> says;
  };
  const Case cases[] = {
      {"no policy", {}, {}, true, {}, {{CheckStatus::Ok, "no policy of Chrome stops this host (read HKCU, HKLM)"}}},
      {"blocked by *, no allowlist", {Set(BL, u"HKLM\\P", List({u"*"}))}, {}, true, {},
       {{CheckStatus::Fail, "NativeMessagingBlocklist at HKLM\\P holds \"*\""},
        {CheckStatus::Fail, "no NativeMessagingAllowlist is set: Chrome does not start this host; add "
                            "\"com.kelmarq.pelliport\" to NativeMessagingAllowlist at HKLM\\P"}}},
      {"blocked by *, the allowlist elsewhere",
       {Set(BL, u"HKCU\\P", List({u"*"})), Set(AL, u"HKLM\\P", List({u"x.y"}))},
       {}, true, {},
       {{CheckStatus::Fail, "NativeMessagingAllowlist at HKLM\\P does not list com.kelmarq.pelliport"},
        {CheckStatus::Fail, "to NativeMessagingAllowlist at HKLM\\P"}}},
      {"blocked by name", {Set(BL, u"/p/a.json", List({kHost}))}, {}, true, {},
       {{CheckStatus::Fail, "NativeMessagingBlocklist at /p/a.json lists com.kelmarq.pelliport: Chrome does not "
                            "start this host; remove it there, or add \"com.kelmarq.pelliport\" to "
                            "NativeMessagingAllowlist at /p/a.json"}}},
      {"an allowlist entry in capitals",
       {Set(BL, u"M", List({u"*"})), Set(AL, u"M", List({u" Com.Kelmarq.Pelliport"}))},
       {}, true, {}, {{CheckStatus::Fail, "holds \" Com.Kelmarq.Pelliport\", which does not count"}}},
      {"not registered: a note", {Set(BL, u"M", List({u"*"}))}, {}, false, {},
       {{CheckStatus::Note, "Chrome does not start this host"}}},
      {"lifted by the allowlist", {Set(BL, u"M", List({u"*"})), Set(AL, u"N", List({kHost}))}, {}, true, {},
       {{CheckStatus::Ok, "Chrome starts this host: NativeMessagingBlocklist at M holds \"*\", and "
                          "NativeMessagingAllowlist at N lists com.kelmarq.pelliport"}}},
      {"user-level off, a machine registration", {Set(UL, u"M", Bool(false))}, {}, true, {},
       {{CheckStatus::Ok, "NativeMessagingUserLevelHosts at M is 0 (false): Chrome uses per-machine registrations"}}},
      {"user-level off, only the user's", {Set(UL, u"M", Bool(false))}, {}, true, u"HKCU\\R",
       {{CheckStatus::Fail, "NativeMessagingUserLevelHosts at M is 0 (false): Chrome skips the per-user registration "
                            "HKCU\\R and finds no per-machine one; install it per machine"}}},
      {"an unreadable file", {}, {{u"/p/b.json", u"empty"}}, true, {},
       {{CheckStatus::Fail, "/p/b.json: empty; Chrome skips it, so whatever it sets does not hold"},
        {CheckStatus::Note, "as far as its policies can be read, no policy of Chrome stops this host"}}},
      {"a value of the wrong type", {Set(BL, u"/p/c.json", WrongValue(u"a text"))}, {}, true, {},
       {{CheckStatus::Fail, "NativeMessagingBlocklist at /p/c.json is a text, not a list of host names; Chrome "
                            "ignores it"}}},
      {"a wrong type where the host is not registered", {Set(UL, u"M", WrongValue(u"REG_BINARY"))}, {}, false, {},
       {{CheckStatus::Note, "NativeMessagingUserLevelHosts at M is REG_BINARY, not true or false"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BrowserPolicies policies = Policies(c.settings);
    policies.problems = c.problems;
    const auto rows = PolicyRows(policies, DecidePolicies(policies, kHost), kHost, c.registered, c.userLevelOnly,
                                 advice);
    for (const auto& [status, text] : c.says) EXPECT_TRUE(Says(rows, status, text)) << text << "\n" << Report(rows);
    for (const auto& row : rows) EXPECT_EQ(Utf8(row.item), "Chrome policy");
    if (!c.registered) {
      for (const auto& row : rows) EXPECT_NE(row.status, CheckStatus::Fail) << Report(rows);
    }
  }
}

BrowserFinding Installed(std::u16string name, std::vector<ManifestRegistration> registrations) {
  BrowserFinding found;
  found.registrations.browser = std::move(name);
  found.registrations.searched = u"S";
  for (auto& registration : registrations) {
    found.registrations.registrations.push_back(std::move(registration));
    found.manifests.push_back(Usable());
    found.programs.push_back({ProgramFinding::Outcome::ThisProgram, u"/opt/p/PelliportHost"});
  }
  return found;
}

TEST(BrowserSection, EachBrowserWithItsRegistrationsAndPolicies) {
  struct Case {
    const char* what;
    std::vector<PolicySetting> settings;
    std::vector<std::pair<CheckStatus, const char*>> says;
    bool usable;
  };
  const Case cases[] = {
      {"both registrations, the user's used", {},
       {{CheckStatus::Ok, "HKCU\\K -> /opt/p/m.json: valid"},
        {CheckStatus::Note, "Chrome finds, in its order: 1. HKCU\\K (used); 2. HKLM\\K (not used: Chrome takes the "
                            "first it can use)"},
        {CheckStatus::Ok, "no policy of Chrome stops this host"}},
       true},
      {"user-level off: the machine's used", {Set(UL, u"HKLM\\P", Bool(false))},
       {{CheckStatus::Ok, "HKLM\\K -> /opt/p/m.json: valid"},
        {CheckStatus::Note, "1. HKCU\\K (skipped: per-user registrations are off, NativeMessagingUserLevelHosts at "
                            "HKLM\\P); 2. HKLM\\K (used)"}},
       true},
      {"blocked", {Set(BL, u"HKLM\\P", List({u"*"}))},
       {{CheckStatus::Fail, "Chrome does not start this host"},
        {CheckStatus::Fail, "no browser is set up to start this program"}},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ManifestRegistration user = At(u"HKCU\\K", true);
    ManifestRegistration machine = At(u"HKLM\\K", false);
    user.manifestPath = machine.manifestPath = u"/opt/p/m.json";
    const std::vector<BrowserFinding> browsers = {Installed(u"Chrome", {user, machine})};
    const std::vector<BrowserPolicies> policies = {Policies(c.settings)};
    const auto rows = BrowserSectionRows(browsers, policies, {}, u"advice", u'/');
    for (const auto& [status, text] : c.says) EXPECT_TRUE(Says(rows, status, text)) << text << "\n" << Report(rows);
    EXPECT_EQ(rows.back().status, c.usable ? CheckStatus::Ok : CheckStatus::Fail) << Report(rows);
  }

  // Only the user's registration while user-level hosts are off: a note for
  // the manifest, the policy fails, no browser can start the host.
  const std::vector<BrowserFinding> userOnly = {Installed(u"Chrome", {At(u"HKCU\\K", true)})};
  auto rows = BrowserSectionRows(userOnly, {Policies({Set(UL, u"HKLM\\P", Bool(false))})}, {}, u"per machine!", u'/');
  EXPECT_TRUE(Says(rows, CheckStatus::Note, "registered only per user (HKCU\\K), which Chrome skips")) << Report(rows);
  EXPECT_TRUE(Says(rows, CheckStatus::Fail, "finds no per-machine one; per machine!")) << Report(rows);
  EXPECT_EQ(CheckExitCode(rows), 1);

  // Policies of a browser whose registrations are not looked for, and a
  // browser without policies: notes only.
  BrowserPolicies edge = Policies({Set(BL, u"/etc/opt/edge/policies/managed/a.json", List({u"*"}))});
  edge.browser = u"Edge";
  rows = BrowserSectionRows({Installed(u"Firefox", {At(u"/u/f.json", true)})}, {edge}, {}, u"", u'/');
  EXPECT_TRUE(Says(rows, CheckStatus::Note, "Edge does not start this host")) << Report(rows);
  EXPECT_EQ(CheckExitCode(rows), 0) << Report(rows);
  EXPECT_TRUE(Says(rows, CheckStatus::Ok, "set up to start this program: Firefox")) << Report(rows);
}

TEST(SandboxedBrowsers, SaysWhereTheyLookAndThatTheyCannotStartTheHost) {
  std::vector<std::u16string> ids;
  for (const auto& browser : KnownSandboxedBrowsers()) {
    ids.emplace_back(browser.id);
    SCOPED_TRACE(Utf8(browser.id));
    const auto places = InstallationPlaces(browser, u"/home/u/.local/share");
    ASSERT_EQ(places.size(), 2u);
    if (browser.sandbox == Sandbox::Snap) {
      EXPECT_EQ(places[0], u"/snap/bin/" + std::u16string(browser.id));
      EXPECT_EQ(places[1], u"/var/lib/snapd/snap/bin/" + std::u16string(browser.id));
    } else {
      EXPECT_EQ(places[0], u"/var/lib/flatpak/app/" + std::u16string(browser.id));
      EXPECT_EQ(places[1], u"/home/u/.local/share/flatpak/app/" + std::u16string(browser.id));
      EXPECT_EQ(browser.manifestFolder.rfind(u".var/app/" + std::u16string(browser.id) + u"/", 0), 0u);
    }
    for (const bool there : {false, true}) {
      const SandboxFinding finding{&browser, places[0], u"/home/u/" + std::u16string(browser.manifestFolder), there};
      const CheckRow row = SandboxRow(finding);
      const std::string text = Utf8(row.finding);
      EXPECT_EQ(row.status, CheckStatus::Note);
      EXPECT_EQ(Utf8(row.item), Utf8(browser.browser) + (browser.sandbox == Sandbox::Snap ? " (snap)" : " (Flatpak)"));
      EXPECT_EQ(text.rfind(Utf8(places[0]) + ": ", 0), 0u) << text;
      EXPECT_NE(text.find(Utf8(finding.manifestFolder)), std::string::npos) << text;
      EXPECT_NE(text.find(there ? "which holds this host's manifest" : "which holds no manifest of this host"),
                std::string::npos)
          << text;
      EXPECT_NE(text.find(browser.throughPortal ? "without that portal it cannot start this host"
                                                : "cannot start this host"),
                std::string::npos)
          << text;
      if (browser.sandbox == Sandbox::Flatpak) {
        EXPECT_NE(text.find("flatpak-spawn --host"), std::string::npos);
      }
    }
  }
  for (std::u16string_view id : {u"chromium", u"firefox", u"org.chromium.Chromium", u"com.google.Chrome",
                                  u"org.mozilla.firefox", u"com.microsoft.Edge", u"com.brave.Browser",
                                  u"com.vivaldi.Vivaldi"}) {
    EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << Utf8(id);
  }
}

}  // namespace
}  // namespace pelliport
