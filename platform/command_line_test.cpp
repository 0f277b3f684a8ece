#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace pelliport {
namespace {

struct QuoteCase {
  const char16_t* argument;
  const char16_t* expected;
};

class QuoteCommandLineArgumentTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteCommandLineArgumentTest, WritesTheArgumentSoThatItIsReadBackAsOne) {
  EXPECT_EQ(QuoteCommandLineArgument(GetParam().argument), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, QuoteCommandLineArgumentTest,
    ::testing::Values(
        // Nothing that splits or quotes: as it is, backslashes included.
        QuoteCase{u"C:\\Temp\\1A2B\\3C4D.tmp", u"C:\\Temp\\1A2B\\3C4D.tmp"},
        // Blanks and tabs would split it.
        QuoteCase{u"C:\\Users\\Max Muster\\Temp\\A1.tmp", u"\"C:\\Users\\Max Muster\\Temp\\A1.tmp\""},
        QuoteCase{u"a\tb", u"\"a\tb\""},
        // An empty argument must still be one.
        QuoteCase{u"", u"\"\""},
        // A quotation mark is escaped, and so are the backslashes before it.
        QuoteCase{u"say \"hi\"", u"\"say \\\"hi\\\"\""},
        QuoteCase{u"a\\\\\"b", u"\"a\\\\\\\\\\\"b\""},
        // Backslashes before the closing quotation mark are doubled, others not.
        QuoteCase{u"C:\\with blank\\", u"\"C:\\with blank\\\\\""},
        QuoteCase{u"a\\b c", u"\"a\\b c\""}));

}  // namespace
}  // namespace pelliport
