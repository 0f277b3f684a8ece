#include "host/Intake.h"

#include <cstring>
#include <memory>

#include "import/JsonString.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {
constexpr std::size_t kReplyBufferSize = 128;
constexpr std::size_t kReadPiece = 1 << 20;
constexpr std::size_t kMaxCarried = 3;  // the most of a UTF-8 sequence that Utf8CompleteEnd leaves
}  // namespace

std::int32_t FrameLength(const std::array<std::uint8_t, 4>& header) {
  const std::uint32_t value = static_cast<std::uint32_t>(header[0]) |
                              (static_cast<std::uint32_t>(header[1]) << 8) |
                              (static_cast<std::uint32_t>(header[2]) << 16) |
                              (static_cast<std::uint32_t>(header[3]) << 24);
  return static_cast<std::int32_t>(value);
}

std::u16string ReserveText(std::size_t length) {
  std::u16string text;
  try {
    // Never more characters than bytes. Only reserved, not filled ahead: the
    // pages are taken while the bytes arrive, and an announced length that
    // never arrives costs nothing until it is padded.
    text.reserve(length);
  } catch (const std::bad_alloc&) {
    throw HostError(u"EOutOfMemory", u"Zu wenig Arbeitsspeicher");
  } catch (const std::length_error&) {
    throw HostError(u"EOutOfMemory", u"Zu wenig Arbeitsspeicher");
  }
  return text;
}

std::optional<std::u16string> ReadPayloadText(const ReadFunction& read, std::size_t length,
                                              const DecodeFunction& decode, std::u16string text) {
  // Room for one read and the start of a character that the previous read cut.
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReadPiece + kMaxCarried);
  std::size_t carried = 0;
  std::size_t missing = length;
  bool wellFormed = true;
  while (missing > 0) {
    const std::size_t got = read(std::span(buffer.get() + carried, std::min(kReadPiece, missing)));
    if (got == 0) break;  // end of input
    missing -= got;
    const std::string_view bytes = AsChars({buffer.get(), carried + got});
    const std::size_t end = Utf8CompleteEnd(bytes);
    if (wellFormed) wellFormed = decode(bytes.substr(0, end), text);
    carried = bytes.size() - end;
    std::memmove(buffer.get(), buffer.get() + end, carried);
  }
  // A character still unfinished is cut short, by the end of the payload or
  // by the zeros of what never arrived.
  if (!wellFormed || carried != 0) return std::nullopt;
  text.append(missing, u'\0');
  return text;
}

std::optional<std::u16string> ReadRequest(Platform& platform, TLogFile& log) {
  std::array<std::uint8_t, 4> header {};
  platform.streams.ReadStdin(header);  // one read; what it does not deliver stays 0
  const std::int32_t length = FrameLength(header);
  if (length < 0) throw HostError(u"ERangeError", U16("Fehler bei Bereichsprüfung"));
  std::u16string text = ReserveText(static_cast<std::size_t>(length));
  log.WriteToLogFile(u"[PelliportHost] DataLength=" + U16(std::to_string(length)));
  return ReadPayloadText([&](std::span<std::uint8_t> into) { return platform.streams.ReadStdin(into); },
                         static_cast<std::size_t>(length),
                         [&](std::string_view bytes, std::u16string& decoded) {
                           return platform.text.Utf8ToUnicode(bytes, decoded);
                         },
                         std::move(text));
}

std::u16string BuildErrorReply(std::u16string_view message) {
  std::u16string reply = u"{\"Errorcode\": \"100\", \"Errortext\": ";
  AppendJsonString(reply, message);
  reply += u", \"Detailcode\": \"0\", \"Detailtext\": \"\"}";
  return reply;
}

ReplyWriter::ReplyWriter(Platform& platform) : platform_(platform), kind_(platform.streams.StdoutKind()) {}

void ReplyWriter::Write(std::u16string_view text) {
  if (kind_ == OutputKind::None) {
    throw HostError(u"EInOutError", u"Die Standardausgabe ist nicht verf\u00fcgbar");
  }
  const unsigned codePage =
      kind_ == OutputKind::Console ? platform_.text.ConsoleOutputCodePage() : platform_.text.AnsiCodePage();
  const std::string bytes = platform_.text.FromUnicode(text, codePage);
  for (const char byte : bytes) {
    buffer_.push_back(byte);
    if (buffer_.size() == kReplyBufferSize) Flush();
  }
  if (kind_ == OutputKind::Console) Flush();
}

void ReplyWriter::Flush() {
  const bool written = platform_.streams.WriteStdout(AsBytes(buffer_));
  buffer_.clear();
  if (!written) throw HostError(u"EInOutError", u"Die Standardausgabe kann nicht geschrieben werden");
}

void ReplyWriter::Finish() {
  if (buffer_.empty() || kind_ == OutputKind::None) return;
  platform_.streams.WriteStdout(AsBytes(buffer_));
  buffer_.clear();
}

}  // namespace pelliport
