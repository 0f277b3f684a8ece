#include "platform/testing/Sockets.h"

namespace pelliport::testing {

bool PeersSeeResets() { return true; }

}  // namespace pelliport::testing
