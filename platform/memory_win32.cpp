#include "platform/memory.h"

namespace pelliport {

// Windows maps large pages only for processes with the "lock pages in memory"
// privilege, which a browser's host does not have.
void AdviseLargeBuffer(void* data, std::size_t size) {
  static_cast<void>(data);
  static_cast<void>(size);
}

}  // namespace pelliport
