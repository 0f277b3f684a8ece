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

// Text is converted and written in pieces of this many code units, so that
// a page of megabytes is never held a second time in the file's encoding.
constexpr std::size_t kTextPieceUnits = 32 * 1024;

// Creates the file, or empties an existing one.
std::unique_ptr<File> CreateNewFile(Platform& platform, std::u16string_view path) {
  OpenResult opened = platform.files.OpenFile(path, OpenMode::CreateAlways);
  if (!opened.file) {
    throw HostError(u"EFCreateError",
                    u"Datei \"" + std::u16string(path) + u"\" kann nicht erstellt werden. " +
                        opened.errorText);
  }
  return std::move(opened.file);
}

HostError WriteError(std::u16string_view path, std::u16string_view reason) {
  return HostError(u"EWriteError",
                   u"Datei \"" + std::u16string(path) + u"\" kann nicht geschrieben werden. " + std::u16string(reason));
}

// Creates the file and lets `fill` write it. A file that could not be written
// completely (a failed or short write, or a close that reports lost data) is
// removed: the desktop application would read what is left as complete.
template <typename Fill>
void WriteWholeFile(Platform& platform, std::u16string_view path, Fill fill) {
  const std::unique_ptr<File> file = CreateNewFile(platform, path);
  const auto write = [&](std::span<const std::uint8_t> bytes) {
    if (!bytes.empty() && !file->Append(bytes)) {
      const std::u16string reason = file->ErrorText();
      file->Close();
      platform.files.DeleteFile(path);
      throw WriteError(path, reason);
    }
  };
  fill(write);
  if (!file->Close()) {
    const std::u16string reason = file->ErrorText();
    platform.files.DeleteFile(path);
    throw WriteError(path, reason);
  }
}

// Text files are in the ANSI code page; only the UTF-8 code page puts a
// signature in front.
void WriteTextFile(Platform& platform, std::u16string_view path, std::u16string_view text) {
  const unsigned codePage = platform.text.AnsiCodePage();
  WriteWholeFile(platform, path, [&](const auto& write) {
    if (codePage == kUtf8CodePage) write(AsBytes("\xEF\xBB\xBF"));
    for (std::size_t begin = 0; begin < text.size();) {
      const std::size_t end = PieceEnd(text, begin, kTextPieceUnits);
      write(AsBytes(platform.text.FromUnicode(text.substr(begin, end - begin), codePage)));
      begin = end;
    }
  });
}

}  // namespace

std::u16string TOrvantaImport::SaveListFile(const std::vector<std::u16string>& entries) {
  const std::u16string name = GetUniqueTempName(platform_.files.TempFolder());
  std::u16string text;
  for (const auto& entry : entries) {
    text += entry;
    text += u"\r\n";
  }
  // Written over the name's reservation, which goes when the list cannot be
  // written.
  try {
    WriteTextFile(platform_, name, text);
  } catch (...) {
    platform_.files.DeleteFile(name);
    throw;
  }
  return platform_.files.FileExists(name) ? name : std::u16string();
}

void TOrvantaImport::SaveHTMLFile(std::u16string_view text, std::u16string_view path) {
  WriteTextFile(platform_, path, text);
}

void TOrvantaImport::SavePicture(std::u16string_view base64, std::u16string_view path) {
  const std::vector<std::uint8_t> bytes = DecodeBase64(base64);
  // A picture file that cannot be written reaches the caller, which leaves
  // the photo out of the import; only a picture that is no JPEG image is
  // merely logged.
  bool fileFailed = false;
  try {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!bytes.empty()) {
      const JpegHeaderCheck header = ReadJpegHeader(bytes);
      if (!header.ok) {
        // What is not a JPEG image leaves no file: the empty file that
        // reserved the name goes, anything with content stays untouched.
        if (platform_.files.FileExists(path) && platform_.files.FindFileSize(path) == std::optional<std::uint64_t>(0)) {
          platform_.files.DeleteFile(path);
        }
        throw HostError(u"EJPEG", u"JPEG-Fehler #" + Decimal(header.messageCode));
      }
      width = header.width;
      height = header.height;
    }
    try {
      WriteWholeFile(platform_, path, [&](const auto& write) { write(bytes); });
    } catch (...) {
      fileFailed = true;
      throw;
    }
    Log(u"[SavePicture] " + Decimal(height) + u" x " + Decimal(width) + u" Pixel, " + std::u16string(path));
  } catch (...) {
    if (fileFailed) throw;
    const auto failure = DescribeCurrentFailure();
    LogError(u"[SavePicture]", failure.kind, failure.message);
  }
}

}  // namespace pelliport
