// The libFuzzer entry of one target; CMake names the target's function.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelliport::fuzz::PELLIPORT_FUZZ_FUNCTION({data, size});
  return 0;
}
