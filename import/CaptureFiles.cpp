// The files a request leaves for the desktop application: list files, the
// captured page and the profile photo.
#include <string>

#include "import/Base64Decode.h"
#include "import/JpegHeader.h"
#include "import/UOrvantaImport.h"
#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

constexpr unsigned kUtf8CodePage = 65001;

std::u16string Decimal(long long value) { return U16(std::to_string(value)); }

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Creates the file, or empties an existing one, and writes the bytes after
// the head (kept apart so that a large text is not copied to put a
// signature in front of it).
void WriteNewFile(Platform& platform, std::u16string_view path, std::span<const std::uint8_t> bytes,
                  std::span<const std::uint8_t> head = {}) {
  const OpenResult opened = platform.OpenFile(path, OpenMode::CreateAlways);
  if (!opened.file) {
    throw HostError(u"EFCreateError",
                    u"Datei \"" + std::u16string(path) + u"\" kann nicht erstellt werden. " +
                        opened.errorText);
  }
  // A short write would leave a file that the desktop application reads as
  // complete; it is a failure like any other.
  if ((!head.empty() && !opened.file->Append(head)) || (!bytes.empty() && !opened.file->Append(bytes))) {
    throw HostError(u"EWriteError", u"Stream-Schreibfehler");
  }
}

// Text files are in the ANSI code page; only the UTF-8 code page puts a
// signature in front.
void WriteTextFile(Platform& platform, std::u16string_view path, std::u16string_view text) {
  const unsigned codePage = platform.AnsiCodePage();
  const std::string_view signature = codePage == kUtf8CodePage ? "\xEF\xBB\xBF" : "";
  const std::string bytes = platform.FromUnicode(text, codePage);
  WriteNewFile(platform, path, AsBytes(bytes), AsBytes(signature));
}

}  // namespace

std::u16string TOrvantaImport::SaveListFile(const std::vector<std::u16string>& entries) {
  const std::u16string name = GetUniqueTempName(platform_.TempFolder());
  std::u16string text;
  for (const auto& entry : entries) {
    text += entry;
    text += u"\r\n";
  }
  // Written over the name's reservation.
  WriteTextFile(platform_, name, text);
  return platform_.FileExists(name) ? name : std::u16string();
}

void TOrvantaImport::SaveHTMLFile(std::u16string_view text, std::u16string_view path) {
  WriteTextFile(platform_, path, text);
}

void TOrvantaImport::SavePicture(std::u16string_view base64, std::u16string_view path) {
  const std::vector<std::uint8_t> bytes = DecodeBase64(base64);
  try {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!bytes.empty()) {
      const JpegHeaderCheck header = ReadJpegHeader(bytes);
      if (!header.ok) {
        // What is not a JPEG image leaves no file: the empty file that
        // reserved the name goes, anything with content stays untouched.
        if (platform_.FileExists(path) && platform_.FindFileSize(path) == std::optional<std::uint64_t>(0)) {
          platform_.DeleteFile(path);
        }
        throw HostError(u"EJPEG", u"JPEG-Fehler #" + Decimal(header.messageCode));
      }
      width = header.width;
      height = header.height;
    }
    WriteNewFile(platform_, path, bytes);
    Log(u"[SavePicture] " + Decimal(height) + u" x " + Decimal(width) + u" Pixel, " + std::u16string(path));
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[SavePicture]", failure.kind, failure.message);
  }
}

}  // namespace pelliport
