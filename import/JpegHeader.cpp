#include "import/JpegHeader.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <limits>

#include <jerror.h>
#include <jpeglib.h>

namespace pelliport {
namespace {

// libjpeg is C: its error exit must not return, and no C++ exception may
// pass through its frames. The error exit therefore jumps back into
// ReadHeaderOrJump, a C-style function that holds no C++ objects with
// destructors. All state lives in the caller's frame, so nothing the jump
// skips over needs to be volatile.
struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer to it is ours too
  std::jmp_buf jump;
};

struct Session {
  jpeg_decompress_struct decompressor;
  ErrorManager errors;
  bool failed;
};

extern "C" {

static void JumpOnError(j_common_ptr common) {
  ErrorManager* errors = reinterpret_cast<ErrorManager*>(common->err);
  std::longjmp(errors->jump, 1);
}

static void IgnoreMessage(j_common_ptr) {}
static void IgnoreEmit(j_common_ptr, int) {}

}  // extern "C"

void ReadHeaderOrJump(Session* session, const unsigned char* data, unsigned long size) {
  jpeg_decompress_struct* decompressor = &session->decompressor;
  decompressor->err = jpeg_std_error(&session->errors.pub);
  session->errors.pub.error_exit = JumpOnError;
  session->errors.pub.output_message = IgnoreMessage;
  session->errors.pub.emit_message = IgnoreEmit;
  if (setjmp(session->errors.jump) != 0) {
    session->failed = true;
    return;
  }
  jpeg_create_decompress(decompressor);
  jpeg_mem_src(decompressor, data, size);
  jpeg_read_header(decompressor, TRUE);
}

}  // namespace

JpegHeaderCheck ReadJpegHeader(std::span<const std::uint8_t> bytes) {
  // Zeroed, so that destroying works even when creating failed half-way.
  Session session {};
  // The header lies at the start; a stream longer than libjpeg can address
  // is cut, which does not change the header.
  const unsigned long size =
      bytes.size() > std::numeric_limits<unsigned long>::max()
          ? std::numeric_limits<unsigned long>::max()
          : static_cast<unsigned long>(bytes.size());
  ReadHeaderOrJump(&session, bytes.data(), size);

  JpegHeaderCheck result;
  if (session.failed) {
    result.messageCode = session.errors.pub.msg_code;
  } else {
    result.ok = true;
    result.width = session.decompressor.image_width;
    result.height = session.decompressor.image_height;
  }
  jpeg_destroy_decompress(&session.decompressor);
  return result;
}

}  // namespace pelliport
