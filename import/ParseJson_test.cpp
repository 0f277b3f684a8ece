#include "import/ParseJson.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

std::u16string PlatformUpper(std::u16string_view text) { return SystemPlatform().text.ToUpper(text); }

// The table as text: records separated by blanks, "-" for a record without
// slots, otherwise the slots in parentheses separated by "|": "~" for
// nothing, a quoted text, an integer, true or false.
std::string RenderTable(const TValues& values) {
  std::string out;
  for (std::size_t r = 0; r < values.Count(); ++r) {
    if (!out.empty()) out += ' ';
    const auto slots = values.Record(r);
    if (slots.empty()) {
      out += '-';
      continue;
    }
    out += '(';
    for (std::size_t k = 0; k < slots.size(); ++k) {
      if (k > 0) out += '|';
      const TValue& slot = slots[k];
      if (std::holds_alternative<std::monostate>(slot)) out += '~';
      if (const auto* text = std::get_if<std::u16string>(&slot)) out += '"' + EncodeUtf8(*text) + '"';
      if (const auto* integer = std::get_if<std::int32_t>(&slot)) out += std::to_string(*integer);
      if (const auto* flag = std::get_if<bool>(&slot)) out += *flag ? "true" : "false";
    }
    out += ')';
  }
  return out;
}

struct ExtractCase {
  const char* json;
  std::vector<const char*> keys;
  bool result;
  const char* table;  // checked only when the result is true
};

// Shows the case's text when a case fails.
void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.json; }

class Extract : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(Extract, FillsTheTable) {
  const ExtractCase& c = GetParam();
  std::vector<std::u16string> keys;
  for (const char* key : c.keys) keys.push_back(U16(key));
  TValues values;
  EXPECT_EQ(DoParseJson(U16(c.json), keys, values, PlatformUpper), c.result) << c.json;
  if (c.result) {
    EXPECT_EQ(RenderTable(values), c.table) << c.json;
  }
  // No value is long enough to take the text: it stays as it is.
  std::u16string text = U16(c.json);
  TValues taken;
  EXPECT_EQ(DoParseJsonTakingText(text, keys, taken, PlatformUpper), c.result) << c.json;
  EXPECT_EQ(RenderTable(taken), RenderTable(values)) << c.json;
  EXPECT_EQ(text, U16(c.json));
}

const std::vector<const char*> kHtmlPic = {"html", "b64Pic"};

INSTANTIATE_TEST_SUITE_P(
    Keys, Extract,
    ::testing::Values(
        ExtractCase{R"({"html":"<p>"})", kHtmlPic, true, R"(("<p>"|~))"},
        ExtractCase{R"({"html":"x","b64Pic":"y","other":"z"})", kHtmlPic, true, R"(("x"|"y"))"},
        ExtractCase{R"({"HTML":"x","B64PIC":"y"})", kHtmlPic, true, R"(("x"|"y"))"},
        ExtractCase{R"({"data":{"deeper":{"html":"x"}}})", kHtmlPic, true, R"(("x"|~))"},
        ExtractCase{R"({"grüße":"x","ошибка":"y"})", {"GRÜßE", "ОШИБКА"}, true, R"(("x"|"y"))"},
        ExtractCase{R"({"html":"x"})", {"html", "HTML"}, true, R"((~|"x"))"},
        ExtractCase{R"({"":"e","x":"f"})", {"", "html"}, true, R"(("e"|~))"},
        ExtractCase{R"({"x":"v"})", {""}, false, ""},
        ExtractCase{R"({"html":"x"})", {}, false, ""},
        ExtractCase{R"({"x":1})", kHtmlPic, false, ""},
        ExtractCase{"", kHtmlPic, false, ""},
        ExtractCase{R"({"html":{"b64Pic":1}})", kHtmlPic, true, R"((~|1))"},
        ExtractCase{R"({"html":/*note*/"x"//end)", kHtmlPic, true, R"(("x"|~))"}));

INSTANTIATE_TEST_SUITE_P(
    Values, Extract,
    ::testing::Values(
        ExtractCase{R"({"html":"a","html":"b"})", kHtmlPic, true, R"(("b"|~))"},
        ExtractCase{R"({"html":"a","html":null})", kHtmlPic, true, R"((""|~))"},
        ExtractCase{R"({"html":"a\"b\\c\u00e9\n"})", kHtmlPic, true, "(\"a\"b\\c\u00e9\n\"|~)"},
        ExtractCase{R"({"html":true,"b64Pic":false})", kHtmlPic, true, R"((true|false))"},
        ExtractCase{R"({"html":42,"b64Pic":-2147483648})", kHtmlPic, true, R"((42|-2147483648))"},
        // Numbers beyond 32 bits and floating-point numbers are kept as their text.
        ExtractCase{R"({"html":2147483648,"b64Pic":-9223372036854775808})", kHtmlPic, true,
                    R"(("2147483648"|"-9223372036854775808"))"},
        ExtractCase{R"({"html":1.5,"b64Pic":1e300})", kHtmlPic, true, R"(("1.5"|"1e+300"))"}));

INSTANTIATE_TEST_SUITE_P(
    Records, Extract,
    ::testing::Values(
        ExtractCase{R"({"html":["x","y"]})", kHtmlPic, true, R"(("x"|~) ("y"|~))"},
        // The key holds until the next property name, past the end of its object.
        ExtractCase{R"({"a":[{"html":"x"},"y"]})", kHtmlPic, true, R"(("x"|~) ("y"|~))"},
        ExtractCase{R"({"list":[{"x":1},{"html":"v"}]})", kHtmlPic, true, R"(- ("v"|~))"},
        ExtractCase{R"({"a":[{"x":0},{"x":0},{"html":"v"}],"b":[{"html":"w"}]})", kHtmlPic, true,
                    R"(- - ("v"|~))"},
        ExtractCase{R"([{"html":"a","b64Pic":"b"},{"b64Pic":"c"}])", kHtmlPic, true, R"(("a"|"b") (~|"c"))"},
        ExtractCase{R"({"a":{"b":[0,1,{"html":"v"}]}})", kHtmlPic, true, R"(- - ("v"|~))"},
        ExtractCase{R"({"x":[[0],[0,1,2,{"html":"v"}]]})", kHtmlPic, true, R"(- ("v"|~))"},
        ExtractCase{R"({"x[3]":{"html":"v"}})", kHtmlPic, true, R"(- - - ("v"|~))"},
        ExtractCase{R"({"x[-1]":{"html":"v"}})", kHtmlPic, false, ""},
        // Without a "[" the whole path counts, up to its first "]"; without
        // a "]" there is no subscript.
        ExtractCase{R"({"2]":{"html":"v"}})", kHtmlPic, true, R"(- - ("v"|~))"},
        ExtractCase{R"({"":{"1]x":{"html":"v"}}})", kHtmlPic, true, R"(- ("v"|~))"},
        ExtractCase{R"({"x[1":{"html":"v"}})", kHtmlPic, true, R"(("v"|~))"},
        ExtractCase{R"({"x[2]":{"html":"a"},"y":{"html":"b"}})", kHtmlPic, true, R"(- - ("a"|~))"},
        ExtractCase{R"({"3":"v"})", {"3"}, true, R"(("v"))"},
        ExtractCase{R"({"3":{"html":"v"}})", kHtmlPic, true, R"(("v"|~))"},
        ExtractCase{R"({"x[1":{"html":"v"},"y[1":"w"})", {"html", "y[1"}, true, R"(("v"|"w"))"}));

// Only a fault of the text itself makes the result false; values stored
// before it do not count then.
INSTANTIATE_TEST_SUITE_P(
    Faults, Extract,
    ::testing::Values(ExtractCase{R"({"html":"x")", kHtmlPic, true, R"(("x"|~))"},
                      ExtractCase{R"([{"html":"x"},{"html":)", kHtmlPic, true, R"(("x"|~))"},
                      ExtractCase{R"({"html":"x)", kHtmlPic, false, ""},
                      ExtractCase{R"({"html":"x"} tail)", kHtmlPic, false, ""},
                      ExtractCase{R"({"html":"x",})", kHtmlPic, false, ""},
                      ExtractCase{R"({"html":"bad \q escape"})", kHtmlPic, false, ""},
                      ExtractCase{R"({"html":tru})", kHtmlPic, false, ""},
                      ExtractCase{"\xEF\xBB\xBF{\"html\":\"x\"}", kHtmlPic, false, ""}));

// Long values: the one that takes the text's memory must come out exactly
// as it is decoded from a text that stays. "L" and "M" in a case stand for
// long strings with escapes (M the longer one), "S" for one just below the
// length that takes the text.
TEST(DoParseJsonTakingText, GivesTheTableOfTheTextThatStays) {
  std::string piece = R"(<p class=\"a\">x\u00e9\ud83d\ude00\\\/\n</p>)";
  std::string longer;
  while (longer.size() < kTextTakingThreshold + 100) longer += piece;
  const std::string shorter(kTextTakingThreshold - 1, 'y');
  struct Case {
    const char* json;
    bool takes;  // the text is taken (left empty)
  };
  const Case cases[] = {
      {R"({"html":"L","b64Pic":"x"})", true},
      {R"({"b64Pic":"S","html":"x"})", false},
      {R"({"html":"L","b64Pic":"M"})", true},
      {R"({"html":"M","b64Pic":"L"})", true},
      {R"({"html":"L","html":null})", false},
      {R"({"html":"L","html":"x"})", false},
      {R"({"html":"L","html":"M"})", true},
      {R"({"html":"L","b64Pic":"M","b64Pic":1})", false},
      {R"({"html":["L","M"]})", true},
      {R"([{"html":"L"},{"html":"M","b64Pic":"L"}])", true},
      {R"({"html":"L","b64Pic":"M")", true},
      {R"({"html":"L","b64Pic":"M"} tail)", false},
      {R"({"other":"M","html":"L"})", true},
      {R"({"other":"M"})", false},
  };
  for (const Case& c : cases) {
    std::string json;
    for (const char* p = c.json; *p != '\0'; ++p) {
      json += *p == 'L' ? longer : *p == 'M' ? longer + longer : *p == 'S' ? shorter : std::string(1, *p);
    }
    const std::u16string original = U16(json);
    const std::vector<std::u16string> keys = {u"html", u"b64Pic"};
    TValues expected;
    const bool result = DoParseJson(original, keys, expected, PlatformUpper);
    std::u16string text = original;
    TValues values;
    EXPECT_EQ(DoParseJsonTakingText(text, keys, values, PlatformUpper), result) << c.json;
    // Compared whole, not printed: the values are long.
    if (result) {
      EXPECT_TRUE(RenderTable(values) == RenderTable(expected)) << c.json;
    }
    EXPECT_EQ(text.empty(), c.takes) << c.json;
    if (!c.takes) {
      EXPECT_EQ(text, original) << c.json;
    }
  }
}

TEST(DoParseJson, EmptiesTheTableFirst) {
  TValues values;
  ASSERT_TRUE(DoParseJson(u"[{\"html\":1},{\"html\":2}]", {u"html"}, values, PlatformUpper));
  ASSERT_EQ(values.Count(), 2u);
  EXPECT_FALSE(DoParseJson(u"{\"x\":1}", {u"html"}, values, PlatformUpper));
  EXPECT_EQ(values.Count(), 0u);
  EXPECT_TRUE(values.Record(0).empty());
}

TEST(DoParseJson, AFailureWhileHandlingOneTokenDropsOnlyThatToken) {
  const UpperCaseFunction failsOnBoom = [](std::u16string_view text) -> std::u16string {
    if (text == u"boom") throw std::runtime_error("no upper case");
    return SystemPlatform().text.ToUpper(text);
  };
  TValues values;
  EXPECT_TRUE(DoParseJson(u"{\"html\":\"a\",\"boom\":\"b\",\"b64Pic\":\"c\"}", {u"html", u"b64Pic"}, values,
                          failsOnBoom));
  // The key before "boom" still holds for its value.
  EXPECT_EQ(RenderTable(values), R"(("b"|"c"))");
}

TEST(DoParseJson, LargeIndexInANameCostsNoMemory) {
  TValues values;
  ASSERT_TRUE(DoParseJson(u"{\"x[2147483647]\":{\"html\":\"v\"}}", {u"html"}, values, PlatformUpper));
  EXPECT_EQ(values.Count(), 2147483648u);
  EXPECT_TRUE(values.Record(0).empty());
  EXPECT_EQ(values.SlotText(2147483647, 0), u"v");
}

TEST(DoParseJson, BadInputGivesTheResultWithoutCrashing) {
  using namespace std::string_literals;
  TValues values;
  // Lone surrogates are code units like any other; a raw NUL is malformed.
  ASSERT_TRUE(DoParseJson(u"{\"html\":\"a\\udc00\\ud800\"}", {u"html"}, values, PlatformUpper));
  EXPECT_EQ(values.SlotText(0, 0), (std::u16string{u'a', char16_t{0xDC00}, char16_t{0xD800}}));
  EXPECT_FALSE(DoParseJson(u"{\"html\":\"a\0\"}"s, {u"html"}, values, PlatformUpper));
  EXPECT_FALSE(DoParseJson(u"{\"html\":\"a\"}\0"s, {u"html"}, values, PlatformUpper));
  ASSERT_TRUE(DoParseJson(u"{\"html\":\"a\\u0000b\"}", {u"html"}, values, PlatformUpper));
  EXPECT_EQ(values.SlotText(0, 0), u"a\0b"s);
  EXPECT_FALSE(DoParseJson(u"{\"html\":\"\\ud800\\x\"}", {u"html"}, values, PlatformUpper));

  EXPECT_FALSE(DoParseJson(std::u16string(100000, u'['), {u"html"}, values, PlatformUpper));
  EXPECT_FALSE(DoParseJson(std::u16string(100000, u'{'), {u"html"}, values, PlatformUpper));
  const std::u16string deep = u"{\"html\":" + std::u16string(100000, u'[') + u"\"v\"";
  ASSERT_TRUE(DoParseJson(deep, {u"html"}, values, PlatformUpper));
  EXPECT_EQ(values.SlotText(0, 0), u"v");
}

TEST(ValueText, TextFormOfEverySlotKind) {
  EXPECT_EQ(ValueText(TValue{}), u"");
  EXPECT_EQ(ValueText(TValue{std::u16string(u"text")}), u"text");
  EXPECT_EQ(ValueText(TValue{std::int32_t{0}}), u"0");
  EXPECT_EQ(ValueText(TValue{std::int32_t{-17}}), u"-17");
  EXPECT_EQ(ValueText(TValue{std::numeric_limits<std::int32_t>::min()}), u"-2147483648");
  EXPECT_EQ(ValueText(TValue{true}), u"True");
  EXPECT_EQ(ValueText(TValue{false}), u"False");
}

TEST(TValues, SlotTextOfMissingRecordsAndSlotsIsEmpty) {
  TValues values;
  ASSERT_TRUE(DoParseJson(u"{\"list\":[{\"x\":1},{\"html\":\"v\"}]}", {u"html", u"pic"}, values, PlatformUpper));
  EXPECT_EQ(values.SlotText(0, 0), u"");  // record without slots
  EXPECT_EQ(values.SlotText(1, 0), u"v");
  EXPECT_EQ(values.SlotText(1, 1), u"");  // slot never set
  EXPECT_EQ(values.SlotText(1, 2), u"");  // no such slot
  EXPECT_EQ(values.SlotText(5, 0), u"");  // past the end
}

}  // namespace
}  // namespace pelliport
