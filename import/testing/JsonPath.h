// The path of a JSON token, worked out from the token stream alone: the rule
// that the tokenizer's record subscript is checked against, by the tests and
// the fuzz target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/JsonTokenizer.h"

namespace pelliport::testing {

// Follows the tokens of one text. After Follow(token), Path() is that token's
// path: for every open container, outermost first, an object adds the name of
// its current property (after a "." unless the path so far is empty) and an
// array adds "[" + the index of its current element + "]" (-1 before the
// first). Names stand as they are, without quoting. The container that a
// token opens or closes does not count for that token.
class JsonPathTracker {
 public:
  // `tokenizer` has just handed out `token`; a property name is read from it.
  void Follow(const JsonToken& token, const JsonTokenizer& tokenizer);
  std::u16string Path() const;
  std::size_t Depth() const { return levels_.size(); }

 private:
  struct Level {
    bool object = false;
    std::u16string name;
    std::int64_t index = -1;
  };
  std::vector<Level> levels_;
  // A container that the last token opened: it counts from the next token on.
  std::optional<Level> opened_;
};

// The record subscript of a value by its path: the text after the path's
// first "[" (the whole path when it holds none), of which the part before its
// first "]" counts (nothing when there is no "]"), read as a decimal integer
// with an optional sign that fits 32 bits; nullopt when it is not one.
std::optional<std::int32_t> SubscriptOfPath(std::u16string_view path);

}  // namespace pelliport::testing
