#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

// GoogleTest's own wildcards: '*' any run of characters, '?' one.
bool Matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++, resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1, n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// The positive patterns of a filter ("A.*:B.c-C.d" gives A.* and B.c) that
// select no test: a test list that selects by name must not pass by
// selecting nothing, as it would after a rename.
std::vector<std::string> PatternsWithoutATest(const std::string& filter) {
  const std::string positive = filter.substr(0, filter.find('-'));
  std::vector<std::string> unmatched;
  std::size_t start = 0;
  while (start <= positive.size()) {
    const std::size_t end = std::min(positive.find(':', start), positive.size());
    const std::string pattern = positive.substr(start, end - start);
    start = end + 1;
    if (pattern.empty() || pattern == "*") continue;
    bool found = false;
    const auto& tests = *::testing::UnitTest::GetInstance();
    for (int s = 0; s < tests.total_test_suite_count() && !found; ++s) {
      const auto& suite = *tests.GetTestSuite(s);
      for (int t = 0; t < suite.total_test_count() && !found; ++t) {
        found = Matches(pattern, std::string(suite.name()) + "." + suite.GetTestInfo(t)->name());
      }
    }
    if (!found) unmatched.push_back(pattern);
  }
  return unmatched;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const auto unmatched = PatternsWithoutATest(GTEST_FLAG_GET(filter));
  for (const auto& pattern : unmatched) std::fprintf(stderr, "--gtest_filter: \"%s\" selects no test\n", pattern.c_str());
  if (!unmatched.empty()) return 1;
  return RUN_ALL_TESTS();
}
