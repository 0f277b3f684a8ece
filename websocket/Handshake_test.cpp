#include "websocket/Handshake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/utf.h"
#include "websocket/Base64.h"

namespace pelliport::websocket {
namespace {

TEST(HandshakeRequest, HasExactlyTheRequestLines) {
  const std::string key = "dGhlIHNhbXBsZSBub25jZQ==";
  EXPECT_EQ(BuildHandshakeRequest({"127.0.0.1", 5414, "", "", key}),
            "GET / HTTP/1.1\r\n"
            "Host: 127.0.0.1:5414\r\n"
            "Upgrade: websocket\r\n"
            "Connection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Origin: 127.0.0.1\r\n"
            "Sec-WebSocket-Version: 13\r\n"
            "\r\n");
}

TEST(HandshakeRequest, HostLineOmitsOnlyTheWebPorts) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {80, "Host: 127.0.0.1\r\n"},
      {443, "Host: 127.0.0.1\r\n"},
      {5414, "Host: 127.0.0.1:5414\r\n"},
      {4464, "Host: 127.0.0.1:4464\r\n"},
      {8080, "Host: 127.0.0.1:8080\r\n"},
  };
  for (const auto& [port, line] : cases) {
    EXPECT_NE(BuildHandshakeRequest({"127.0.0.1", port, "/", "", "k"}).find(line), std::string::npos) << port;
  }
}

TEST(HandshakeRequest, PathGetsLeadingSlashAndOriginReplacesHost) {
  const std::string request = BuildHandshakeRequest({"127.0.0.1", 5414, "notify", "http://a", "k"});
  EXPECT_TRUE(request.starts_with("GET /notify HTTP/1.1\r\n"));
  EXPECT_NE(request.find("\r\nOrigin: http://a\r\n"), std::string::npos);
}

TEST(HandshakeKey, IsTheBase64OfSixteenReseededBytes) {
  RandomGenerator random(42), twin(42);
  for (std::uint64_t counter : {0ull, 1ull, 0xFFFFFFFFFFFFFFFFull, 123456789012ull}) {
    const std::string key = MakeHandshakeKey(random, counter);
    const auto bytes = twin.ReseededBytes<16>(counter);
    EXPECT_EQ(key, Base64Encode(bytes));
    EXPECT_EQ(key.size(), 24u);
    EXPECT_TRUE(key.ends_with("=="));
    for (std::uint8_t byte : bytes) EXPECT_NE(byte, 255);
  }
}

TEST(WildcardMask, MatchesWholeTextWithStarsAndIgnoresAsciiCase) {
  struct Case {
    const char16_t* text;
    const char16_t* mask;
    bool matches;
  };
  const Case cases[] = {
      {u"HTTP/1.1 101 Switching Protocols", u"HTTP/*", true},
      {u"http/1.1 101", u"HTTP/*", true},
      {u" HTTP/1.1 101", u"HTTP/*", false},
      {u"HTTP/", u"HTTP/*", true},
      {u"101 Switching", u"*101*", true},
      {u"1010", u"*101*", true},
      {u"200 OK", u"*101*", false},
      {u"Upgrade: websocket", u"* websocket", true},
      {u"Upgrade: WebSocket", u"* websocket", true},
      {u"Upgrade:websocket", u"* websocket", false},
      {u"Upgrade: websocket2", u"* websocket", false},
      {u"Upgrade: websocket websocket", u"* websocket", true},
      {u"abc", u"a*b*c", true},
      {u"aXbYbZc", u"a*b*c", true},
      {u"acb", u"a*b*c", false},
      {u"", u"*", true},
      {u"", u"", true},
      {u"x", u"", false},
      {u"\u00e4", u"\u00c4", false},  // only ASCII letters fold
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches)
        << EncodeUtf8(c.text) << " against " << EncodeUtf8(c.mask);
  }
}

std::vector<std::u16string> Lines(std::initializer_list<const char16_t*> lines) {
  return {lines.begin(), lines.end()};
}

TEST(AnswerLineReader, ReadsLinesUpToTheEmptyLineInAnyPieces) {
  const std::string answer = "HTTP/1.1 101 OK\r\nUpgrade: websocket\nX: \xC3\xBC\r\n\r\nFRAME";
  const auto expected = Lines({u"HTTP/1.1 101 OK", u"Upgrade: websocket", u"X: \uFFFD\uFFFD"});
  for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
    AnswerLineReader reader;
    std::size_t first = 0, second = 0;
    const auto status1 = reader.Feed(std::string_view(answer).substr(0, cut), first);
    auto status = status1;
    if (status1 == AnswerLineReader::Status::NeedMore) {
      status = reader.Feed(std::string_view(answer).substr(cut), second);
    }
    ASSERT_EQ(status, AnswerLineReader::Status::Complete) << cut;
    EXPECT_EQ(reader.Lines(), expected) << cut;
    EXPECT_EQ(first + second, answer.size() - 5) << "the frame bytes stay, cut " << cut;
  }
}

TEST(AnswerLineReader, LimitsLinesTo16384Characters) {
  struct Case {
    std::string line;
    bool fails;
  };
  const Case cases[] = {
      {std::string(16384, 'x') + "\n", false},
      {std::string(16384, 'x') + "\r\n", false},
      {std::string(16385, 'x') + "\n", true},
      {std::string(16385, 'x') + "\r\n", true},
      {std::string(16386, 'x'), true},  // fails before the line ends
  };
  for (const Case& c : cases) {
    AnswerLineReader reader;
    std::size_t consumed = 0;
    const auto status = reader.Feed(c.line, consumed);
    if (c.fails) {
      EXPECT_EQ(status, AnswerLineReader::Status::Failed) << c.line.size();
      EXPECT_EQ(reader.Error(), u"Max line length exceeded.");
    } else {
      EXPECT_EQ(status, AnswerLineReader::Status::NeedMore) << c.line.size();
      ASSERT_EQ(reader.Lines().size(), 1u);
      EXPECT_EQ(reader.Lines()[0].size(), 16384u);
    }
  }
}

// The key of RFC 6455's example, and its accept value.
constexpr char kKey[] = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr char16_t kAcceptLine[] = u"Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

TEST(HandshakeAnswer, IsAcceptedOrFailsWithItsText) {
  struct Case {
    const char* name;
    std::vector<std::u16string> lines;
    std::u16string error;  // empty: accepted
  };
  const std::u16string status = u"HTTP/1.1 101 Switching Protocols";
  const Case cases[] = {
      {"usual answer", {status, u"Upgrade: websocket", u"Connection: Upgrade", kAcceptLine}, u""},
      {"lower-case names and Connection value",
       {u"http/1.1 101 switching protocols", u"upgrade: websocket", u"connection: upgrade",
        u"sec-websocket-accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
       u""},
      {"no Upgrade or Connection line", {status, kAcceptLine}, u""},
      {"Upgrade line without blank is ignored", {status, u"Upgrade:nonsense", kAcceptLine}, u""},
      {"extension named", {status, kAcceptLine, u"Sec-WebSocket-Extensions: permessage-deflate"}, u""},
      {"empty sub-protocol value", {status, kAcceptLine, u"Sec-WebSocket-Protocol: "}, u""},
      {"Connection with more tokens", {status, u"Connection: keep-alive, Upgrade", kAcceptLine}, u""},
      {"404", {u"HTTP/1.1 404 Not Found", u"Content-Length: 0"},
       u"Error Decoding Header: Switching Protocols [HTTP/1.1 404 Not Found]"},
      {"200", {u"HTTP/1.1 200 OK"}, u"Error Decoding Header: Switching Protocols [HTTP/1.1 200 OK]"},
      {"short status line", {u"HTTP/1.1"}, u"Error Decoding Header: Switching Protocols [HTTP/1.1]"},
      {"wrong Upgrade", {status, u"Upgrade: h2c", kAcceptLine}, u"Error Decoding Header: Upgrade"},
      {"wrong Connection", {status, u"Connection: close", kAcceptLine}, u"Error Decoding Header: Upgrade"},
      {"no accept line", {status, u"Upgrade: websocket"}, u"Handshake Error: Invalid Accept Key"},
      {"accept differs in case",
       {status, u"Sec-WebSocket-Accept: S3pPLMBiTxaQ9kYGzzhZRbK+xOo="},
       u"Handshake Error: Invalid Accept Key"},
      {"accept with trailing blank",
       {status, u"Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo= "},
       u"Handshake Error: Invalid Accept Key"},
      {"sub-protocol named", {status, kAcceptLine, u"Sec-WebSocket-Protocol: chat"},
       u"Protocol not supported chat."},
      {"redirect with location",
       {u"HTTP/1.1 301 Moved", u"Location: ws://127.0.0.1:1/", kAcceptLine},
       u"Handshake Error: Invalid Accept Key"},
      {"redirect without location", {u"HTTP/1.1 302 Found", kAcceptLine},
       u"Handshake Error: Invalid Accept Key"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeUtf8(EvaluateAnswer(c.lines, kKey)), EncodeUtf8(c.error)) << c.name;
  }
}

TEST(HandshakeAnswer, RecordsTheValuesAsTheyStand) {
  HandshakeAnswer answer;
  EXPECT_EQ(ExamineAnswerLines(Lines({u"HTTP/1.1 101 x", u"Sec-WebSocket-Extensions:  a; b ",
                                      u"Sec-WebSocket-Protocol: p"}),
                               answer),
            u"");
  EXPECT_FALSE(answer.redirect);
  EXPECT_EQ(answer.extensions, u" a; b ");
  EXPECT_EQ(answer.protocol, u"p");

  HandshakeAnswer redirect;
  EXPECT_EQ(ExamineAnswerLines(Lines({u"HTTP/1.1 307 x", u"Location: ws://h/", u"Location: second"}), redirect),
            u"");
  EXPECT_TRUE(redirect.redirect);
  EXPECT_EQ(redirect.location, u"ws://h/");
}

TEST(HandshakeAnswer, ProtocolMustBeOneOfTheOfferedNames) {
  HandshakeAnswer answer;
  answer.accept = u"s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";
  answer.protocol = u"b";
  EXPECT_EQ(CheckAnswer(answer, kKey, u"a,b"), u"");
  EXPECT_EQ(CheckAnswer(answer, kKey, u"a,c"), u"Protocol not supported b.");
}

}  // namespace
}  // namespace pelliport::websocket
