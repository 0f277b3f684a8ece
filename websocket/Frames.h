// WebSocket frames: the frames this client writes (masked text and pong) and
// the reader of the server's frames, a state machine over whatever bytes
// have arrived. Functions over bytes; the connection does the I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelliport::websocket {

enum class Opcode : std::uint8_t {
  Continuation = 0x0,
  Text = 0x1,
  Binary = 0x2,
  Close = 0x8,
  Ping = 0x9,
  Pong = 0xA,
};

using MaskingKey = std::array<std::uint8_t, 4>;

// One whole frame (FIN set, no RSV bits), masked with the key: header,
// masking key and masked payload in one piece.
std::string EncodeMaskedFrame(Opcode opcode, std::string_view payload, const MaskingKey& key);

// What a completed frame means for the connection.
struct FrameEvent {
  enum class Kind {
    None,    // nothing to do (a fragment was collected, or a pong arrived)
    Text,    // a complete text message: `text`
    Binary,  // a complete binary message: `bytes`
    Ping,    // answer with a pong carrying `bytes`
    Close,   // the server closed normally; `closeStatus` and `text` (reason) when it sent them
    Error,   // a protocol error: `text`; the connection ends
  };
  Kind kind = Kind::None;
  std::u16string text;
  std::string bytes;
  std::uint16_t closeStatus = 0;
};

class FrameReader {
 public:
  struct Step {
    std::size_t consumed = 0;     // bytes taken from the input
    bool frameComplete = false;   // a frame ended with these bytes
    FrameEvent event;             // what it meant (only when frameComplete)
  };

  // Reads from `bytes` until one frame is complete or the bytes run out; a
  // frame cut short is resumed by the next call. After a close or an error
  // the reader takes no more bytes.
  Step Next(std::string_view bytes);

 private:
  enum class Position { FirstByte, SecondByte, ExtendedLength, Key, Payload };

  Step Complete(std::size_t consumed);
  Step Fail(std::size_t consumed, std::u16string text);
  Step CloseStep(std::size_t consumed);

  Position position_ = Position::FirstByte;
  bool ended_ = false;

  // The frame being read.
  Opcode opcode_ = Opcode::Continuation;
  bool fin_ = false;
  bool masked_ = false;
  std::size_t lengthBytesLeft_ = 0;
  std::uint64_t length_ = 0;
  MaskingKey key_ {};
  std::size_t keyBytes_ = 0;
  std::string payload_;

  // The data message being collected, kept apart from control frames so that
  // these may arrive between its fragments.
  Opcode messageOpcode_ = Opcode::Continuation;
  bool messageInProgress_ = false;
  std::string message_;
};

}  // namespace pelliport::websocket
