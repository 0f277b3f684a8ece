#include "platform/testing/HostProcess.h"

namespace pelliport::testing {

// The forms without arguments; each system's file runs the program.
ProcessResult RunProcess(const std::filesystem::path& program, const std::string& stdinBytes,
                         const Environment& environment, std::chrono::seconds timeout) {
  return RunProcess(program, std::vector<std::string>{}, stdinBytes, environment, timeout);
}

ProcessResult RunProcess(const std::filesystem::path& program, const std::string& stdinBytes,
                         const Environment& environment, std::chrono::seconds timeout, BrokenOutputs broken) {
  return RunProcess(program, std::vector<std::string>{}, stdinBytes, environment, timeout, broken);
}

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
