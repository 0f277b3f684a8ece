// A browser's policy file, and a list policy written as a JSON text (the
// registry's other form), read from the same bytes; the policies found
// decided on as --check decides.
#include "fuzz/FuzzTargets.h"
#include "manifests/ManifestPlaces.h"
#include "selfcheck/BrowserPolicy.h"
#include "selfcheck/PolicyFile.h"

namespace pelliport::fuzz {

void FuzzPolicyFile(Input input) {
  const PolicyFileContent content = ParsePolicyFile(InputBytes(input));
  Expect(content.valid == content.problem.empty(), "policy file: valid, or a problem said");
  BrowserPolicies policies;
  for (const PolicyName name : kPolicyNames) {
    const auto& value = content.values[static_cast<std::size_t>(name)];
    if (!value) continue;
    Expect(content.valid, "policy file: a value from a file that is not valid");
    Expect(value->kind != PolicyValue::Kind::List || name != PolicyName::UserLevelHosts,
           "policy file: a list for the boolean");
    Expect(value->kind != PolicyValue::Kind::Boolean || name == PolicyName::UserLevelHosts,
           "policy file: a boolean for a list");
    policies.settings.push_back({name, u"file", *value, true});
  }
  static_cast<void>(DecidePolicies(policies, kNativeHostName));

  const std::u16string text = InputText(input);
  const std::u16string stripped = WithoutTrailingCommas(text);
  Expect(stripped.size() == text.size(), "trailing commas: the length changed");
  for (std::size_t i = 0; i < text.size(); ++i) {
    Expect(stripped[i] == text[i] || (text[i] == u',' && stripped[i] == u' '),
           "trailing commas: something else than a comma changed");
  }
  const PolicyValue list = ParsePolicyListText(text);
  Expect(list.kind != PolicyValue::Kind::Boolean, "list text: read as a boolean");
  Expect(list.kind == PolicyValue::Kind::List || !list.found.empty(), "list text: wrong, but not said why");
}

}  // namespace pelliport::fuzz
