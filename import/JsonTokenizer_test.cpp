#include "import/JsonTokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <locale>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "import/testing/JsonPath.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::JsonPathTracker;
using testing::SubscriptOfPath;

// Renders every token up to and including End or Failure: "{", "}", "[",
// "]", N(name), S(string), I(integer), F(float), B(bool), null, C(comment),
// END, FAIL. Texts are shown as UTF-8.
std::string Render(std::u16string_view text) {
  JsonTokenizer tokenizer(text);
  std::string out;
  for (;;) {
    const JsonToken token = tokenizer.Next();
    if (!out.empty()) out += ' ';
    switch (token.kind) {
      case JsonTokenKind::StartObject: out += '{'; break;
      case JsonTokenKind::EndObject: out += '}'; break;
      case JsonTokenKind::StartArray: out += '['; break;
      case JsonTokenKind::EndArray: out += ']'; break;
      case JsonTokenKind::PropertyName: out += "N(" + EncodeUtf8(tokenizer.DecodedText()) + ")"; break;
      case JsonTokenKind::String: out += "S(" + EncodeUtf8(tokenizer.DecodedText()) + ")"; break;
      case JsonTokenKind::Integer: out += "I(" + std::to_string(token.integer) + ")"; break;
      case JsonTokenKind::Float: out += "F(" + EncodeUtf8(FormatJsonFloat(token.number)) + ")"; break;
      case JsonTokenKind::Boolean: out += token.boolean ? "B(true)" : "B(false)"; break;
      case JsonTokenKind::Null: out += "null"; break;
      case JsonTokenKind::Comment: out += "C(" + EncodeUtf8(tokenizer.DecodedText()) + ")"; break;
      case JsonTokenKind::End: return out + "END";
      case JsonTokenKind::Failure: return out + "FAIL";
    }
  }
}

std::string Render(std::string_view utf8) { return Render(U16(utf8)); }

struct TokenCase {
  const char* json;
  const char* tokens;
};

// Shows the case's text when a case fails.
void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.json; }

class TokenSequence : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenSequence, ReadsAsExpected) {
  EXPECT_EQ(Render(std::string_view(GetParam().json)), GetParam().tokens) << GetParam().json;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TokenSequence,
    ::testing::Values(
        TokenCase{R"({"a":[1,-2,3.5,true,false,null,"s"],"b":{}})",
                  "{ N(a) [ I(1) I(-2) F(3.5) B(true) B(false) null S(s) ] N(b) { } } END"},
        TokenCase{" \t\r\n[ ] ", "[ ] END"},
        TokenCase{R"("top")", "S(top) END"},
        TokenCase{"7", "I(7) END"},
        TokenCase{R"({"":""})", "{ N() S() } END"},
        TokenCase{"/*a*/{\"x\"//b\n:/**/1}// c", "C(a) { N(x) C(b) C() I(1) } C( c) END"},
        TokenCase{"/* * / **/[]\r//x\r", "C( * / *) [ ] C(x) END"}));

INSTANTIATE_TEST_SUITE_P(
    Escapes, TokenSequence,
    ::testing::Values(
        TokenCase{R"(["\"\\\/","\u0041\u00e9\u20AC","\uD83D\uDE00"])", "[ S(\"\\/) S(Aé€) S(😀) ] END"},
        TokenCase{R"({"na\u006De\n":"\b\f\n\r\t"})", "{ N(name\n) S(\b\f\n\r\t) } END"},
        TokenCase{"[\"raw é € 😀\"]", "[ S(raw é € 😀) ] END"}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, TokenSequence,
    ::testing::Values(
        TokenCase{"[0,-0,123,-45]", "[ I(0) I(0) I(123) I(-45) ] END"},
        TokenCase{"[9223372036854775807,-9223372036854775808]",
                  "[ I(9223372036854775807) I(-9223372036854775808) ] END"},
        TokenCase{"[9223372036854775808,-9223372036854775809]",
                  "[ F(9223372036854775808) F(-9223372036854775808) ] END"},
        TokenCase{"[1.0,1e2,1E-2,-2.5e+3,0.1]", "[ F(1) F(100) F(0.01) F(-2500) F(0.1) ] END"},
        TokenCase{"[1e999,-1e999,1e-999,123456789012345678901234567890]",
                  "[ F(inf) F(-inf) F(0) F(1.2345678901234568e+29) ] END"}));

// Running out of text between tokens ends the reading, whatever is open.
INSTANTIATE_TEST_SUITE_P(
    EndBetweenTokens, TokenSequence,
    ::testing::Values(TokenCase{"", "END"}, TokenCase{"  \n ", "END"}, TokenCase{"[", "[ END"},
                      TokenCase{R"({"a")", "{ N(a) END"}, TokenCase{R"({"a":)", "{ N(a) END"},
                      TokenCase{R"({"a":"x")", "{ N(a) S(x) END"}, TokenCase{R"({"a":[1,)", "{ N(a) [ I(1) END"},
                      TokenCase{"[12", "[ I(12) END"}, TokenCase{"[true", "[ B(true) END"},
                      TokenCase{"[/*x*/", "[ C(x) END"}, TokenCase{"[//x", "[ C(x) END"}));

// Running out of text inside a token is a failure.
INSTANTIATE_TEST_SUITE_P(
    EndInsideToken, TokenSequence,
    ::testing::Values(TokenCase{R"("abc)", "FAIL"}, TokenCase{R"({"a":"x)", "{ N(a) FAIL"},
                      TokenCase{R"({"ab)", "{ FAIL"}, TokenCase{R"(["\)", "[ FAIL"}, TokenCase{R"(["\u12)", "[ FAIL"},
                      TokenCase{"[tru", "[ FAIL"}, TokenCase{"[-", "[ FAIL"}, TokenCase{"[1.", "[ FAIL"},
                      TokenCase{"[1e", "[ FAIL"}, TokenCase{"[1e+", "[ FAIL"}, TokenCase{"[/*x", "[ FAIL"},
                      TokenCase{"[/", "[ FAIL"}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, TokenSequence,
    ::testing::Values(
        TokenCase{R"({"a" 1})", "{ N(a) FAIL"}, TokenCase{R"({"a":1,})", "{ N(a) I(1) FAIL"},
        TokenCase{"[1,]", "[ I(1) FAIL"}, TokenCase{"[1 2]", "[ I(1) FAIL"}, TokenCase{"{,}", "{ FAIL"},
        TokenCase{"[01]", "[ I(0) FAIL"}, TokenCase{"[.5]", "[ FAIL"}, TokenCase{"[+1]", "[ FAIL"},
        TokenCase{"[1.e2]", "[ FAIL"}, TokenCase{"[0x1]", "[ I(0) FAIL"}, TokenCase{"['a']", "[ FAIL"},
        TokenCase{"{a:1}", "{ FAIL"}, TokenCase{R"(["\x"])", "[ FAIL"}, TokenCase{R"(["\u12G4"])", "[ FAIL"},
        TokenCase{R"(["\U0041"])", "[ FAIL"}, TokenCase{"[True]", "[ FAIL"}, TokenCase{"[nul]", "[ FAIL"},
        TokenCase{"{]", "{ FAIL"}, TokenCase{"[}", "[ FAIL"}, TokenCase{"[1]]", "[ I(1) ] FAIL"},
        TokenCase{"{} {}", "{ } FAIL"}, TokenCase{"[1]x", "[ I(1) ] FAIL"}, TokenCase{"1 2", "I(1) FAIL"},
        TokenCase{"[1]/", "[ I(1) ] FAIL"}, TokenCase{"[1]/x", "[ I(1) ] FAIL"},
        TokenCase{"\xEF\xBB\xBF{}", "FAIL"},          // a byte-order mark is no white space
        TokenCase{"[\"a\x01\"]", "[ FAIL"},            // control characters must be escaped
        TokenCase{"\f[]", "FAIL"}));

TEST(JsonTokenizer, NulCharactersAreMalformedUnlessEscaped) {
  using namespace std::string_literals;
  EXPECT_EQ(Render(u"[\"a\0b\"]"s), "[ FAIL");
  EXPECT_EQ(Render(u"[1]\0"s), "[ I(1) ] FAIL");
  EXPECT_EQ(Render(u"\0"s), "FAIL");
  JsonTokenizer tokenizer(u"\"a\\u0000b\"");
  ASSERT_EQ(tokenizer.Next().kind, JsonTokenKind::String);
  EXPECT_EQ(tokenizer.DecodedText(), u"a\0b"s);
}

TEST(JsonTokenizer, SurrogateEscapesAreCodeUnits) {
  // A pair written as two escapes decodes to the character; a lone
  // surrogate, in either order, stays a lone code unit and is no failure.
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"\"\\uD83D\\uDE00\"", u"\U0001F600"},
      {u"\"\\ud800\"", std::u16string(1, char16_t{0xD800})},
      {u"\"x\\uDC00y\"", u"x" + std::u16string(1, char16_t{0xDC00}) + u"y"},
      {u"\"\\uDE00\\uD83D\"", std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}},
      {u"\"\\uD800\\n\"", std::u16string{char16_t{0xD800}, u'\n'}},
  };
  for (const auto& [json, decoded] : cases) {
    JsonTokenizer tokenizer(json);
    ASSERT_EQ(tokenizer.Next().kind, JsonTokenKind::String) << EncodeUtf8(json);
    EXPECT_EQ(tokenizer.DecodedText(), decoded) << EncodeUtf8(json);
    EXPECT_EQ(tokenizer.Next().kind, JsonTokenKind::End);
  }
}

TEST(JsonTokenizer, FailureIsFinalAndSaysWhere) {
  JsonTokenizer tokenizer(u"[1,]");
  tokenizer.Next();
  tokenizer.Next();
  EXPECT_EQ(tokenizer.Next().kind, JsonTokenKind::Failure);
  EXPECT_EQ(tokenizer.FailureOffset(), 3u);
  EXPECT_STRNE(tokenizer.FailureMessage(), "");
  EXPECT_EQ(tokenizer.Next().kind, JsonTokenKind::Failure);
}

// A decimal separator of the user's locale must not change numbers.
class CommaDecimalPoint : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
};

TEST(JsonTokenizer, NumbersIgnoreTheLocale) {
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimalPoint));
  const std::string rendered = Render(std::string_view("[3.25,1e3]"));
  std::locale::global(previous);
  EXPECT_EQ(rendered, "[ F(3.25) F(1000) ] END");
}

// --- Paths

// The path of every scalar value, in order.
std::vector<std::string> ValuePaths(std::u16string_view text) {
  JsonTokenizer tokenizer(text);
  JsonPathTracker tracker;
  std::vector<std::string> paths;
  for (;;) {
    const JsonToken token = tokenizer.Next();
    if (token.kind == JsonTokenKind::End || token.kind == JsonTokenKind::Failure) return paths;
    tracker.Follow(token, tokenizer);
    if (token.kind >= JsonTokenKind::String && token.kind <= JsonTokenKind::Null) {
      paths.push_back(EncodeUtf8(tracker.Path()));
    }
  }
}

TEST(JsonTokenizer, PathsOfValues) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {R"({"html":"x"})", {"html"}},
      {R"([{"html":"x"}])", {"[0].html"}},
      {R"({"a":{"b":[1,2]}})", {"a.b[0]", "a.b[1]"}},
      {R"({"a b":{"c.d":1}})", {"a b.c.d"}},
      {R"("x")", {""}},
      {R"([[1,[2]],3])", {"[0][0]", "[0][1][0]", "[1]"}},
      {R"([[[[1]]],[[2,3]],[[[4],5]]])", {"[0][0][0][0]", "[1][0][0]", "[1][0][1]", "[2][0][0][0]", "[2][0][1]"}},
      {R"({"":{"x":1},"y":{"":2}})", {"x", "y."}},
      {R"({"x\u002Ey\"":1,"[]":{"]":2}})", {"x.y\"", "[].]"}},
      {R"({"a":[{"b":1},{"c":[true,null]}],"d":"e"})", {"a[0].b", "a[1].c[0]", "a[1].c[1]", "d"}},
  };
  for (const auto& [json, paths] : cases) EXPECT_EQ(ValuePaths(U16(json)), paths) << json;
}

TEST(JsonTokenizer, ContainerTokensHaveThePathOfTheirPlace) {
  JsonTokenizer tokenizer(u"{\"a\":[{}]}");
  JsonPathTracker tracker;
  std::vector<std::string> paths;
  for (JsonToken token = tokenizer.Next(); token.kind != JsonTokenKind::End; token = tokenizer.Next()) {
    ASSERT_NE(token.kind, JsonTokenKind::Failure);
    tracker.Follow(token, tokenizer);
    paths.push_back(EncodeUtf8(tracker.Path()));
  }
  // {  "a"  [  {  }  ]  }
  EXPECT_EQ(paths, (std::vector<std::string>{"", "a", "a", "a[0]", "a[0]", "a", ""}));
}

void ExpectSubscriptsMatchPaths(std::u16string_view text) {
  JsonTokenizer tokenizer(text);
  JsonPathTracker tracker;
  for (;;) {
    const JsonToken token = tokenizer.Next();
    if (token.kind == JsonTokenKind::End || token.kind == JsonTokenKind::Failure) return;
    tracker.Follow(token, tokenizer);
    const std::u16string path = tracker.Path();
    ASSERT_EQ(tokenizer.PathSubscript(), SubscriptOfPath(path))
        << "path " << EncodeUtf8(path) << " in " << EncodeUtf8(text);
  }
}

TEST(JsonTokenizer, SubscriptFollowsThePath) {
  const char* cases[] = {
      R"({"html":1,"3":2,"-4":3,"+5":4,"6]x":5,"7]":{"a":6},"8":{"a":7}})",
      R"({"x[3]":{"html":1},"x[-1]":{"v":2},"x[3":3,"x[4":{"v":4},"x[5":[6]})",
      R"({"":{"":{"7":1,"8]":{"b":2},"9":{"c":3}}}})",
      R"({"5].":{"[7]":1},"a":{"b":{"[8]":2}},"[":{"9]":3}})",
      R"({"[2147483647]":1,"[2147483648]":2,"[-2147483648]":3,"[ 1]":4,"[1 ]":5,"[]":6})",
      R"([{"a":[{"b":1}]},[[2,3],[4]],{"c":{"[9]":5}}])",
      R"({"x":{"[4]":1},"y":[5],"z":{"q":{"":6}},"\u005b3]":7,"[1":{"":8}})",
      R"([[[[1]]],[[2,3]],[[[4],5]],[0,[0,[0,[7]]]]])",
      R"({"a":[/*c*/1,/*d*/[/*e*/]]})",
      R"({"5":"x","6":{"":1},"":{"7":2},"8]":[3],"x[9":"y","[10]":{"":4}})",
      R"({"":{"":[{"":{"1]":5}}]},"]":{"[2]":6}})",
  };
  for (const char* json : cases) ExpectSubscriptsMatchPaths(U16(json));
}

// Random documents with names made to trip the subscript: digits, signs,
// brackets, dots and empty names at every depth.
std::u16string RandomDocument(std::mt19937& random, int depth) {
  static const char* const kNames[] = {"", "a", "1", "-2", "+3", "[4]", "x[5", "6]", "[", "]", "b.c", "[7", "8]y", "[ 9]"};
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const int kind = depth == 0 ? pick(2) : pick(4);
  if (kind == 0) return u"1";
  if (kind == 1) return u"\"s\"";
  const int count = pick(4);
  std::u16string out = kind == 2 ? u"[" : u"{";
  for (int i = 0; i < count; ++i) {
    if (i > 0) out += u',';
    if (kind == 3) out += u"\"" + U16(kNames[pick(static_cast<int>(std::size(kNames)))]) + u"\":";
    out += RandomDocument(random, depth - 1);
  }
  out += kind == 2 ? u"]" : u"}";
  return out;
}

TEST(JsonTokenizer, SubscriptFollowsThePathInRandomDocuments) {
  std::mt19937 random(20240611);
  for (int i = 0; i < 400; ++i) ExpectSubscriptsMatchPaths(RandomDocument(random, 6));
}

// --- Deep nesting: no recursion, and little memory per level.

TEST(JsonTokenizer, HundredThousandOpeningBracketsEndWithoutFailure) {
  const std::u16string text(100000, u'[');
  EXPECT_EQ(Render(text).substr(Render(text).size() - 5), "[ END");
}

TEST(JsonTokenizer, HundredThousandOpeningBracesFailAtOnce) {
  EXPECT_EQ(Render(std::u16string(100000, u'{')), "{ FAIL");
}

TEST(JsonTokenizer, DeepNestingReadsToTheEnd) {
  constexpr int kDepth = 200000;
  std::u16string text;
  for (int i = 0; i < kDepth; ++i) text += i % 3 == 2 ? u"{\"k\":" : u"[0,";
  text += u"\"deep\"";
  for (int i = kDepth - 1; i >= 0; --i) text += i % 3 == 2 ? u"}" : u"]";

  JsonTokenizer tokenizer(text);
  JsonPathTracker tracker;
  JsonToken token;
  std::size_t values = 0;
  do {
    token = tokenizer.Next();
    tracker.Follow(token, tokenizer);
    if (token.kind == JsonTokenKind::String) {
      EXPECT_EQ(tokenizer.DecodedText(), u"deep");
      EXPECT_EQ(tokenizer.PathSubscript(), 1);
      const std::u16string path = tracker.Path();
      EXPECT_EQ(path.substr(0, 12), u"[1][1].k[1][");
      EXPECT_EQ(SubscriptOfPath(path), 1);
    }
    if (token.kind == JsonTokenKind::Integer) ++values;
  } while (token.kind != JsonTokenKind::End && token.kind != JsonTokenKind::Failure);
  EXPECT_EQ(token.kind, JsonTokenKind::End);
  EXPECT_EQ(values, static_cast<std::size_t>(kDepth - kDepth / 3));
}

TEST(JsonTokenizer, TextAfterDeeplyNestedValueFails) {
  const std::u16string text = std::u16string(50000, u'[') + std::u16string(50000, u']') + u"]";
  EXPECT_EQ(Render(text).substr(Render(text).size() - 6), "] FAIL");
}

}  // namespace
}  // namespace pelliport
