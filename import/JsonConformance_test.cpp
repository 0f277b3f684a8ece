// The tokenizer against a public JSON conformance suite (copied into
// import/testdata/json-test-suite): every file that a JSON parser must accept
// reads without a failure, and every file that it must reject fails, except
// the few that the tokenizer accepts on purpose, listed below with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "import/JsonTokenizer.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

namespace fs = std::filesystem;

// Files that a strict parser rejects and the tokenizer reads, and why.
const std::map<std::string, std::string>& AcceptedOnPurpose() {
  // The request may be cut short between two tokens; what was read stays.
  const std::string open = "ends between tokens with objects or arrays still open";
  const std::string empty = "no token at all: the text ends before the first one";
  const std::string comment = "comments are read like white space";
  static const std::map<std::string, std::string> accepted = {
      {"n_array_incomplete.json", open},
      {"n_array_newlines_unclosed.json", open},
      {"n_array_unclosed.json", open},
      {"n_array_unclosed_trailing_comma.json", open},
      {"n_array_unclosed_with_new_lines.json", open},
      {"n_array_unclosed_with_object_inside.json", open},
      {"n_object_missing_value.json", open},
      {"n_object_no-colon.json", open},
      {"n_structure_100000_opening_arrays.json", open},
      {"n_structure_comma_instead_of_closing_brace.json", open},
      {"n_structure_lone-open-bracket.json", open},
      {"n_structure_object_unclosed_no_value.json", open},
      {"n_structure_open_array_object.json", open},
      {"n_structure_open_array_open_object.json", open},
      {"n_structure_open_array_string.json", open},
      {"n_structure_open_object.json", open},
      {"n_structure_unclosed_array.json", open},
      {"n_structure_unclosed_object.json", open},
      {"n_single_space.json", empty},
      {"n_structure_no_data.json", empty},
      {"n_object_trailing_comment.json", comment},
      {"n_object_trailing_comment_slash_open.json", comment},
      {"n_structure_object_with_comment.json", comment},
  };
  return accepted;
}

fs::path SuiteFolder() {
  return fs::path(PELLIPORT_SOURCE_DIR) / "import" / "testdata" / "json-test-suite" / "test_parsing";
}

// True when the whole text reads without a tokenizer failure. Files that are
// not well-formed UTF-8 (the host's intake refuses those before any JSON is
// read) are read with replacement characters, so that the tokenizer still
// gives its own verdict.
bool Reads(const fs::path& file) {
  const std::u16string text = DecodeUtf8Lenient(testing::ReadFileBytes(file));
  JsonTokenizer tokenizer(text);
  for (;;) {
    const JsonTokenKind kind = tokenizer.Next().kind;
    if (kind == JsonTokenKind::End) return true;
    if (kind == JsonTokenKind::Failure) return false;
  }
}

std::vector<fs::path> SuiteFiles(char first) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(SuiteFolder())) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 2 && name[0] == first && name[1] == '_') files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(JsonConformance, AcceptsEveryValidText) {
  const auto files = SuiteFiles('y');
  ASSERT_FALSE(files.empty()) << "no suite files under " << SuiteFolder().string();
  for (const fs::path& file : files) EXPECT_TRUE(Reads(file)) << file.filename().string();
}

TEST(JsonConformance, RejectsEveryInvalidTextButTheListedOnes) {
  const auto files = SuiteFiles('n');
  ASSERT_FALSE(files.empty()) << "no suite files under " << SuiteFolder().string();
  std::size_t listedSeen = 0;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    const bool listed = AcceptedOnPurpose().count(name) != 0;
    listedSeen += listed ? 1 : 0;
    EXPECT_EQ(Reads(file), listed) << name << (listed ? " is listed as accepted" : " must fail");
  }
  EXPECT_EQ(listedSeen, AcceptedOnPurpose().size()) << "a listed file is missing from the suite";
}

}  // namespace
}  // namespace pelliport
