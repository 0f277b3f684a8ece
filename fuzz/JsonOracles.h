// Reference rules that the JSON readers are checked against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelliport::fuzz {

// The record subscript of a value by its path: the text after the path's
// first "[" (the whole path when it holds none), of which the part before its
// first "]" counts (nothing when there is no "]"), read as a decimal integer
// with an optional sign that fits 32 bits; nullopt when it is not one.
std::optional<std::int32_t> SubscriptOfPath(std::u16string_view path);

}  // namespace pelliport::fuzz
