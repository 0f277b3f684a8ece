#include "websocket/Handshake.h"

#include "websocket/Base64.h"
#include "websocket/Sha1.h"

namespace pelliport::websocket {
namespace {

constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

std::u16string Ascii(std::string_view text) { return {text.begin(), text.end()}; }

std::u16string_view RestAfter(std::u16string_view line, std::size_t count) {
  return count < line.size() ? line.substr(count) : std::u16string_view {};
}

}  // namespace

std::string MakeHandshakeKey(RandomGenerator& random, std::uint64_t counter) {
  return Base64Encode(random.ReseededBytes<16>(counter));
}

std::string ExpectedAcceptValue(std::string_view key) {
  std::string text(key);
  text += kAcceptGuid;
  return Base64Encode(Sha1(text));
}

std::string BuildHandshakeRequest(const HandshakeRequest& request) {
  std::string path = request.path;
  if (path.empty() || path.front() != '/') path = '/' + path;
  std::string host = request.host;
  if (request.port != 80 && request.port != 443) {
    host += ':';
    host += std::to_string(request.port);
  }

  std::string out;
  const auto line = [&out](std::string_view text) {
    out += text;
    out += "\r\n";
  };
  line("GET " + path + " HTTP/1.1");
  line("Host: " + host);
  line("Upgrade: websocket");
  line("Connection: Upgrade");
  line("Sec-WebSocket-Key: " + request.key);
  line("Origin: " + (request.origin.empty() ? request.host : request.origin));
  line("Sec-WebSocket-Version: 13");
  line("");
  return out;
}

bool MatchesMask(std::u16string_view text, std::u16string_view mask) {
  // Two cursors with one backtracking point: the last "*" seen and where in
  // the text its run ends so far.
  std::size_t t = 0, m = 0;
  std::size_t starMask = std::u16string_view::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && FoldAscii(mask[m]) == FoldAscii(text[t])) {
      ++m;
      ++t;
    } else if (starMask != std::u16string_view::npos) {
      m = starMask + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

AnswerLineReader::Status AnswerLineReader::Feed(std::string_view bytes, std::size_t& consumed) {
  consumed = 0;
  while (status_ == Status::NeedMore && consumed < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[consumed++]);
    if (byte == '\n') {
      if (!current_.empty() && current_.back() == u'\r') current_.pop_back();
      if (current_.size() > kMaxAnswerLineLength) {
        error_ = u"Max line length exceeded.";
        status_ = Status::Failed;
      } else if (current_.empty()) {
        status_ = Status::Complete;
      } else {
        lines_.push_back(std::move(current_));
        current_.clear();
      }
    } else {
      current_ += byte > 127 ? u'\uFFFD' : static_cast<char16_t>(byte);
      // One more than the limit may still be a CR that the LF drops.
      if (current_.size() > kMaxAnswerLineLength + 1) {
        error_ = u"Max line length exceeded.";
        status_ = Status::Failed;
      }
    }
  }
  return status_;
}

std::u16string ExamineAnswerLines(const std::vector<std::u16string>& lines, HandshakeAnswer& answer) {
  for (const std::u16string& line : lines) {
    if (MatchesMask(line, u"HTTP/*")) {
      answer.redirect = false;
      const std::u16string_view status = RestAfter(line, 9);
      if (status.starts_with(u"30")) {
        answer.redirect = true;
      } else if (!MatchesMask(status, u"*101*")) {
        return u"Error Decoding Header: Switching Protocols [" + line + u"]";
      }
    } else if (!answer.redirect) {
      if (MatchesMask(line, u"Upgrade: *")) {
        if (!MatchesMask(line, u"* websocket")) return u"Error Decoding Header: Upgrade";
      } else if (MatchesMask(line, u"Connection: *")) {
        if (!MatchesMask(line, u"*Upgrade*")) return u"Error Decoding Header: Upgrade";
      } else if (MatchesMask(line, u"Sec-WebSocket-Accept: *")) {
        answer.accept = RestAfter(line, 22);
      } else if (MatchesMask(line, u"Sec-WebSocket-Protocol: *")) {
        answer.protocol = RestAfter(line, 24);
      } else if (MatchesMask(line, u"Sec-WebSocket-Extensions: *")) {
        answer.extensions = RestAfter(line, 26);
      }
    } else if (MatchesMask(line, u"Location: *")) {
      answer.location = RestAfter(line, 10);
      break;
    }
  }
  return {};
}

std::u16string CheckAnswer(const HandshakeAnswer& answer, std::string_view key,
                           std::u16string_view offeredProtocols) {
  // A redirect is not followed: it carries no accept value, so it fails here.
  if (answer.accept != Ascii(ExpectedAcceptValue(key))) return u"Handshake Error: Invalid Accept Key";
  if (!offeredProtocols.empty() || !answer.protocol.empty()) {
    bool offered = false;
    std::u16string_view rest = offeredProtocols;
    while (!offered && !rest.empty()) {
      const std::size_t comma = rest.find(u',');
      offered = rest.substr(0, comma) == answer.protocol;
      rest = comma == std::u16string_view::npos ? std::u16string_view {} : rest.substr(comma + 1);
    }
    if (!offered) return u"Protocol not supported " + answer.protocol + u".";
  }
  return {};
}

std::u16string EvaluateAnswer(const std::vector<std::u16string>& lines, std::string_view key,
                              std::u16string_view offeredProtocols) {
  HandshakeAnswer answer;
  if (std::u16string error = ExamineAnswerLines(lines, answer); !error.empty()) return error;
  return CheckAnswer(answer, key, offeredProtocols);
}

}  // namespace pelliport::websocket
