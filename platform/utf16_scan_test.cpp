#include "platform/utf16_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace pelliport {
namespace {

// Every length around the vector's eight lanes, the unit at every position:
// the vector rounds, the code units after them, and the lane arithmetic.
TEST(Utf16Scan, FindsTheFirstUnitAtEveryPosition) {
  for (std::size_t length = 0; length <= 20; ++length) {
    const std::u16string none(length, u'a');
    EXPECT_EQ(scan::Find(none.data(), 0, length, u'\\'), length) << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::u16string text = none;
      text[at] = u'\\';
      if (at + 2 < length) text[at + 2] = u'\\';  // a later one does not count
      for (std::size_t from = 0; from <= at; ++from) {
        EXPECT_EQ(scan::Find(text.data(), from, length, u'\\'), at) << length << "/" << at << "/" << from;
      }
    }
  }
}

TEST(Utf16Scan, OnlyWholeCodeUnitsMatch) {
  // The unit's byte in the other half of a code unit, or beside other bits.
  const std::u16string text{0x5C00, 0x015C, 0xFF5C, 0x5C5D, 0x005D, 0x5C5C, 0x0000, 0xFFFF, 0x005C};
  EXPECT_EQ(scan::Find(text.data(), 0, text.size(), u'\\'), 8u);
  EXPECT_EQ(scan::Find(text.data(), 0, text.size(), 0xFFFF), 7u);
}

}  // namespace
}  // namespace pelliport
