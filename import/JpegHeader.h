// The JPEG check of the profile photo: libjpeg reads the header of a JPEG
// stream held in memory, up to its first scan, and nothing more.
#pragma once

#include <cstdint>
#include <span>

namespace pelliport {

struct JpegHeaderCheck {
  bool ok = false;
  std::uint32_t width = 0;   // valid when ok
  std::uint32_t height = 0;  // valid when ok
  int messageCode = 0;       // libjpeg's message code of the failure, when not ok
};

// Reads the header with an image required. Data that does not start a JPEG
// stream, or that ends or turns out to hold tables only before the first
// scan, fails with libjpeg's message code. Warnings are ignored.
JpegHeaderCheck ReadJpegHeader(std::span<const std::uint8_t> bytes);

}  // namespace pelliport
