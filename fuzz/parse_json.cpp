// DoParseJson with the key list of each request kind: every record has no
// slots or one per key.
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "import/ParseJson.h"
#include "platform/platform.h"

namespace pelliport::fuzz {

void FuzzParseJson(Input input) {
  const std::u16string text = InputText(input);
  Platform& platform = SystemPlatform();
  const UpperCaseFunction upper = [&](std::u16string_view t) { return platform.text.ToUpper(t); };
  const std::vector<std::vector<std::u16string>> keyLists = {
      {u"html", u"b64Pic", u"profilUrl", u"srcImg", u"protocol"},
      {u"domain", u"protocol", u"", u"", u""},
      {u"OrvantaBrowserAddInErrorTitle", u"OrvantaBrowserAddInErrorDescription"},
  };
  for (const auto& keys : keyLists) {
    TValues values;
    const bool found = DoParseJson(text, keys, values, upper);
    Expect(!found || values.Count() > 0, "DoParseJson: true without a record");
    // A large index is cheap, so only the records up to a bound are looked at.
    for (std::size_t r = 0; r < values.Count() && r < 4096; ++r) {
      const std::size_t slots = values.Record(r).size();
      Expect(slots == 0 || slots == keys.size(), "DoParseJson: a record with the wrong number of slots");
      for (std::size_t s = 0; s < slots; ++s) static_cast<void>(values.SlotText(r, s));
    }
  }
}

}  // namespace pelliport::fuzz
