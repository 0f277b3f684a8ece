// Every seed and every kept finding of the fuzz targets, replayed through the
// same functions in the ordinary build. A finding is kept in
// fuzz/regressions/<target>/ once its cause is fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzTargets.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport::fuzz {
namespace {

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SeedsAndFindingsPass) {
  const std::filesystem::path root = std::filesystem::path(PELLIPORT_SOURCE_DIR) / "fuzz";
  std::size_t replayed = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const auto folder = root / kind / std::string(GetParam().name);
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& file : testing::ListFolder(folder)) {
      SCOPED_TRACE(file.string());
      const std::string bytes = testing::ReadFileBytes(file);
      GetParam().run(AsBytes(bytes));
      ++replayed;
    }
  }
  // Every target has seeds: a missing folder would replay nothing.
  EXPECT_GT(replayed, 0u);
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzReplay, ::testing::ValuesIn(AllTargets().begin(), AllTargets().end()),
                         [](const auto& target) { return std::string(target.param.name); });

}  // namespace
}  // namespace pelliport::fuzz
