// What the machine's sockets can show a test.
#pragma once

namespace pelliport::testing {

// Whether a reset (a close with linger 0) reaches the peer as a reset. Linux
// and Windows reset; Wine closes the socket with a plain end of the stream
// whatever the linger option says, so tests of a reset are not run there.
bool PeersSeeResets();

}  // namespace pelliport::testing
