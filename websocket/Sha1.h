// SHA-1 (FIPS 180-4), for the accept value of the opening handshake.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pelliport::websocket {

using Sha1Digest = std::array<std::uint8_t, 20>;

Sha1Digest Sha1(std::string_view bytes);

}  // namespace pelliport::websocket
