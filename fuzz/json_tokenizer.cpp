// The JSON tokenizer: every token read to the end; the record subscript must
// follow its rule applied to the path that the token stream gives.
#include <optional>

#include "fuzz/FuzzTargets.h"
#include "import/JsonTokenizer.h"
#include "import/testing/JsonPath.h"

namespace pelliport::fuzz {

void FuzzJsonTokenizer(Input input) {
  const std::u16string text = InputText(input);
  JsonTokenizer tokenizer(text);
  // Building the path costs its length and the nesting depth at every
  // token; past this budget the rest of the text is read without the path
  // oracle. With a budget of a million, deep inputs held the target to about
  // a hundred runs a second.
  std::size_t pathBudget = 1 << 16;
  testing::JsonPathTracker tracker;
  std::size_t tokens = 0;
  for (;;) {
    const JsonToken token = tokenizer.Next();
    Expect(++tokens <= text.size() + 2, "tokenizer: more tokens than characters");
    if (token.kind == JsonTokenKind::End || token.kind == JsonTokenKind::Failure) break;
    if (token.kind == JsonTokenKind::PropertyName || token.kind == JsonTokenKind::String ||
        token.kind == JsonTokenKind::Comment) {
      static_cast<void>(tokenizer.DecodedText());
    }
    const std::optional<std::int32_t> subscript = tokenizer.PathSubscript();
    tracker.Follow(token, tokenizer);
    if (pathBudget > 0) {
      const std::u16string path = tracker.Path();
      const std::size_t cost = path.size() + tracker.Depth() + 1;
      pathBudget = cost >= pathBudget ? 0 : pathBudget - cost;
      Expect(subscript == testing::SubscriptOfPath(path), "tokenizer: subscript differs from the path's");
    }
  }
  // After the end or a failure the tokenizer stays there.
  const JsonTokenKind again = tokenizer.Next().kind;
  Expect(again == JsonTokenKind::End || again == JsonTokenKind::Failure, "tokenizer: read on after the end");
}

}  // namespace pelliport::fuzz
