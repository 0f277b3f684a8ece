// No sandboxed browsers are looked for on Windows.
#include "selfcheck/SandboxedBrowsers.h"

namespace pelliport {

std::vector<SandboxFinding> FindSandboxedBrowsers(std::u16string_view) { return {}; }

}  // namespace pelliport
