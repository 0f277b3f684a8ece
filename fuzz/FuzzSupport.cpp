#include <array>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTargets.h"
#include "platform/utf.h"

namespace pelliport::fuzz {

std::span<const Target> AllTargets() {
  static constexpr std::array<Target, 14> kTargets = {{
      {"intake", FuzzIntake},
      {"json_tokenizer", FuzzJsonTokenizer},
      {"parse_json", FuzzParseJson},
      {"json_object", FuzzJsonObject},
      {"photo", FuzzPhoto},
      {"unescape", FuzzUnescape},
      {"experteer", FuzzExperteer},
      {"domain_lines", FuzzDomainLines},
      {"request_kind", FuzzRequestKind},
      {"handshake_answer", FuzzHandshakeAnswer},
      {"frame_reader", FuzzFrameReader},
      {"settings_files", FuzzSettingsFiles},
      {"whole_request", FuzzWholeRequest},
      {"policy_file", FuzzPolicyFile},
  }};
  return kTargets;
}

void Expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

std::u16string InputText(Input input) { return DecodeUtf8Lenient(InputBytes(input)); }

std::string_view InputBytes(Input input) { return AsChars(input); }

std::size_t Pieces::Next(std::size_t left) {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  std::size_t size = 1 + state_ % largest_;
  if (left > 0 && size > left) size = left;
  return size;
}

}  // namespace pelliport::fuzz
