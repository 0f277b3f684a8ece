// Test data of the capture-file tests: the committed picture fixtures and a
// plain base64 encoder to turn them into what the add-in sends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelliport::testing {

// The bytes of a file in import/testdata; fails the test when it is missing.
std::vector<std::uint8_t> ReadFixture(std::string_view name);

// Names the cases of a parameterised test by their "name" field.
struct CaseName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& testCase) const {
    return testCase.param.name;
  }
};

// Standard base64 with "=" fill.
std::u16string EncodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace pelliport::testing
