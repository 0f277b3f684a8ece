// Base64 encoding (RFC 4648, standard alphabet, padded with "="), for the
// handshake key and its accept value.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelliport::websocket {

std::string Base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace pelliport::websocket
