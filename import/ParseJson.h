// The key extractor: takes the values of a few named keys out of a request's
// JSON text, at any depth, without building a document. Every value found
// under a wanted key lands in a table of records with one slot per key; the
// value's record is the first array index of its path, so one object gives
// one record and an array of objects one record per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace pelliport {

// One value slot: nothing (never set), a text, an integer or a boolean.
using TValue = std::variant<std::monostate, std::u16string, std::int32_t, bool>;

// The text form through which every caller reads a slot: nothing is the
// empty text, an integer its decimal digits, a boolean "True" or "False".
std::u16string ValueText(const TValue& value);

// The result table: records numbered from 0, each with one slot per key, or
// with no slots at all when the table grew past it. Records without slots
// take no memory, so a large index in a property name costs nothing.
class TValues {
 public:
  std::size_t Count() const { return count_; }
  // The record's slots; empty for a record without slots (or past the end).
  std::span<const TValue> Record(std::size_t index) const;
  // Text form of one slot; the empty text when the record has no such slot.
  std::u16string SlotText(std::size_t record, std::size_t slot) const;
  // The same text, moved out of the table (a large page is not copied); the
  // slot holds nothing afterwards.
  std::u16string TakeSlotText(std::size_t record, std::size_t slot);

  void Clear();
  // The slots that a value for this record goes into: when the index is not
  // below Count(), the table grows to index + 1 records and the record gets
  // `slotCount` empty slots; a record that already exists keeps what it has.
  // Null for a record without slots.
  std::vector<TValue>* SlotsForStore(std::size_t index, std::size_t slotCount);

 private:
  // The slots of a record, or null when it has none.
  const std::vector<TValue>* Find(std::size_t index) const;
  std::vector<TValue>* Find(std::size_t index);

  std::size_t count_ = 0;
  std::vector<std::pair<std::size_t, std::vector<TValue>>> records_;  // by ascending index
};

// The platform's upper-case mapping, applied to names and keys alike.
using UpperCaseFunction = std::function<std::u16string(std::u16string_view)>;

// Empties `values`, then files every value found under one of `keys` into
// it. A property name is a key when its upper case equals a key's; of several
// equal keys the last one gets the value. A key's values include what follows
// it at outer levels until the next property name. True when the whole text
// was read without a fault and the table holds a record.
bool DoParseJson(std::u16string_view text, const std::vector<std::u16string>& keys, TValues& values,
                 const UpperCaseFunction& upperCase);

// The same, for a caller that no longer needs the text when the call
// succeeds: the longest string value found (of at least
// kTextTakingThreshold characters) is decoded in place and takes over the
// text's memory, so that a page of megabytes is never held twice. When the
// call returns true and a value took it, `text` is left empty; otherwise it
// is untouched.
inline constexpr std::size_t kTextTakingThreshold = 65536;
bool DoParseJsonTakingText(std::u16string& text, const std::vector<std::u16string>& keys, TValues& values,
                           const UpperCaseFunction& upperCase);

}  // namespace pelliport
