#include "import/JsonObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// The cases are written as the request's bytes; the parser reads them decoded.
JsonObject Parse(std::string_view utf8) { return ParseJsonObject(DecodeUtf8Lenient(utf8)); }

struct OutcomeCase {
  const char* json;
  JsonObjectOutcome outcome;
};

// Shows the case's text when a case fails.
void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.json; }

class ObjectOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(ObjectOutcome, IsAsExpected) {
  const JsonObject object = Parse(GetParam().json);
  EXPECT_EQ(object.outcome, GetParam().outcome) << GetParam().json;
  if (object.outcome != JsonObjectOutcome::Success) {
    EXPECT_TRUE(object.members.empty()) << GetParam().json;
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, ObjectOutcome,
    ::testing::Values(
        OutcomeCase{R"({"command":"c","URL":"u"})", JsonObjectOutcome::Success},
        OutcomeCase{" \r\n\t{}", JsonObjectOutcome::Success},
        // What follows the closing brace does not count, however broken.
        OutcomeCase{R"({"URL":"u"} trailing [ "text)", JsonObjectOutcome::Success},
        OutcomeCase{R"({"URL":"u"}/*)", JsonObjectOutcome::Success},
        // The first character decides the empty outcome: anything but "{" or white space.
        OutcomeCase{"[1]", JsonObjectOutcome::Empty},
        OutcomeCase{R"("text")", JsonObjectOutcome::Empty},
        OutcomeCase{"\xEF\xBB\xBF{\"URL\":\"u\"}", JsonObjectOutcome::Empty},
        OutcomeCase{"x{", JsonObjectOutcome::Empty},
        OutcomeCase{"", JsonObjectOutcome::Failure},
        OutcomeCase{" [1]", JsonObjectOutcome::Failure},
        OutcomeCase{" ", JsonObjectOutcome::Failure},
        OutcomeCase{"{", JsonObjectOutcome::Failure},
        OutcomeCase{R"({"command":"c","URL":"u")", JsonObjectOutcome::Failure},
        OutcomeCase{R"({"command":"c","URL":"u",})", JsonObjectOutcome::Failure},
        OutcomeCase{R"({"command":"c","URL":"u" "x"})", JsonObjectOutcome::Failure},
        OutcomeCase{R"({"command":"c",/*note*/"URL":"u"})", JsonObjectOutcome::Failure},
        OutcomeCase{R"( /*note*/ {"URL":"u"})", JsonObjectOutcome::Failure},
        OutcomeCase{R"({"URL":"bad \q"})", JsonObjectOutcome::Failure},
        OutcomeCase{"{{", JsonObjectOutcome::Failure}));

TEST(ParseJsonObject, ValueTextsOfTopLevelMembers) {
  const JsonObject object = Parse(
      R"({"s":"a\/b\"c\u00e9","t":true,"f":false,"n":null,"i":-12,"big":12345678901234,)"
      R"("r":1.5,"e":1E2,"o":{"URL":"inner"},"a":[1,{"x":2}],"empty":""})");
  ASSERT_EQ(object.outcome, JsonObjectOutcome::Success);
  const std::vector<std::pair<std::u16string, std::u16string>> expected = {
      {u"s", u"a/b\"c\u00e9"}, {u"t", u"true"}, {u"f", u"false"}, {u"n", u"null"},
      {u"i", u"-12"}, {u"big", u"12345678901234"}, {u"r", u"1.5"}, {u"e", u"100"},
      {u"o", u""}, {u"a", u""}, {u"empty", u""}};
  ASSERT_EQ(object.members.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(object.members[i].name, expected[i].first);
    EXPECT_EQ(object.members[i].valueText, expected[i].second) << EncodeUtf8(expected[i].first);
  }
}

TEST(ParseJsonObject, FindsTheFirstTopLevelMemberByExactName) {
  const JsonObject object =
      Parse(R"({"inner":{"URL":"nested"},"url":"lower","URL":"first","URL":"second"})");
  ASSERT_EQ(object.outcome, JsonObjectOutcome::Success);
  ASSERT_NE(object.Find(u"URL"), nullptr);
  EXPECT_EQ(*object.Find(u"URL"), u"first");
  EXPECT_EQ(object.Value(u"url"), u"lower");
  EXPECT_EQ(object.Find(u"command"), nullptr);
  try {
    object.Value(u"command");
    ADD_FAILURE() << "a missing member must be a failure";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"EJSONException");
    EXPECT_NE(error.Message().find(u"command"), std::u16string::npos);
  }
}

TEST(ParseJsonObject, EmptyOutcomeHasNoMembers) {
  const JsonObject object = Parse(R"([{"URL":"u"}])");
  EXPECT_EQ(object.outcome, JsonObjectOutcome::Empty);
  EXPECT_EQ(object.Find(u"URL"), nullptr);
}

std::string Nested(const std::string& open, std::size_t levels, const std::string& close) {
  std::string text = R"({"URL":"u","deep":)";
  for (std::size_t i = 0; i < levels; ++i) text += open;
  text += "0";
  for (std::size_t i = 0; i < levels; ++i) text += close;
  return text + "}";
}

TEST(ParseJsonObject, NestingUpToTheLimitIsRead) {
  EXPECT_EQ(Parse(Nested("[", kJsonObjectNestingLimit, "]")).outcome, JsonObjectOutcome::Success);
  EXPECT_EQ(Parse(Nested("{\"a\":", kJsonObjectNestingLimit, "}")).outcome,
            JsonObjectOutcome::Success);
}

TEST(ParseJsonObject, NestingBeyondTheLimitIsAFailureOfTheParser) {
  const std::vector<std::string> texts = {
      Nested("[", kJsonObjectNestingLimit + 1, "]"),
      Nested("{\"a\":", kJsonObjectNestingLimit + 1, "}"),
      "{\"a\":" + std::string(100000, '['),  // broken further on, but too deep first
  };
  for (const std::string& text : texts) {
    try {
      Parse(text);
      ADD_FAILURE() << "no failure for nesting of " << text.size() << " bytes";
    } catch (const HostError& error) {
      EXPECT_EQ(error.Kind(), u"EJSONException");
      EXPECT_EQ(error.Message(), u"JSON nesting deeper than 512 levels");
    }
  }
}

TEST(ParseJsonObject, ASyntaxErrorBeforeTheLimitIsAFailure) {
  EXPECT_EQ(Parse("{\"a\":[[[}" + std::string(1000, '[')).outcome, JsonObjectOutcome::Failure);
  EXPECT_EQ(Parse(std::string(100000, '{')).outcome, JsonObjectOutcome::Failure);
}

TEST(ParseJsonObject, NulAndLoneSurrogates) {
  using namespace std::string_literals;
  EXPECT_EQ(Parse("{\"URL\":\"a\0b\"}"s).outcome, JsonObjectOutcome::Failure);
  const JsonObject object = Parse(R"({"URL":"a\u0000b\ud800"})");
  ASSERT_EQ(object.outcome, JsonObjectOutcome::Success);
  EXPECT_EQ(object.Value(u"URL"), (std::u16string{u'a', u'\0', u'b', char16_t{0xD800}}));
}

}  // namespace
}  // namespace pelliport
