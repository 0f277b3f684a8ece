// What only the Windows platform has: command lines that the started
// program splits itself, and conversions the system refuses.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/command_line.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

TEST(Win32CommandLine, QuotedArgumentComesBackAsExactlyOne) {
  const std::u16string arguments[] = {
      u"C:\\Temp\\1A2B\\3C4D.tmp",
      u"C:\\Users\\Max Muster\\AppData\\Local\\Temp\\1A2B\\3C4D.tmp",
      u"C:\\with blank\\",
      u"a \"quoted\" \\\"word\\\\",
      u"\t",
  };
  for (const auto& argument : arguments) {
    const std::u16string line = u"viewer.exe " + QuoteCommandLineArgument(argument);
    const std::wstring wideLine(line.begin(), line.end());
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(wideLine.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(count, 2) << EncodeUtf8(line);
    const std::wstring_view read(argv[1]);
    EXPECT_EQ(std::u16string(read.begin(), read.end()), argument) << EncodeUtf8(line);
    ::LocalFree(argv);
  }
}

// A code page that the system cannot convert to is a failure with the
// system's reason, not text that silently went missing.
TEST(Win32FromUnicode, RefusedConversionIsAFailure) {
  Platform& platform = SystemPlatform();
  EXPECT_EQ(platform.text.FromUnicode(u"Grüße", 1252), "Gr\xFC\xDF" "e");
  try {
    platform.text.FromUnicode(u"Grüße", 4711);
    FAIL() << "no failure";
  } catch (const HostError& error) {
    EXPECT_EQ(error.Kind(), u"EEncodingError");
    EXPECT_NE(error.Message().find(u"4711"), std::u16string::npos) << EncodeUtf8(error.Message());
  }
}

}  // namespace
}  // namespace pelliport
