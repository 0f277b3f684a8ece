// JSON strings written by the host: the error reply and the browsers' manifests.
#pragma once

#include <string>
#include <string_view>

namespace pelliport {

// Appends the text as a quoted JSON string: quotation mark, backslash and
// the control characters escaped (the short forms where JSON has them),
// everything else as it is.
void AppendJsonString(std::u16string& out, std::u16string_view text);

}  // namespace pelliport
