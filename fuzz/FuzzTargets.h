// The fuzz targets: one function per entry point that takes untrusted bytes
// or text. libFuzzer calls them through fuzz_entry.cpp; fuzz_regression_tests
// replays the seed corpora and every kept finding through the same
// functions in the ordinary test suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pelliport::fuzz {

using Input = std::span<const std::uint8_t>;

struct Target {
  std::string_view name;  // also the name of its corpus, dictionary and regression folders
  void (*run)(Input input);
};

// Every target, in the order fuzz.sh runs them.
std::span<const Target> AllTargets();

// An oracle: when it does not hold, the process ends with the message (a
// finding for libFuzzer, a failed test in the replay).
void Expect(bool holds, const char* what);

// The input as text: its bytes decoded as UTF-8, ill-formed ones as U+FFFD.
std::u16string InputText(Input input);
std::string_view InputBytes(Input input);

// A small generator of piece sizes, steered by the input.
class Pieces {
 public:
  explicit Pieces(std::uint32_t seed, std::size_t largest) : state_(seed | 1u), largest_(largest) {}
  // The next piece size: 1 to `largest`, at most `left` (when left > 0).
  std::size_t Next(std::size_t left);

 private:
  std::uint32_t state_;
  std::size_t largest_;
};

void FuzzIntake(Input input);
void FuzzJsonTokenizer(Input input);
void FuzzParseJson(Input input);
void FuzzJsonObject(Input input);
void FuzzPhoto(Input input);
void FuzzUnescape(Input input);
void FuzzExperteer(Input input);
void FuzzDomainLines(Input input);
void FuzzRequestKind(Input input);
void FuzzHandshakeAnswer(Input input);
void FuzzFrameReader(Input input);
void FuzzSettingsFiles(Input input);
void FuzzWholeRequest(Input input);
void FuzzPolicyFile(Input input);

}  // namespace pelliport::fuzz
