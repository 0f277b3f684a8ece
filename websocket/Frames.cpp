#include "websocket/Frames.h"

#include <algorithm>

#include "platform/utf.h"

namespace pelliport::websocket {
namespace {

// The largest payload the reader takes: it counts in a signed 32-bit number.
constexpr std::uint64_t kMaxPayloadLength = 0x7FFFFFFF;

bool IsControl(Opcode opcode) { return (static_cast<std::uint8_t>(opcode) & 0x8) != 0; }

bool IsKnown(std::uint8_t opcode) {
  return opcode <= 0x2 || (opcode >= 0x8 && opcode <= 0xA);
}

bool IsAcceptedCloseStatus(std::uint16_t status) {
  return (status >= 1000 && status <= 1003) || (status >= 1007 && status <= 1011) ||
         (status >= 3000 && status <= 4999);
}

}  // namespace

std::string EncodeMaskedFrame(Opcode opcode, std::string_view payload, const MaskingKey& key) {
  const std::uint64_t n = payload.size();
  std::string frame;
  frame.reserve(payload.size() + 14);
  frame += static_cast<char>(0x80 | static_cast<std::uint8_t>(opcode));
  if (n <= 125) {
    frame += static_cast<char>(0x80 | n);
  } else if (n <= 0xFFFF) {
    frame += static_cast<char>(0xFE);
    frame += static_cast<char>(n >> 8);
    frame += static_cast<char>(n & 0xFF);
  } else {
    frame += static_cast<char>(0xFF);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((n >> shift) & 0xFF);
  }
  for (std::uint8_t byte : key) frame += static_cast<char>(byte);
  const std::size_t start = frame.size();
  frame.append(payload);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    frame[start + i] = static_cast<char>(static_cast<std::uint8_t>(frame[start + i]) ^ key[i % 4]);
  }
  return frame;
}

FrameReader::Step FrameReader::Fail(std::size_t consumed, std::u16string text) {
  ended_ = true;
  Step step {consumed, true, {}};
  step.event.kind = FrameEvent::Kind::Error;
  step.event.text = std::move(text);
  return step;
}

FrameReader::Step FrameReader::Next(std::string_view bytes) {
  std::size_t used = 0;
  while (!ended_ && used < bytes.size()) {
    const auto byte = static_cast<std::uint8_t>(bytes[used]);
    switch (position_) {
      case Position::FirstByte: {
        ++used;
        const std::uint8_t code = byte & 0x0F;
        fin_ = (byte & 0x80) != 0;
        const bool rsv = (byte & 0x70) != 0;
        if (!IsKnown(code)) return Fail(used, u"Invalid Control OptCode");
        opcode_ = static_cast<Opcode>(code);
        if (opcode_ == Opcode::Continuation && !messageInProgress_) {
          return Fail(used, u"Unfragmented message after continuation frame with FIN");
        }
        if (opcode_ == Opcode::Text && messageInProgress_) {
          return Fail(used, u"OpCode error, received opText after Continuation not finished");
        }
        if (opcode_ == Opcode::Binary && messageInProgress_) {
          return Fail(used, u"OpCode error, received opBinary after Continuation not finished");
        }
        if (rsv && opcode_ != Opcode::Continuation) {
          return Fail(used, u"Invalid value of RSV while no Extension Negotiated");
        }
        if (IsControl(opcode_) && !fin_) return Fail(used, u"Control Message must not be fragmented");
        payload_.clear();
        length_ = 0;
        keyBytes_ = 0;
        position_ = Position::SecondByte;
        break;
      }
      case Position::SecondByte: {
        ++used;
        masked_ = (byte & 0x80) != 0;
        const std::uint8_t length = byte & 0x7F;
        if (IsControl(opcode_) && length > 125) {
          return Fail(used, u"Control frames are only allowed to have payload up to and including 125 octets");
        }
        if (length >= 126) {
          lengthBytesLeft_ = length == 126 ? 2 : 8;
          position_ = Position::ExtendedLength;
        } else {
          length_ = length;
          position_ = masked_ ? Position::Key : Position::Payload;
          if (!masked_ && length_ == 0) return Complete(used);
        }
        break;
      }
      case Position::ExtendedLength: {
        ++used;
        length_ = (length_ << 8) | byte;
        if (--lengthBytesLeft_ == 0) {
          if (length_ > kMaxPayloadLength) return Fail(used, u"Payload length exceeds 2147483647 bytes");
          position_ = masked_ ? Position::Key : Position::Payload;
          if (!masked_ && length_ == 0) return Complete(used);
        }
        break;
      }
      case Position::Key: {
        ++used;
        key_[keyBytes_++] = byte;
        if (keyBytes_ == key_.size()) {
          position_ = Position::Payload;
          if (length_ == 0) return Complete(used);
        }
        break;
      }
      case Position::Payload: {
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(bytes.size() - used, length_ - payload_.size()));
        payload_.append(bytes.substr(used, take));
        used += take;
        if (payload_.size() == length_) return Complete(used);
        break;
      }
    }
  }
  return {used, false, {}};
}

FrameReader::Step FrameReader::Complete(std::size_t consumed) {
  position_ = Position::FirstByte;
  if (masked_) {
    for (std::size_t i = 0; i < payload_.size(); ++i) {
      payload_[i] = static_cast<char>(static_cast<std::uint8_t>(payload_[i]) ^ key_[i % 4]);
    }
  }
  Step step {consumed, true, {}};
  FrameEvent& event = step.event;
  switch (opcode_) {
    case Opcode::Continuation:
    case Opcode::Text:
    case Opcode::Binary: {
      if (opcode_ != Opcode::Continuation) messageOpcode_ = opcode_;
      message_ += payload_;
      payload_.clear();
      messageInProgress_ = !fin_;
      if (messageInProgress_) break;
      if (messageOpcode_ == Opcode::Text) {
        // Text is not checked as UTF-8: ill-formed bytes become U+FFFD, and
        // the connection goes on whatever the server sends.
        event.text = DecodeUtf8Lenient(message_);
        event.kind = FrameEvent::Kind::Text;
      } else {
        event.kind = FrameEvent::Kind::Binary;
        event.bytes = message_;
      }
      message_.clear();
      break;
    }
    case Opcode::Close:
      return CloseStep(consumed);
    case Opcode::Ping:
      event.kind = FrameEvent::Kind::Ping;
      event.bytes = std::move(payload_);
      payload_.clear();
      break;
    case Opcode::Pong:
      break;
  }
  return step;
}

FrameReader::Step FrameReader::CloseStep(std::size_t consumed) {
  if (payload_.size() == 1) return Fail(consumed, u"Invalid Payload length for close code");
  ended_ = true;
  Step step {consumed, true, {}};
  step.event.kind = FrameEvent::Kind::Close;
  if (payload_.size() >= 2) {
    step.event.closeStatus = static_cast<std::uint16_t>((static_cast<std::uint8_t>(payload_[0]) << 8) |
                                                        static_cast<std::uint8_t>(payload_[1]));
    if (payload_.size() == 2 && !IsAcceptedCloseStatus(step.event.closeStatus)) {
      return Fail(consumed, u"Invalid close code");
    }
    step.event.text = DecodeUtf8Lenient(std::string_view(payload_).substr(2));
  }
  return step;
}

}  // namespace pelliport::websocket
