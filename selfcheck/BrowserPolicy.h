// What the browsers' enterprise policies decide about starting the host,
// and which of the host's registrations each browser then uses. Chrome,
// Chromium and Edge honour three policies:
//   NativeMessagingUserLevelHosts  false: registrations per user are skipped
//   NativeMessagingBlocklist       host names, or "*" for every host
//   NativeMessagingAllowlist       host names exempt from the blocklist
// Only mandatory ("managed") policies count; none of the three can be
// recommended. The values are gathered per system (PolicyPlaces.h); the
// decision and its rows are pure functions here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "manifests/BrowserManifests.h"
#include "manifests/ManifestPlaces.h"
#include "selfcheck/SelfCheck.h"

namespace pelliport {

enum class PolicyName { UserLevelHosts, Blocklist, Allowlist };
inline constexpr PolicyName kPolicyNames[] = {PolicyName::UserLevelHosts, PolicyName::Blocklist,
                                              PolicyName::Allowlist};
// The policy's name as the browsers' files and registry keys spell it.
std::u16string_view PolicyKey(PolicyName name);

// One policy's value as the browser reads it.
struct PolicyValue {
  enum class Kind { Boolean, List, Wrong } kind = Kind::Wrong;
  bool boolean = false;              // Boolean
  std::vector<std::u16string> items;  // List: its texts
  std::size_t otherItems = 0;         // List: entries that are no texts, which the browser leaves out
  std::u16string found;               // Wrong: what the value is instead ("a number", "REG_BINARY")
};

// A policy value and where it was set.
struct PolicySetting {
  PolicyName name = PolicyName::Blocklist;
  std::u16string place;  // the policy file, or the registry key that holds the policies
  PolicyValue value;
  // A value of the wrong type still replaces the ones before it (and the
  // policy is then unset): so in policy files, where the browser checks
  // types after merging; not in the registry, where it drops such a value
  // when reading it.
  bool wrongReplacesEarlier = true;
};

// A file or key the browser would read policies from but that cannot be
// read (or is no JSON object): the browser skips it.
struct PolicyProblem {
  std::u16string place;
  std::u16string problem;
};

// What one browser's policy places hold, for the host's three policies.
struct BrowserPolicies {
  std::u16string browser;   // as the manifest places name it: "Chrome", "Chromium", "Edge"
  std::u16string searched;  // the places read, for the rows
  // In the order the browser applies them: of two settings of the same
  // policy the later one wins (a machine's over a user's; the later file).
  std::vector<PolicySetting> settings;
  std::vector<PolicyProblem> problems;
};

// The value of each policy that holds, the others unset.
struct EffectivePolicies {
  const PolicySetting* userLevelHosts = nullptr;  // a Boolean, or null
  const PolicySetting* blocklist = nullptr;       // a List, or null
  const PolicySetting* allowlist = nullptr;       // a List, or null
};
EffectivePolicies Effective(const BrowserPolicies& policies);

struct PolicyVerdict {
  bool userLevelAllowed = true;
  const PolicySetting* userLevelOff = nullptr;  // the setting that turns user-level hosts off
  bool blocked = false;
  const PolicySetting* blockedBy = nullptr;     // the blocklist that holds "*" or the host's name
  bool wildcard = false;                        // blocked by "*", not by the name
  const PolicySetting* allowedBy = nullptr;     // the allowlist that lifts a block
  const PolicySetting* allowlist = nullptr;     // the allowlist in force, if any
};
// As the browser decides: the blocklist blocks the host when it holds its
// exact name or "*"; the allowlist lifts that when it holds the exact name;
// NativeMessagingUserLevelHosts set to false only narrows where the browser
// looks for the host.
PolicyVerdict DecidePolicies(const BrowserPolicies& policies, std::u16string_view hostName);

// Which registration a browser uses: the first in its order, skipping the
// per-user ones when user-level hosts are off, a registry key that names no
// manifest, and (Firefox off Windows) the ones whose manifest it cannot use.
struct RegistrationChoice {
  std::optional<std::size_t> used;
  enum class Skip { NotSkipped, UserLevelOff, NoManifest, UnusableManifest, AfterUsed };
  std::vector<Skip> skips;  // for each registration
};
// Whether Firefox can use a manifest: valid, with the host's name, type
// "stdio" and an absolute path.
bool ManifestUsable(const HostManifest& manifest, std::u16string_view hostName, char16_t separator);
RegistrationChoice ChooseRegistration(const BrowserRegistrations& browser, bool userLevelAllowed,
                                      const std::vector<HostManifest>& manifests, std::u16string_view hostName,
                                      char16_t separator);

// The row that lists a browser's registrations when it has several or skips
// one; nullopt otherwise.
std::optional<CheckRow> RegistrationsRow(const BrowserRegistrations& browser, const RegistrationChoice& choice,
                                         const PolicyVerdict& verdict);

// The rows "<browser> policy": whether the browser starts the host, and if
// not, which policy at which place stops it and what to change; and one row
// for each policy place that cannot be read. They fail only when the host is
// registered for the browser (`registered`), else they inform.
// `machineInstall` says how to install the host per machine on this system.
std::vector<CheckRow> PolicyRows(const BrowserPolicies& policies, const PolicyVerdict& verdict,
                                 std::u16string_view hostName, bool registered,
                                 const std::optional<std::u16string>& userLevelOnly,
                                 std::u16string_view machineInstall);

}  // namespace pelliport
