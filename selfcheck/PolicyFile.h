// Reading the host's three policies out of a browser's policy file, as the
// browsers read such a file: UTF-8 JSON (with or without the signature)
// whose top level is an object, comments and trailing commas allowed; of
// two members of the same name the later counts. The file is hostile input:
// any bytes give a result.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "selfcheck/BrowserPolicy.h"

namespace pelliport {

struct PolicyFileContent {
  bool valid = false;      // JSON whose top level is an object
  std::u16string problem;  // why it is not: "not valid JSON (...)", "not a JSON object", ...
  // The value of each of the three policies the file sets, by PolicyName.
  std::array<std::optional<PolicyValue>, 3> values;
};
PolicyFileContent ParsePolicyFile(std::string_view bytes);

// A list policy written as a JSON text, which the browsers accept in the
// registry; a Wrong value when the text is no JSON list.
PolicyValue ParsePolicyListText(std::u16string_view text);

// The text with every comma that ends a list or an object (before "]" or
// "}", blanks and comments between) turned into a blank: the browsers allow
// such commas in policies.
std::u16string WithoutTrailingCommas(std::u16string_view text);

}  // namespace pelliport
