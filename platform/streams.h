// The standard streams and the program itself: the request arrives on
// standard input, the error reply leaves on standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelliport {

// Where standard output leads (GetFileType of the standard-output handle).
enum class OutputKind { None, Console, PipeOrFile };

class Streams {
 public:
  virtual ~Streams() = default;
  // Reads up to into.size() bytes; returns how many arrived, 0 at the end of
  // input or when the read fails.
  virtual std::size_t ReadStdin(std::span<std::uint8_t> into) = 0;
  virtual OutputKind StdoutKind() = 0;
  virtual bool WriteStdout(std::span<const std::uint8_t> bytes) = 0;
  // For the one report of an error that escapes the main routine.
  virtual void WriteStderr(std::u16string_view text) = 0;
  // The arguments the program was started with, without the program's name.
  virtual std::vector<std::u16string> ProgramArguments() = 0;
  // The absolute path of the running program; empty when the system cannot tell.
  virtual std::u16string ProgramPath() = 0;
};

}  // namespace pelliport
