// libjpeg as both builds link it: the header of a JPEG stream in memory is
// read, and the library's error exit can leave it by an exception.
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pelliport {
namespace {

struct JpegFailure {
  int code;
};

[[noreturn]] void ThrowFailure(j_common_ptr info) { throw JpegFailure{info->err->msg_code}; }

// A small RGB image, compressed in memory.
std::vector<unsigned char> MakeJpeg(int width, int height) {
  jpeg_compress_struct compressor {};
  jpeg_error_mgr errors {};
  compressor.err = jpeg_std_error(&errors);
  errors.error_exit = ThrowFailure;
  jpeg_create_compress(&compressor);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  compressor.image_width = static_cast<JDIMENSION>(width);
  compressor.image_height = static_cast<JDIMENSION>(height);
  compressor.input_components = 3;
  compressor.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compressor);
  jpeg_start_compress(&compressor, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 0x80);
  while (compressor.next_scanline < compressor.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&compressor, rows, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::vector<unsigned char> jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

struct Header {
  JDIMENSION width = 0;
  JDIMENSION height = 0;
  int components = 0;
};

// Reads the header only, requiring an image; a failure leaves as JpegFailure.
Header ReadHeader(const std::vector<unsigned char>& bytes) {
  jpeg_decompress_struct decompressor {};
  jpeg_error_mgr errors {};
  decompressor.err = jpeg_std_error(&errors);
  errors.error_exit = ThrowFailure;
  jpeg_create_decompress(&decompressor);
  const std::unique_ptr<jpeg_decompress_struct, void (*)(j_decompress_ptr)> guard(
      &decompressor, jpeg_destroy_decompress);
  jpeg_mem_src(&decompressor, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&decompressor, TRUE);
  return {decompressor.image_width, decompressor.image_height, decompressor.num_components};
}

TEST(JpegLibrary, ApiVersion62) { EXPECT_EQ(JPEG_LIB_VERSION, 62); }

TEST(JpegLibrary, ReadsWidthAndHeightFromTheHeader) {
  const Header header = ReadHeader(MakeJpeg(7, 3));
  EXPECT_EQ(header.width, 7u);
  EXPECT_EQ(header.height, 3u);
  EXPECT_EQ(header.components, 3);
}

TEST(JpegLibrary, ErrorExitReportsTheMessageCode) {
  const std::vector<unsigned char> jpeg = MakeJpeg(4, 4);
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    int code;
  };
  const Case cases[] = {
      {"empty", {}, JERR_INPUT_EMPTY},
      {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, JERR_NO_SOI},
      {"start marker only", {0xFF, 0xD8}, JERR_NO_IMAGE},
  };
  for (const auto& c : cases) {
    try {
      ReadHeader(c.bytes);
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const JpegFailure& failure) {
      EXPECT_EQ(failure.code, c.code) << c.name;
    }
  }
}

}  // namespace
}  // namespace pelliport
