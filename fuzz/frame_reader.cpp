// The frame reader: the server's bytes fed in pieces of every size must give
// the events that feeding them whole gives.
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "websocket/Frames.h"

namespace pelliport::fuzz {
namespace {

struct Event {
  websocket::FrameEvent::Kind kind;
  std::u16string text;
  std::string bytes;
  std::uint16_t closeStatus;
  bool operator==(const Event&) const = default;
};

struct Outcome {
  std::vector<Event> events;
  std::size_t consumed = 0;
  bool ended = false;
  bool operator==(const Outcome&) const = default;
};

Outcome Read(std::string_view bytes, Pieces* pieces) {
  websocket::FrameReader reader;
  Outcome outcome;
  std::size_t at = 0;
  while (at < bytes.size() && !outcome.ended) {
    const std::size_t n = pieces ? pieces->Next(bytes.size() - at) : bytes.size() - at;
    std::string_view piece = bytes.substr(at, n);
    // As the connection does: the rest of a piece goes to the next call.
    while (!piece.empty() && !outcome.ended) {
      const auto step = reader.Next(piece);
      Expect(step.consumed <= piece.size(), "frame reader took more than it got");
      Expect(step.consumed > 0 || step.frameComplete, "frame reader made no progress");
      outcome.consumed += step.consumed;
      piece.remove_prefix(step.consumed);
      if (!step.frameComplete) break;
      const auto& e = step.event;
      outcome.events.push_back({e.kind, e.text, e.bytes, e.closeStatus});
      outcome.ended = e.kind == websocket::FrameEvent::Kind::Close || e.kind == websocket::FrameEvent::Kind::Error;
    }
    at += n;
  }
  // After a close or an error the reader takes nothing more.
  if (outcome.ended && outcome.consumed < bytes.size()) {
    const auto after = reader.Next(bytes.substr(outcome.consumed));
    Expect(after.consumed == 0 && !after.frameComplete, "frame reader read on after the end");
  }
  return outcome;
}

}  // namespace

void FuzzFrameReader(Input input) {
  if (input.empty()) return;
  Pieces pieces(input[0], 1 + input[0] % 32);
  const std::string_view bytes = InputBytes(input.subspan(1));
  const Outcome whole = Read(bytes, nullptr);
  Expect(Read(bytes, &pieces) == whole, "frames read in pieces differ from the whole");
}

}  // namespace pelliport::fuzz
