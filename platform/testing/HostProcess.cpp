#include "platform/testing/HostProcess.h"

namespace pelliport::testing {

std::string Frame(const std::string& payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  std::string frame = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
  return frame + payload;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

}  // namespace pelliport::testing
