// Command lines for Windows programs, which get one text and split it into
// arguments themselves (CommandLineToArgvW and the C runtime follow the same
// rules).
#pragma once

#include <string>
#include <string_view>

namespace pelliport {

// The argument written so that the program reads it back as exactly one
// argument, unchanged: quoted when it is empty or holds a blank, a tab, a
// line break or a quotation mark, with backslashes doubled where they come
// before a quotation mark.
std::u16string QuoteCommandLineArgument(std::u16string_view argument);

}  // namespace pelliport
