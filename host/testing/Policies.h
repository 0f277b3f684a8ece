// Chrome's policies on this system, set for a test of --check and removed
// again: on Linux policy files in a scratch folder that the host reads in
// place of / (PELLIPORT_POLICY_ROOT), on Windows the registry values under
// SOFTWARE\Policies\Google\Chrome of the test's Wine prefix.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/HostProcess.h"

namespace pelliport::testing {

// Two places of which the browser prefers the higher one's value of a
// policy: Windows HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; Linux two files
// of the folder of managed policies, the later by name being the higher.
enum class PolicyPlace { Lower, Higher };

class ChromePolicies {
 public:
  // Points the host's environment at the policies it sets.
  ChromePolicies(const std::filesystem::path& scratch, Environment& environment);
  ~ChromePolicies();
  ChromePolicies(const ChromePolicies&) = delete;
  ChromePolicies& operator=(const ChromePolicies&) = delete;

  void SetBoolean(PolicyPlace place, const std::string& name, bool value);
  void SetList(PolicyPlace place, const std::string& name, const std::vector<std::string>& items);
  // A value of a type the browser does not take for the policy; returns what
  // the check says it is.
  std::string SetWrongType(PolicyPlace place, const std::string& name);
  // Something at the place the browser cannot read as policies; returns
  // what the check says of it.
  std::string SetUnreadable(PolicyPlace place);
  // How the check names the place.
  std::string PlaceName(PolicyPlace place) const;

  // Registers the manifest for Chrome per machine as well (the machine's
  // registry key, the system's folder); false where the test cannot do that
  // without touching the real system.
  bool RegisterPerMachine(const std::filesystem::path& manifest);

 private:
  std::filesystem::path root_;
};

// Marks a Flatpak of Chrome as installed for the user whose environment this
// is; false on a system without Flatpaks.
bool PretendFlatpakChrome(const Environment& environment);

}  // namespace pelliport::testing
