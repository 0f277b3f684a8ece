#include "import/ParseJson.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "import/JsonTokenizer.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// Slot value of a number. What the callers do with a value is use its text,
// so an integer beyond 32 bits and a floating-point number become the text
// of their value.
TValue NumberValue(const JsonToken& token) {
  if (token.kind == JsonTokenKind::Float) return FormatJsonFloat(token.number);
  if (token.integer >= std::numeric_limits<std::int32_t>::min() &&
      token.integer <= std::numeric_limits<std::int32_t>::max()) {
    return static_cast<std::int32_t>(token.integer);
  }
  return Decimal(token.integer);
}

}  // namespace

std::u16string ValueText(const TValue& value) {
  if (const auto* text = std::get_if<std::u16string>(&value)) return *text;
  if (const auto* integer = std::get_if<std::int32_t>(&value)) return Decimal(*integer);
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? u"True" : u"False";
  return {};
}

const std::vector<TValue>* TValues::Find(std::size_t index) const {
  const auto found = std::lower_bound(records_.begin(), records_.end(), index,
                                      [](const auto& record, std::size_t i) { return record.first < i; });
  if (found == records_.end() || found->first != index) return nullptr;
  return &found->second;
}

std::vector<TValue>* TValues::Find(std::size_t index) {
  return const_cast<std::vector<TValue>*>(std::as_const(*this).Find(index));
}

std::span<const TValue> TValues::Record(std::size_t index) const {
  const std::vector<TValue>* slots = Find(index);
  return slots == nullptr ? std::span<const TValue>() : *slots;
}

std::u16string TValues::SlotText(std::size_t record, std::size_t slot) const {
  const std::span<const TValue> slots = Record(record);
  return slot < slots.size() ? ValueText(slots[slot]) : std::u16string();
}

std::u16string TValues::TakeSlotText(std::size_t record, std::size_t slot) {
  std::vector<TValue>* slots = Find(record);
  if (slots == nullptr || slot >= slots->size()) return {};
  TValue& value = (*slots)[slot];
  std::u16string text = std::holds_alternative<std::u16string>(value)
                            ? std::move(std::get<std::u16string>(value))
                            : ValueText(value);
  value = std::monostate();
  return text;
}

void TValues::Clear() {
  count_ = 0;
  records_.clear();
}

std::vector<TValue>* TValues::SlotsForStore(std::size_t index, std::size_t slotCount) {
  if (index >= count_) {
    // Records between the old end and the index stay without slots.
    records_.emplace_back(index, std::vector<TValue>(slotCount));
    count_ = index + 1;
    return &records_.back().second;
  }
  return Find(index);
}

namespace {

// The string value that is to take the text's memory once the whole text has
// been read, while its slot holds nothing.
struct TakingValue {
  TValue* slot = nullptr;
  JsonTokenizer::Span span;
};

// `taking` is null when the text stays as it is.
bool ParseJson(std::u16string_view text, const std::vector<std::u16string>& keys, TValues& values,
               const UpperCaseFunction& upperCase, TakingValue* taking) {
  values.Clear();
  if (keys.empty()) return false;  // nothing can be found
  std::vector<std::u16string> upperKeys;
  upperKeys.reserve(keys.size());
  for (const std::u16string& key : keys) upperKeys.push_back(upperCase(key));

  // Whether the last property name was a key, and which slot it fills.
  bool underKey = false;
  std::size_t slot = 0;

  // The slots of the current value's record, or null when it is dropped.
  const auto target = [&](const JsonTokenizer& tokenizer) -> TValue* {
    const std::int32_t index = tokenizer.PathSubscript().value_or(0);
    if (index < 0) return nullptr;
    std::vector<TValue>* slots = values.SlotsForStore(static_cast<std::size_t>(index), keys.size());
    return slots == nullptr ? nullptr : &(*slots)[slot];
  };

  // A value stored into the slot that was to take the text replaces it.
  const auto store = [&](TValue* value, TValue stored) {
    if (taking != nullptr && taking->slot == value) taking->slot = nullptr;
    *value = std::move(stored);
  };

  JsonTokenizer tokenizer(text);
  for (;;) {
    const JsonToken token = tokenizer.Next();
    // A failure while handling one token drops that token alone.
    try {
      switch (token.kind) {
        case JsonTokenKind::End:
          return values.Count() > 0;
        case JsonTokenKind::Failure:
          return false;
        case JsonTokenKind::PropertyName: {
          const std::u16string upperName = upperCase(tokenizer.DecodedText());
          std::optional<std::size_t> match;
          for (std::size_t k = 0; k < upperKeys.size(); ++k) {
            if (upperKeys[k] == upperName) match = k;
          }
          underKey = match.has_value();
          if (underKey) slot = *match;
          break;
        }
        case JsonTokenKind::String: {
          if (!underKey) break;
          TValue* value = target(tokenizer);
          if (value == nullptr) break;
          const JsonTokenizer::Span span = tokenizer.TokenSpan();
          if (taking != nullptr && span.length >= kTextTakingThreshold &&
              (taking->slot == nullptr || span.length > taking->span.length)) {
            // The longest so far; the one it replaces is decoded now.
            if (taking->slot != nullptr && taking->slot != value) {
              *taking->slot = DecodeString(text, taking->span);
            }
            *value = std::monostate();
            *taking = {value, span};
            break;
          }
          store(value, tokenizer.DecodedText());
          break;
        }
        case JsonTokenKind::Integer:
        case JsonTokenKind::Float:
          if (!underKey) break;
          if (TValue* value = target(tokenizer)) store(value, NumberValue(token));
          break;
        case JsonTokenKind::Boolean:
          if (!underKey) break;
          if (TValue* value = target(tokenizer)) store(value, token.boolean);
          break;
        case JsonTokenKind::Null:
          // Null overwrites what the slot held with the empty text.
          if (!underKey) break;
          if (TValue* value = target(tokenizer)) store(value, std::u16string());
          break;
        case JsonTokenKind::StartObject:
        case JsonTokenKind::EndObject:
        case JsonTokenKind::StartArray:
        case JsonTokenKind::EndArray:
        case JsonTokenKind::Comment:
          break;
      }
    } catch (...) {
      // Dropped; the scan goes on.
    }
  }
}

}  // namespace

bool DoParseJson(std::u16string_view text, const std::vector<std::u16string>& keys, TValues& values,
                 const UpperCaseFunction& upperCase) {
  return ParseJson(text, keys, values, upperCase, nullptr);
}

bool DoParseJsonTakingText(std::u16string& text, const std::vector<std::u16string>& keys, TValues& values,
                           const UpperCaseFunction& upperCase) {
  TakingValue taking;
  if (!ParseJson(text, keys, values, upperCase, &taking)) return false;
  if (taking.slot != nullptr) {
    DecodeStringToFront(text, taking.span);
    *taking.slot = std::move(text);
    text = std::u16string();
  }
  return true;
}

}  // namespace pelliport
