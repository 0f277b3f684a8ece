// The opening handshake of a WebSocket connection, client side: the key, the
// request, and reading and checking the server's answer. Functions over
// bytes and texts; the connection feeds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "websocket/RandomGenerator.h"

namespace pelliport::websocket {

inline constexpr std::size_t kMaxAnswerLineLength = 16384;

// A fresh Sec-WebSocket-Key: 16 random bytes in base64 (24 characters).
std::string MakeHandshakeKey(RandomGenerator& random, std::uint64_t counter);

// The accept value a server must answer for the key.
std::string ExpectedAcceptValue(std::string_view key);

struct HandshakeRequest {
  std::string host;
  std::uint16_t port = 0;
  std::string path;    // "/" is put in front when missing
  std::string origin;  // empty: the host stands in
  std::string key;
};

// The request lines, each ended by CR LF, and the empty line after them.
std::string BuildHandshakeRequest(const HandshakeRequest& request);

// Wildcard mask: "*" stands for any run of characters, the mask covers the
// whole text, ASCII letters match regardless of case.
bool MatchesMask(std::u16string_view text, std::u16string_view mask);

// Collects the answer's lines up to the empty line that ends them, from
// bytes as they arrive. A line ends at LF, a CR before the LF is dropped,
// bytes above 127 become U+FFFD.
class AnswerLineReader {
 public:
  enum class Status { NeedMore, Complete, Failed };

  // Takes bytes up to and including the end of the answer; `consumed` tells
  // how many. Bytes after the answer are left for the frame reader.
  Status Feed(std::string_view bytes, std::size_t& consumed);

  const std::vector<std::u16string>& Lines() const { return lines_; }
  const std::u16string& Error() const { return error_; }

 private:
  std::vector<std::u16string> lines_;
  std::u16string current_;
  std::u16string error_;
  Status status_ = Status::NeedMore;
};

// What the answer lines said.
struct HandshakeAnswer {
  bool redirect = false;
  std::u16string accept;
  std::u16string protocol;
  std::u16string extensions;
  std::u16string location;
};

// Examines the lines in the order received. Returns the failure text, or an
// empty text when the lines passed.
std::u16string ExamineAnswerLines(const std::vector<std::u16string>& lines, HandshakeAnswer& answer);

// The accept and sub-protocol checks. `offeredProtocols` is the comma-separated
// list the client offered (empty: none). Returns the failure text, or an
// empty text when the answer is accepted.
std::u16string CheckAnswer(const HandshakeAnswer& answer, std::string_view key,
                           std::u16string_view offeredProtocols);

// Both steps: the failure text, or empty when the server's answer is accepted.
std::u16string EvaluateAnswer(const std::vector<std::u16string>& lines, std::string_view key,
                              std::u16string_view offeredProtocols = {});

}  // namespace pelliport::websocket
