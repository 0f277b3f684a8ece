// Hints to the system about large buffers.
#pragma once

#include <cstddef>

namespace pelliport {

// A large buffer, allocated and about to be filled whole: the system may back
// it with large pages and map its pages in one go rather than one page fault
// at a time, which makes filling it much cheaper. Only a hint: the contents
// stay as they are, and small buffers are left alone.
void PrepareLargeBuffer(void* data, std::size_t size);

}  // namespace pelliport
