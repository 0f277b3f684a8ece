#include "selfcheck/PolicyFile.h"

#include <cstddef>

#include "import/JsonTokenizer.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

std::optional<PolicyName> PolicyOf(std::u16string_view member) {
  for (const PolicyName name : kPolicyNames) {
    if (PolicyKey(name) == member) return name;
  }
  return std::nullopt;
}

// What a value of the wrong kind is, for the rows.
std::u16string KindOf(const JsonToken& token) {
  switch (token.kind) {
    case JsonTokenKind::StartObject:
      return u"an object";
    case JsonTokenKind::StartArray:
      return u"a list";
    case JsonTokenKind::String:
      return u"a text";
    case JsonTokenKind::Integer:
    case JsonTokenKind::Float:
      return u"a number";
    case JsonTokenKind::Boolean:
      return token.boolean ? u"true" : u"false";
    default:
      return u"null";
  }
}

PolicyValue Wrong(std::u16string found) {
  PolicyValue value;
  value.found = std::move(found);
  return value;
}

// Reads the tokens of one JSON text: a policy file, whose top-level
// members may be the three policies, or one list.
class PolicyReader {
 public:
  explicit PolicyReader(std::u16string_view text) : tokenizer_(text) {}

  PolicyFileContent ReadFile() {
    PolicyFileContent content;
    for (;;) {
      const JsonToken token = tokenizer_.Next();
      if (token.kind == JsonTokenKind::Comment) continue;
      if (token.kind == JsonTokenKind::Failure) return Invalid(content, u"not valid JSON (" + Failure() + u")");
      if (token.kind == JsonTokenKind::End) {
        if (depth_ != 0 || !closed_) {
          return Invalid(content, depth_ == 0 ? u"empty" : u"not valid JSON (the text ends inside the object)");
        }
        content.valid = true;
        return content;
      }
      if (depth_ == 0 && token.kind != JsonTokenKind::StartObject) return Invalid(content, u"not a JSON object");
      if (depth_ == 1 && token.kind == JsonTokenKind::PropertyName) {
        member_ = PolicyOf(tokenizer_.DecodedText());
        continue;
      }
      if (depth_ == 1 && member_ && IsValueStart(token.kind)) {
        const PolicyName name = *member_;
        auto& slot = content.values[static_cast<std::size_t>(name)];
        if (name == PolicyName::UserLevelHosts) {
          if (token.kind == JsonTokenKind::Boolean) {
            PolicyValue value;
            value.kind = PolicyValue::Kind::Boolean;
            value.boolean = token.boolean;
            slot = value;
          } else {
            slot = Wrong(KindOf(token));
          }
        } else if (token.kind == JsonTokenKind::StartArray) {
          slot = PolicyValue{};
          slot->kind = PolicyValue::Kind::List;
          list_ = &*slot;
        } else {
          slot = Wrong(KindOf(token));
        }
      } else if (depth_ == 2 && list_ && IsValueStart(token.kind)) {
        if (token.kind == JsonTokenKind::String) {
          list_->items.push_back(tokenizer_.DecodedText());
        } else {
          ++list_->otherItems;
        }
      }
      Nest(token.kind);
    }
  }

  PolicyValue ReadList() {
    PolicyValue list;
    list.kind = PolicyValue::Kind::List;
    for (;;) {
      const JsonToken token = tokenizer_.Next();
      if (token.kind == JsonTokenKind::Comment) continue;
      if (token.kind == JsonTokenKind::Failure) return Wrong(u"a text that is no JSON list (" + Failure() + u")");
      if (token.kind == JsonTokenKind::End) {
        if (depth_ != 0 || !closed_) return Wrong(u"a text that is no JSON list");
        return list;
      }
      if (depth_ == 0 && token.kind != JsonTokenKind::StartArray) return Wrong(u"a text that is no JSON list");
      if (depth_ == 1 && IsValueStart(token.kind)) {
        if (token.kind == JsonTokenKind::String) {
          list.items.push_back(tokenizer_.DecodedText());
        } else {
          ++list.otherItems;
        }
      }
      Nest(token.kind);
    }
  }

 private:
  static bool IsValueStart(JsonTokenKind kind) {
    return kind != JsonTokenKind::EndObject && kind != JsonTokenKind::EndArray &&
           kind != JsonTokenKind::PropertyName && kind != JsonTokenKind::Comment;
  }

  void Nest(JsonTokenKind kind) {
    if (kind == JsonTokenKind::StartObject || kind == JsonTokenKind::StartArray) {
      ++depth_;
    } else if (kind == JsonTokenKind::EndObject || kind == JsonTokenKind::EndArray) {
      --depth_;
      if (depth_ == 1) list_ = nullptr;
      if (depth_ == 0) closed_ = true;
    }
  }

  std::u16string Failure() const {
    return U16(tokenizer_.FailureMessage()) + u" at character " +
           Decimal(static_cast<long long>(tokenizer_.FailureOffset()) + 1);
  }

  static PolicyFileContent Invalid(PolicyFileContent& content, std::u16string problem) {
    content.valid = false;
    content.problem = std::move(problem);
    content.values = {};
    return std::move(content);
  }

  JsonTokenizer tokenizer_;
  std::size_t depth_ = 0;
  bool closed_ = false;                 // the top-level value has ended
  std::optional<PolicyName> member_;    // the top-level member whose value comes next
  PolicyValue* list_ = nullptr;         // the list being read
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

std::u16string WithoutTrailingCommas(std::u16string_view text) {
  std::u16string out(text);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t comma = kNone;  // a comma that may end a list or object
  char16_t last = u'\0';      // the last character of a token before it
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') {
      // A string: to its closing quote, escapes skipped.
      for (++i; i < text.size() && text[i] != u'"'; ++i) {
        if (text[i] == u'\\') ++i;
      }
      comma = kNone;
      last = u'"';
    } else if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'/') {
      while (i < text.size() && text[i] != u'\n') ++i;
    } else if (c == u'/' && i + 1 < text.size() && text[i + 1] == u'*') {
      const std::size_t end = text.find(u"*/", i + 2);
      i = end == std::u16string_view::npos ? text.size() : end + 1;
    } else if (IsBlank(c)) {
      continue;
    } else if (c == u',') {
      // Only a comma after a value can end a list or object; "[,]" stays wrong.
      comma = last == u'[' || last == u'{' || last == u',' || last == u':' ? kNone : i;
      last = c;
    } else {
      if ((c == u']' || c == u'}') && comma != kNone) out[comma] = u' ';
      comma = kNone;
      last = c;
    }
  }
  return out;
}

PolicyFileContent ParsePolicyFile(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const auto text = DecodeUtf8Strict(bytes);
  if (!text) {
    PolicyFileContent content;
    content.problem = u"not UTF-8";
    return content;
  }
  const std::u16string json = WithoutTrailingCommas(*text);
  return PolicyReader(json).ReadFile();
}

PolicyValue ParsePolicyListText(std::u16string_view text) {
  const std::u16string json = WithoutTrailingCommas(text);
  return PolicyReader(json).ReadList();
}

}  // namespace pelliport
