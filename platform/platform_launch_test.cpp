// The viewer launch of the real platform: the started program gets the
// path as exactly one argument, blanks and all, or no argument at all.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/platform.h"
#include "platform/testing/HostProcess.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::ScratchFolder;

TEST(PlatformLaunch, ViewerGetsThePathAsItsOneArgument) {
  ScratchFolder scratch;
  const auto record = scratch.Path() / "arguments.txt";
  testing::SetEnvironmentVariable("PELLIPORT_ARGUMENTS_FILE", EncodeUtf8(record.u16string()));
  const auto viewer = std::filesystem::absolute(PELLIPORT_RECORDER_EXE).u16string();
  const std::u16string folder = scratch.U16() + SystemPlatform().files.PathSeparator() + u"work folder";

  const std::u16string arguments[] = {
      folder + SystemPlatform().files.PathSeparator() + u"1A2B.tmp",
      u"plain",
      u"",  // no argument at all
  };
  for (const auto& argument : arguments) {
    SCOPED_TRACE(EncodeUtf8(argument));
    std::filesystem::remove(record);
    SystemPlatform().desktop.LaunchViewer(viewer, argument);
    // The launch does not wait for the program: wait for its record.
    const auto recorded = testing::WaitForFileBytes(record, std::chrono::seconds(60));
    ASSERT_TRUE(recorded.has_value()) << "the viewer did not start";
    EXPECT_EQ(*recorded, argument.empty() ? "" : EncodeUtf8(argument) + "\n");
  }
  testing::SetEnvironmentVariable("PELLIPORT_ARGUMENTS_FILE", "");
}

}  // namespace
}  // namespace pelliport
