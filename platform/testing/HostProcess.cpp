#include "platform/testing/HostProcess.h"

namespace pelliport::testing {

std::string Frame(const std::string& payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  std::string frame = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
  return frame + payload;
}

}  // namespace pelliport::testing
