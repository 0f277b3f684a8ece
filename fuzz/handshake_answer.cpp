// The handshake answer: lines collected from bytes in pieces must be the
// lines of the whole; then the checks of the lines, and the wildcard mask.
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "websocket/Handshake.h"

namespace pelliport::fuzz {
namespace {

struct Outcome {
  websocket::AnswerLineReader::Status status = websocket::AnswerLineReader::Status::NeedMore;
  std::size_t consumed = 0;
  std::vector<std::u16string> lines;
  std::u16string error;
  bool operator==(const Outcome&) const = default;
};

Outcome Read(std::string_view bytes, Pieces* pieces) {
  websocket::AnswerLineReader reader;
  Outcome outcome;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t n = pieces ? pieces->Next(bytes.size() - at) : bytes.size() - at;
    std::size_t consumed = 0;
    outcome.status = reader.Feed(bytes.substr(at, n), consumed);
    Expect(consumed <= n, "answer reader took more than it got");
    outcome.consumed += consumed;
    at += n;
    if (outcome.status != websocket::AnswerLineReader::Status::NeedMore) break;
    Expect(consumed == n, "answer reader left bytes while it needs more");
  }
  outcome.lines = reader.Lines();
  outcome.error = reader.Error();
  return outcome;
}

}  // namespace

void FuzzHandshakeAnswer(Input input) {
  if (input.empty()) return;
  Pieces pieces(input[0], 97);
  const std::string_view bytes = InputBytes(input.subspan(1));
  const Outcome whole = Read(bytes, nullptr);
  Expect(Read(bytes, &pieces) == whole, "answer lines differ when read in pieces");
  if (whole.status == websocket::AnswerLineReader::Status::Complete) {
    static_cast<void>(websocket::EvaluateAnswer(whole.lines, "dGhlIHNhbXBsZSBub25jZQ==", u"chat, superchat"));
  }
  // The first line as text, the second as a mask. The host's masks are a few
  // characters long, which keeps the matching linear in the line's length.
  if (whole.lines.size() >= 2 && whole.lines[1].size() <= 32) {
    static_cast<void>(websocket::MatchesMask(whole.lines[0], whole.lines[1]));
  }
}

}  // namespace pelliport::fuzz
