#include "websocket/Frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/utf.h"
#include "websocket/testing/ScriptedServer.h"

namespace pelliport::websocket {
namespace {

using testing::ServerFrame;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

struct HeaderCase {
  Opcode opcode;
  std::size_t length;
  std::string header;  // bytes before the masking key
};

TEST(FrameWriter, WritesFinOpcodeMaskBitAndLength) {
  const HeaderCase cases[] = {
      {Opcode::Text, 0, Bytes({0x81, 0x80})},
      {Opcode::Text, 125, Bytes({0x81, 0xFD})},
      {Opcode::Text, 126, Bytes({0x81, 0xFE, 0x00, 0x7E})},
      {Opcode::Text, 65535, Bytes({0x81, 0xFE, 0xFF, 0xFF})},
      {Opcode::Text, 65536, Bytes({0x81, 0xFF, 0, 0, 0, 0, 0, 1, 0, 0})},
      {Opcode::Pong, 3, Bytes({0x8A, 0x83})},
  };
  const MaskingKey key = {1, 2, 3, 4};
  for (const HeaderCase& c : cases) {
    const std::string frame = EncodeMaskedFrame(c.opcode, std::string(c.length, 'x'), key);
    ASSERT_EQ(frame.size(), c.header.size() + 4 + c.length) << c.length;
    EXPECT_EQ(frame.substr(0, c.header.size()), c.header) << c.length;
    EXPECT_EQ(frame.substr(c.header.size(), 4), Bytes({1, 2, 3, 4})) << c.length;
  }
}

TEST(FrameWriter, MasksThePayloadWithTheKey) {
  const MaskingKey key = {0x00, 0xFE, 0x0F, 0x80};
  const std::string text = EncodeUtf8(u"\u00fcber");  // 5 UTF-8 bytes
  const std::string frame = EncodeMaskedFrame(Opcode::Text, text, key);
  ASSERT_EQ(frame.size(), 2u + 4 + 5);
  EXPECT_EQ(static_cast<std::uint8_t>(frame[1]), 0x85);
  for (std::size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(frame[6 + i]), static_cast<std::uint8_t>(text[i]) ^ key[i % 4]) << i;
  }
}

// Events as short texts, leaving out frames that mean nothing to do.
std::vector<std::string> Describe(const FrameEvent& event, std::vector<std::string>& out) {
  switch (event.kind) {
    case FrameEvent::Kind::None: break;
    case FrameEvent::Kind::Text: out.push_back("text " + EncodeUtf8(event.text)); break;
    case FrameEvent::Kind::Binary: out.push_back("binary " + event.bytes); break;
    case FrameEvent::Kind::Ping: out.push_back("ping " + event.bytes); break;
    case FrameEvent::Kind::Close:
      out.push_back("close " + std::to_string(event.closeStatus) + " " + EncodeUtf8(event.text));
      break;
    case FrameEvent::Kind::Error: out.push_back("error " + EncodeUtf8(event.text)); break;
  }
  return out;
}

// Whether an event ends the connection; the reader takes no bytes after it.
bool EndsReading(const FrameEvent& event) {
  return event.kind == FrameEvent::Kind::Close || event.kind == FrameEvent::Kind::Error;
}

// Feeds the pieces one after the other, as a connection does: what the
// reader leaves of one piece goes in front of the next.
std::vector<std::string> ReadPieces(const std::vector<std::string_view>& pieces) {
  FrameReader reader;
  std::vector<std::string> events;
  std::string input;
  bool ended = false;
  for (const std::string_view piece : pieces) {
    if (ended) break;
    input.append(piece);
    while (!input.empty() && !ended) {
      const FrameReader::Step step = reader.Next(input);
      input.erase(0, step.consumed);
      if (!step.frameComplete) break;
      Describe(step.event, events);
      ended = EndsReading(step.event);
    }
  }
  if (ended && !input.empty()) {
    const FrameReader::Step after = reader.Next(input);
    EXPECT_EQ(after.consumed, 0u) << "bytes taken after the end";
    EXPECT_FALSE(after.frameComplete) << "a frame after the end";
  }
  return events;
}

// The stream in pieces of at most `piece` bytes.
std::vector<std::string> ReadStream(std::string_view stream, std::size_t piece = SIZE_MAX) {
  std::vector<std::string_view> pieces;
  for (std::size_t offset = 0; offset < stream.size(); offset += std::min(piece, stream.size() - offset)) {
    pieces.push_back(stream.substr(offset, piece));
  }
  return ReadPieces(pieces);
}

std::string Close(std::uint16_t status, std::string_view reason = {}) {
  return ServerFrame(0x88, Bytes({status >> 8, status & 0xFF}) + std::string(reason));
}

struct StreamCase {
  const char* name;
  std::string stream;
  std::vector<std::string> events;
};

TEST(FrameReader, ReadsTheServersFrames) {
  const MaskingKey key = {9, 200, 0, 254};
  const StreamCase cases[] = {
      {"unmasked text", ServerFrame(0x81, "hi"), {"text hi"}},
      {"masked text", ServerFrame(0x81, "hi", key), {"text hi"}},
      {"non-ASCII text", ServerFrame(0x81, EncodeUtf8(u"\u00fc\u20ac")), {"text " + EncodeUtf8(u"\u00fc\u20ac")}},
      {"empty unmasked text", ServerFrame(0x81, ""), {"text "}},
      {"binary", ServerFrame(0x82, "\x01\x02"), {"binary \x01\x02"}},
      {"pong is ignored", ServerFrame(0x8A, "x") + ServerFrame(0x81, "after"), {"text after"}},
      {"ping", ServerFrame(0x89, "abc"), {"ping abc"}},
      {"fragments with a ping between",
       ServerFrame(0x01, "Hel") + ServerFrame(0x89, "p") + ServerFrame(0x00, "lo ", key) + ServerFrame(0x80, "world"),
       {"ping p", "text Hello world"}},
      {"binary fragments", ServerFrame(0x02, "ab") + ServerFrame(0x80, "cd"), {"binary abcd"}},
      {"RSV on a continuation is let through", ServerFrame(0x01, "a") + ServerFrame(0xC0, "b"), {"text ab"}},
      {"16-bit length", ServerFrame(0x81, std::string(126, 'm')), {"text " + std::string(126, 'm')}},
      {"64-bit length", ServerFrame(0x81, std::string(65536, 'n'), key), {"text " + std::string(65536, 'n')}},
      // Not checked as UTF-8: ill-formed bytes become U+FFFD, and reading goes on.
      {"ill-formed text ending in 0xF4", ServerFrame(0x81, "a\xF4"), {"text a\xEF\xBF\xBD"}},
      {"ill-formed text", ServerFrame(0x81, "\xC3") + ServerFrame(0x81, "next"), {"text \xEF\xBF\xBD", "text next"}},
      {"ill-formed fragments", ServerFrame(0x01, "\xE2\x82") + ServerFrame(0x80, "\xFFz"),
       {"text \xEF\xBF\xBD\xEF\xBF\xBDz"}},
      {"close without payload", ServerFrame(0x88, ""), {"close 0 "}},
      {"masked close without payload", ServerFrame(0x88, "", key), {"close 0 "}},
      {"close 1000", Close(1000), {"close 1000 "}},
      {"close with reason is not checked", Close(1005, "bye"), {"close 1005 bye"}},
      {"close with one byte", ServerFrame(0x88, "\x03"), {"error Invalid Payload length for close code"}},
      {"nothing after a close", Close(1000) + ServerFrame(0x81, "late"), {"close 1000 "}},
      {"RSV1 on text", ServerFrame(0xC1, "x"), {"error Invalid value of RSV while no Extension Negotiated"}},
      {"RSV3 on ping", ServerFrame(0x99, "x"), {"error Invalid value of RSV while no Extension Negotiated"}},
      {"opcode 3", ServerFrame(0x83, "x"), {"error Invalid Control OptCode"}},
      {"opcode 0xB", ServerFrame(0x8B, ""), {"error Invalid Control OptCode"}},
      {"fragmented ping", ServerFrame(0x09, "x"), {"error Control Message must not be fragmented"}},
      {"ping with 16-bit length", ServerFrame(0x89, std::string(126, 'p')),
       {"error Control frames are only allowed to have payload up to and including 125 octets"}},
      {"continuation without message", ServerFrame(0x80, "x"),
       {"error Unfragmented message after continuation frame with FIN"}},
      {"continuation after a finished message", ServerFrame(0x81, "a") + ServerFrame(0x80, "b"),
       {"text a", "error Unfragmented message after continuation frame with FIN"}},
      {"text inside a fragmented message", ServerFrame(0x01, "a") + ServerFrame(0x81, "b"),
       {"error OpCode error, received opText after Continuation not finished"}},
      {"binary inside a fragmented message", ServerFrame(0x01, "a") + ServerFrame(0x82, "b"),
       {"error OpCode error, received opBinary after Continuation not finished"}},
      {"length of 2^31", Bytes({0x82, 0x7F, 0, 0, 0, 0, 0x80, 0, 0, 0}),
       {"error Payload length exceeds 2147483647 bytes"}},
  };
  for (const StreamCase& c : cases) EXPECT_EQ(ReadStream(c.stream), c.events) << c.name;
}

TEST(FrameReader, AcceptsOnlyTheListedCloseCodes) {
  const std::pair<std::uint16_t, bool> cases[] = {
      {0, false},    {999, false},  {1000, true},  {1003, true},  {1004, false}, {1005, false},
      {1006, false}, {1007, true},  {1011, true},  {1012, false}, {2999, false}, {3000, true},
      {4999, true},  {5000, false}, {65535, false},
  };
  for (const auto& [status, accepted] : cases) {
    const std::vector<std::string> expected = {accepted ? "close " + std::to_string(status) + " "
                                                        : std::string("error Invalid close code")};
    EXPECT_EQ(ReadStream(Close(status)), expected) << status;
  }
}

TEST(FrameReader, ResumesAFrameCutAtAnyByte) {
  const MaskingKey key = {1, 0x80, 0xFE, 7};
  const std::string stream = ServerFrame(0x01, "frag-") + ServerFrame(0x89, "ping", key) +
                             ServerFrame(0x80, std::string(300, 'z'), key) + ServerFrame(0x8A, "") +
                             ServerFrame(0x82, std::string(70000, 'b')) + Close(1001, "end");
  const std::vector<std::string> expected = {"ping ping", "text frag-" + std::string(300, 'z'),
                                             "binary " + std::string(70000, 'b'), "close 1001 end"};
  ASSERT_EQ(ReadStream(stream), expected);
  EXPECT_EQ(ReadStream(stream, 1), expected);
  // Two pieces, cut everywhere in the frames before the big one.
  for (std::size_t cut = 1; cut < 340; ++cut) {
    const std::string_view whole = stream;
    EXPECT_EQ(ReadPieces({whole.substr(0, cut), whole.substr(cut)}), expected) << "cut at " << cut;
  }
}

TEST(FrameReader, StopsAtEachFrameEnd) {
  FrameReader reader;
  const std::string stream = ServerFrame(0x81, "a") + ServerFrame(0x81, "b");
  const FrameReader::Step first = reader.Next(stream);
  EXPECT_TRUE(first.frameComplete);
  EXPECT_EQ(first.consumed, 3u);
  const FrameReader::Step second = reader.Next(std::string_view(stream).substr(first.consumed));
  EXPECT_EQ(EncodeUtf8(second.event.text), "b");
}

}  // namespace
}  // namespace pelliport::websocket
