// The files a request leaves for the desktop application: list files, the
// captured page and the profile photo.
#include <memory>
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

// Text is converted and written in pieces of this many code units, so that
// a page of megabytes is never held a second time in the file's encoding.
constexpr std::size_t kTextPieceUnits = 32 * 1024;

// Creates the file, or empties an existing one.
std::unique_ptr<File> CreateNewFile(Platform& platform, std::u16string_view path) {
  OpenResult opened = platform.OpenFile(path, OpenMode::CreateAlways);
  if (!opened.file) {
    throw HostError(u"EFCreateError",
                    u"Datei \"" + std::u16string(path) + u"\" kann nicht erstellt werden. " +
                        opened.errorText);
  }
  return std::move(opened.file);
}

// A short write would leave a file that the desktop application reads as
// complete; it is a failure like any other.
void Write(File& file, std::span<const std::uint8_t> bytes) {
  if (!bytes.empty() && !file.Append(bytes)) throw HostError(u"EWriteError", u"Stream-Schreibfehler");
}

// Text files are in the ANSI code page; only the UTF-8 code page puts a
// signature in front.
void WriteTextFile(Platform& platform, std::u16string_view path, std::u16string_view text) {
  const unsigned codePage = platform.AnsiCodePage();
  const std::unique_ptr<File> file = CreateNewFile(platform, path);
  if (codePage == kUtf8CodePage) Write(*file, AsBytes("\xEF\xBB\xBF"));
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = PieceEnd(text, begin, kTextPieceUnits);
    Write(*file, AsBytes(platform.FromUnicode(text.substr(begin, end - begin), codePage)));
    begin = end;
  }
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
    Write(*CreateNewFile(platform_, path), bytes);
    Log(u"[SavePicture] " + Decimal(height) + u" x " + Decimal(width) + u" Pixel, " + std::u16string(path));
  } catch (...) {
    const auto failure = DescribeCurrentFailure();
    LogError(u"[SavePicture]", failure.kind, failure.message);
  }
}

}  // namespace pelliport
