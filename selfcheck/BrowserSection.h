// The browsers' part of the report: for each browser the registration it
// uses (after its policies and its order) with that manifest's rows, its
// other registrations, its policies; the browsers installed in a sandbox;
// and whether any browser can start the host.
#pragma once

#include <string_view>
#include <vector>

#include "selfcheck/BrowserPolicy.h"
#include "selfcheck/SandboxedBrowsers.h"
#include "selfcheck/SelfCheck.h"

namespace pelliport {

// One browser's registrations, each with its manifest as read and its
// program as found (same order).
struct BrowserFinding {
  BrowserRegistrations registrations;
  std::vector<HostManifest> manifests;
  std::vector<ProgramFinding> programs;
};

// `policies` are matched to the browsers by name; policies of a browser
// whose registrations are not looked for get their rows as well.
std::vector<CheckRow> BrowserSectionRows(const std::vector<BrowserFinding>& browsers,
                                         const std::vector<BrowserPolicies>& policies,
                                         const std::vector<SandboxFinding>& sandboxed,
                                         std::u16string_view machineInstall, char16_t separator);

}  // namespace pelliport
