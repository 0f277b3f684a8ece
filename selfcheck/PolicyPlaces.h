// Where the browsers of this system read their enterprise policies, read
// for the host's three policies. One file per system:
// PolicyPlaces_win32.cpp (Chrome's and Edge's keys under
// SOFTWARE\Policies in HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE) and
// PolicyPlaces_posix.cpp (every file in Chrome's, Chromium's and Edge's
// folder of managed policies).
#pragma once

#include <string_view>
#include <vector>

#include "selfcheck/BrowserPolicy.h"

namespace pelliport {

// The policies of each browser of this system that honours them.
std::vector<BrowserPolicies> ReadBrowserPolicies();

// How the host is installed per machine on this system, for the row that
// finds only a per-user registration while user-level hosts are off.
std::u16string_view MachineInstallAdvice();

}  // namespace pelliport
