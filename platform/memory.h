// Hints to the system about large buffers.
#pragma once

#include <cstddef>

namespace pelliport {

// A large buffer, allocated and to be filled: the system may back it with
// large pages, which makes filling it much cheaper. Only a hint: the
// contents stay as they are, and small buffers are left alone.
void AdviseLargeBuffer(void* data, std::size_t size);

}  // namespace pelliport
