#include "host/Intake.h"

#include "platform/error.h"
#include "platform/memory.h"
#include "platform/utf.h"

namespace pelliport {
namespace {
constexpr std::size_t kReplyBufferSize = 128;
constexpr std::size_t kReadPiece = 1 << 20;
}  // namespace

std::int32_t FrameLength(const std::array<std::uint8_t, 4>& header) {
  const std::uint32_t value = static_cast<std::uint32_t>(header[0]) |
                              (static_cast<std::uint32_t>(header[1]) << 8) |
                              (static_cast<std::uint32_t>(header[2]) << 16) |
                              (static_cast<std::uint32_t>(header[3]) << 24);
  return static_cast<std::int32_t>(value);
}

void ReadPayload(const ReadFunction& read, std::span<std::uint8_t> buffer, const ArrivalFunction& arrived) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const std::size_t piece = std::min(kReadPiece, buffer.size() - done);
    const std::size_t got = read(buffer.subspan(done, piece));
    if (got == 0) break;  // end of input: the rest stays zero
    done += got;
    if (arrived) arrived(done);
  }
}

namespace {

// Memory for a buffer of the payload's size, or the error that says why there is none.
template <typename Text>
void Allocate(Text& text, std::size_t size, bool filled) {
  try {
    text.reserve(size);
    PrepareLargeBuffer(text.data(), size * sizeof(typename Text::value_type));
    if (filled) text.resize(size);
  } catch (const std::bad_alloc&) {
    throw HostError(u"EOutOfMemory", u"Zu wenig Arbeitsspeicher");
  } catch (const std::length_error&) {
    throw HostError(u"EOutOfMemory", u"Zu wenig Arbeitsspeicher");
  }
}

}  // namespace

Request ReadRequest(Platform& platform, TLogFile& log) {
  std::array<std::uint8_t, 4> header {};
  platform.ReadStdin(header);  // one read; what it does not deliver stays 0
  const std::int32_t length = FrameLength(header);
  if (length < 0) throw HostError(u"ERangeError", U16("Fehler bei Bereichsprüfung"));
  const auto size = static_cast<std::size_t>(length);
  Request request;
  Allocate(request.payload, size, true);
  log.WriteToLogFile(u"[PelliportHost] DataLength=" + U16(std::to_string(length)));

  // The payload is decoded while it arrives, up to its last complete
  // character each time, so that decoding keeps pace with the browser's
  // writing rather than following it. Never more characters than bytes.
  std::u16string text;
  Allocate(text, size, false);
  const std::string_view payload = request.payload;
  std::size_t decoded = 0;
  bool wellFormed = true;
  const auto decodeArrived = [&](std::size_t arrived) {
    const std::string_view bytes = payload.substr(decoded, arrived - decoded);
    const std::size_t end = Utf8CompleteEnd(bytes);
    if (wellFormed && end != 0) wellFormed = platform.Utf8ToUnicode(bytes.substr(0, end), text);
    decoded += end;
  };
  ReadPayload([&](std::span<std::uint8_t> into) { return platform.ReadStdin(into); },
              std::span(reinterpret_cast<std::uint8_t*>(request.payload.data()), size), decodeArrived);
  // The rest, with the zeros of what never arrived.
  if (wellFormed) wellFormed = platform.Utf8ToUnicode(payload.substr(decoded), text);
  if (wellFormed) request.text = std::move(text);
  return request;
}

std::u16string BuildErrorReply(std::u16string_view message) {
  std::u16string reply = u"{\"Errorcode\": \"100\", \"Errortext\": \"";
  for (const char16_t c : message) {
    switch (c) {
      case u'"': reply += u"\\\""; break;
      case u'\\': reply += u"\\\\"; break;
      case u'\b': reply += u"\\b"; break;
      case u'\f': reply += u"\\f"; break;
      case u'\n': reply += u"\\n"; break;
      case u'\r': reply += u"\\r"; break;
      case u'\t': reply += u"\\t"; break;
      default:
        if (c < 0x20) {
          static constexpr char16_t kHex[] = u"0123456789abcdef";
          reply += u"\\u00";
          reply += kHex[c >> 4];
          reply += kHex[c & 0xF];
        } else {
          reply += c;
        }
    }
  }
  reply += u"\", \"Detailcode\": \"0\", \"Detailtext\": \"\"}";
  return reply;
}

ReplyWriter::ReplyWriter(Platform& platform) : platform_(platform), kind_(platform.StdoutKind()) {}

void ReplyWriter::Write(std::u16string_view text) {
  if (kind_ == OutputKind::None) {
    throw HostError(u"EInOutError", u"Die Standardausgabe ist nicht verf\u00fcgbar");
  }
  const unsigned codePage =
      kind_ == OutputKind::Console ? platform_.ConsoleOutputCodePage() : platform_.AnsiCodePage();
  const std::string bytes = platform_.FromUnicode(text, codePage);
  for (const char byte : bytes) {
    buffer_.push_back(byte);
    if (buffer_.size() == kReplyBufferSize) Flush();
  }
  if (kind_ == OutputKind::Console) Flush();
}

void ReplyWriter::Flush() {
  const bool written = platform_.WriteStdout(
      std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size()));
  buffer_.clear();
  if (!written) throw HostError(u"EInOutError", u"Die Standardausgabe kann nicht geschrieben werden");
}

void ReplyWriter::Finish() {
  if (buffer_.empty() || kind_ == OutputKind::None) return;
  platform_.WriteStdout(std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size()));
  buffer_.clear();
}

}  // namespace pelliport
