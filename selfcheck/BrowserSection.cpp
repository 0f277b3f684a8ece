#include "selfcheck/BrowserSection.h"

#include <optional>

namespace pelliport {
namespace {

void Append(std::vector<CheckRow>& rows, std::vector<CheckRow> more) {
  for (auto& row : more) rows.push_back(std::move(row));
}

}  // namespace

std::vector<CheckRow> BrowserSectionRows(const std::vector<BrowserFinding>& browsers,
                                         const std::vector<BrowserPolicies>& policies,
                                         const std::vector<SandboxFinding>& sandboxed,
                                         std::u16string_view machineInstall, char16_t separator) {
  std::vector<bool> policiesShown(policies.size(), false);
  std::vector<CheckRow> rows;
  std::vector<std::u16string> usable;
  for (const auto& found : browsers) {
    const BrowserRegistrations& browser = found.registrations;
    const BrowserPolicies* policy = nullptr;
    for (std::size_t i = 0; i < policies.size(); ++i) {
      if (policies[i].browser != browser.browser) continue;
      policy = &policies[i];
      policiesShown[i] = true;
    }
    const PolicyVerdict verdict = policy ? DecidePolicies(*policy, kNativeHostName) : PolicyVerdict{};
    const RegistrationChoice choice =
        ChooseRegistration(browser, verdict.userLevelAllowed, found.manifests, kNativeHostName, separator);
    // The registration used, or else the first one skipped for its
    // manifest, whose rows say what is wrong with it.
    std::optional<std::size_t> shown = choice.used;
    std::optional<std::u16string> userLevelOnly;
    for (std::size_t i = 0; i < choice.skips.size(); ++i) {
      const auto skip = choice.skips[i];
      if (!shown && (skip == RegistrationChoice::Skip::NoManifest ||
                     skip == RegistrationChoice::Skip::UnusableManifest)) {
        shown = i;
      }
      if (!choice.used && !userLevelOnly && choice.skips[i] == RegistrationChoice::Skip::UserLevelOff) {
        userLevelOnly = browser.registrations[i].registeredAt;
      }
    }
    const bool complete = found.manifests.size() == browser.registrations.size() &&
                          found.programs.size() == browser.registrations.size();
    auto browserRows = shown && complete ? BrowserRows(browser, &browser.registrations[*shown],
                                                       found.manifests[*shown], found.programs[*shown])
                                         : BrowserRows(browser, nullptr, HostManifest{}, ProgramFinding{});
    if (choice.used && BrowserUsable(browserRows) && !verdict.blocked) usable.push_back(browser.browser);
    Append(rows, std::move(browserRows));
    if (auto registrations = RegistrationsRow(browser, choice, verdict)) rows.push_back(std::move(*registrations));
    if (policy) {
      Append(rows, PolicyRows(*policy, verdict, kNativeHostName, !browser.registrations.empty(), userLevelOnly,
                              machineInstall));
    }
  }
  for (std::size_t i = 0; i < policies.size(); ++i) {
    if (policiesShown[i]) continue;
    Append(rows, PolicyRows(policies[i], DecidePolicies(policies[i], kNativeHostName), kNativeHostName, false,
                            std::nullopt, machineInstall));
  }
  for (const auto& finding : sandboxed) rows.push_back(SandboxRow(finding));
  rows.push_back(BrowsersRow(usable));
  return rows;
}

}  // namespace pelliport
