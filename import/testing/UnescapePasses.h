// The unescaping of the captured page as it is defined, the rule that the
// one-scan unescaping is checked against by the tests and the fuzz target.
#pragma once

#include <string>

namespace pelliport::testing {

// Eight replace-all passes, one after the other, each left to right without
// rescanning what it put in: \" \/ \b \f \n \r \t and finally \\.
std::u16string UnescapeByPasses(std::u16string text);

}  // namespace pelliport::testing
