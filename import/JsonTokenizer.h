// The host's one streaming JSON reader: hands out one token per call, in
// document order, over a UTF-16 text that it never copies. It keeps no
// recursion, so nesting depth is bounded only by memory, and each level of
// nesting costs a few bytes at most (runs of arrays at the same element index
// share one entry).
//
// Besides strict JSON it reads comments (// to the end of the line, /* */),
// and a text that ends between two tokens is no failure even with objects or
// arrays still open; a text that ends inside a token is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelliport {

enum class JsonTokenKind {
  StartObject,
  EndObject,
  StartArray,
  EndArray,
  PropertyName,
  String,
  Integer,  // no fraction or exponent, and fits 64 bits
  Float,    // a fraction or an exponent, or an integer too large for 64 bits
  Boolean,
  Null,
  Comment,
  End,      // the text ended between tokens
  Failure,  // malformed text; every later read fails too
};

struct JsonToken {
  JsonTokenKind kind = JsonTokenKind::End;
  std::int64_t integer = 0;  // Integer
  double number = 0;         // Float
  bool boolean = false;      // Boolean
};

class JsonTokenizer {
 public:
  // The text must outlive the tokenizer.
  explicit JsonTokenizer(std::u16string_view text);

  JsonToken Next();

  // The decoded characters of the current property name or string token,
  // escapes replaced, in a string of exactly that length. For a comment: its
  // text between the delimiters.
  std::u16string DecodedText() const;

  // Where the current property name or string token lies in the text: its
  // characters between the quotes, and how long they are decoded.
  struct Span {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::size_t decodedLength = 0;
  };
  Span TokenSpan() const { return {tokenOffset_, tokenLength_, tokenDecodedLength_}; }

  // The record subscript of the current token, worked out from the level
  // stack when asked, as the rule reads it on the token's path: for every
  // open container, outermost first, an object adds the name of its current
  // property (after a "." unless the path so far is empty) and an array adds
  // "[" + the index of its current element + "]" (-1 before the first); the
  // container that a token opens or closes does not count for that token.
  // The subscript is the text after the path's first "[" (the whole path
  // when it holds none), of which the part
  // before its first "]" counts (nothing when there is no "]"), as a decimal
  // integer with an optional sign that fits 32 bits; nullopt when that part
  // is not one (the empty text included).
  std::optional<std::int32_t> PathSubscript() const;

  // Why and where (code unit offset) the text failed.
  const char* FailureMessage() const { return failureMessage_; }
  std::size_t FailureOffset() const { return failureOffset_; }

 private:
  // One entry of the container stack. An object entry names its current
  // property by its place in the text; an array entry stands for `run`
  // directly nested arrays that are all at the same element index.
  struct Level {
    std::uint32_t data = 0;  // array: element index (kNoElement before the first); object: name offset
    std::uint32_t info = 0;  // kObjectBit | name length, or the array run length
  };
  enum class State : std::uint8_t {
    Value,              // top level start, after ":", after "," in an array
    ValueOrArrayEnd,    // after "["
    NameOrObjectEnd,    // after "{"
    Name,               // after "," in an object
    Colon,              // after a property name
    CommaOrEnd,         // after a value inside a container
    Done,               // after the top-level value
    Failed,
  };
  enum class Pending : std::uint8_t { None, Object, Array };

  static constexpr std::uint32_t kObjectBit = 0x80000000u;
  static constexpr std::uint32_t kNoElement = 0xFFFFFFFFu;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  JsonToken Fail(const char* message, std::size_t offset);
  JsonToken ReadValue(char16_t c);
  JsonToken ReadString(JsonTokenKind kind);
  JsonToken ReadNumber();
  JsonToken ReadLiteral(std::u16string_view word, JsonToken token);
  JsonToken ReadComment();
  JsonToken AfterValue(JsonToken token);
  JsonToken Close(bool isObject);

  void Push(Pending kind);
  void Pop();
  void CountElement();
  void SetName(std::size_t offset, std::size_t length);
  void LevelsRemoved();
  std::u16string NameOf(const Level& level) const;

  std::u16string_view text_;
  std::size_t pos_ = 0;
  State state_ = State::Value;
  Pending pending_ = Pending::None;
  std::vector<Level> levels_;

  // The current name, string or comment token.
  std::size_t tokenOffset_ = 0;
  std::size_t tokenLength_ = 0;
  std::size_t tokenDecodedLength_ = 0;

  // Where the record subscript is read (PathSubscript): the outermost level
  // whose contribution to the path holds a "[" (an array, or an object whose
  // current name holds one), and the number of outermost levels that add
  // nothing (objects whose current name is empty).
  std::size_t firstBracket_ = kNone;
  std::size_t leadingEmpty_ = 0;

  const char* failureMessage_ = nullptr;
  std::size_t failureOffset_ = 0;
};

// The text of a floating-point number: the shortest form that reads back as
// the same value, with "." as decimal separator.
std::u16string FormatJsonFloat(double value);

// The decoded characters of `span` of `text` (well-formed, as the tokenizer
// found them), in a string of exactly that length.
std::u16string DecodeString(std::u16string_view text, const JsonTokenizer::Span& span);

// Decodes the string characters of `span` (well-formed, as the tokenizer
// found them) to the front of `text`, in place: a decoded string is never
// longer, so nothing is read after it was overwritten. The text is then cut
// to the decoded string.
void DecodeStringToFront(std::u16string& text, const JsonTokenizer::Span& span);

}  // namespace pelliport
