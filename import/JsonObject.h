// Reads a request as one JSON object and gives the texts of its top-level
// members. Used where a request names its values by exact, case-sensitive
// member names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelliport {

// Deepest nesting of arrays and objects below the top-level object.
inline constexpr std::size_t kJsonObjectNestingLimit = 512;

enum class JsonObjectOutcome {
  Success,  // after optional white space a well-formed object; what follows it does not count
  Failure,  // anything else that starts with "{" or white space, and the empty text
  Empty,    // the first character is neither "{" nor white space: an object without members
};

struct JsonMember {
  std::u16string name;
  // A string's decoded characters; "true", "false" or "null"; the number's
  // value as text; the empty text for an object or an array.
  std::u16string valueText;
};

struct JsonObject {
  JsonObjectOutcome outcome = JsonObjectOutcome::Failure;
  std::vector<JsonMember> members;  // top-level members in text order

  // The value text of the first member of that exact name; null when none.
  const std::u16string* Find(std::u16string_view name) const;
  // The same, as a failure (HostError "EJSONException") when it is missing.
  const std::u16string& Value(std::u16string_view name) const;
};

// Parses the text as decoded from the request. Nesting deeper than kJsonObjectNestingLimit below the
// top-level object is a failure of the parser itself: a HostError of kind
// "EJSONException" rather than the Failure outcome.
JsonObject ParseJsonObject(std::u16string_view text);

}  // namespace pelliport
