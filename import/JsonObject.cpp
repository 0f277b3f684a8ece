#include "import/JsonObject.h"

#include <optional>

#include "import/JsonTokenizer.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

bool IsWhitespace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

std::u16string ScalarText(const JsonTokenizer& tokenizer, const JsonToken& token) {
  switch (token.kind) {
    case JsonTokenKind::String:
      return tokenizer.DecodedText();
    case JsonTokenKind::Integer: {
      const std::string digits = std::to_string(token.integer);
      return std::u16string(digits.begin(), digits.end());
    }
    case JsonTokenKind::Float:
      return FormatJsonFloat(token.number);
    case JsonTokenKind::Boolean:
      return token.boolean ? u"true" : u"false";
    default:
      return u"null";
  }
}

}  // namespace

const std::u16string* JsonObject::Find(std::u16string_view name) const {
  for (const JsonMember& member : members) {
    if (member.name == name) return &member.valueText;
  }
  return nullptr;
}

const std::u16string& JsonObject::Value(std::u16string_view name) const {
  if (const std::u16string* text = Find(name)) return *text;
  throw HostError(u"EJSONException", u"JSON member \"" + std::u16string(name) + u"\" not found");
}

JsonObject ParseJsonObject(std::u16string_view text) {
  JsonObject result;
  if (text.empty()) return result;
  if (text.front() != u'{' && !IsWhitespace(text.front())) {
    result.outcome = JsonObjectOutcome::Empty;
    return result;
  }
  JsonTokenizer tokenizer(text);
  if (tokenizer.Next().kind != JsonTokenKind::StartObject) return result;

  std::size_t depth = 1;  // open containers, the top-level object included
  std::u16string name;
  for (;;) {
    const JsonToken token = tokenizer.Next();
    switch (token.kind) {
      case JsonTokenKind::StartObject:
      case JsonTokenKind::StartArray:
        if (depth == 1) result.members.push_back({std::move(name), {}});
        if (++depth - 1 > kJsonObjectNestingLimit) {
          throw HostError(u"EJSONException", u"JSON nesting deeper than 512 levels");
        }
        break;
      case JsonTokenKind::EndObject:
      case JsonTokenKind::EndArray:
        if (--depth == 0) {
          result.outcome = JsonObjectOutcome::Success;
          return result;
        }
        break;
      case JsonTokenKind::PropertyName:
        if (depth == 1) name = tokenizer.DecodedText();
        break;
      case JsonTokenKind::String:
      case JsonTokenKind::Integer:
      case JsonTokenKind::Float:
      case JsonTokenKind::Boolean:
      case JsonTokenKind::Null:
        if (depth == 1) result.members.push_back({std::move(name), ScalarText(tokenizer, token)});
        break;
      case JsonTokenKind::Comment:  // not part of standard JSON
      case JsonTokenKind::End:      // the object is not closed
      case JsonTokenKind::Failure:
        result.members.clear();
        return result;
    }
  }
}

}  // namespace pelliport
