// The identification request's object parser.
#include "fuzz/FuzzTargets.h"
#include "import/JsonObject.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport::fuzz {

void FuzzJsonObject(Input input) {
  try {
    const JsonObject object = ParseJsonObject(DecodeUtf8Lenient(InputBytes(input)));
    if (object.outcome == JsonObjectOutcome::Empty) {
      Expect(object.members.empty(), "JSON object: members of an empty object");
    }
    static_cast<void>(object.Find(u"URL"));
    static_cast<void>(object.Find(u"command"));
  } catch (const HostError&) {
    // Nesting too deep: the parser's own failure, which the caller logs.
  }
}

}  // namespace pelliport::fuzz
