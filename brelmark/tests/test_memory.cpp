// Large buffers keep what is written to them, whatever the huge-page advice gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "brelmark/memory.hpp"

namespace {

TEST(LargeVector, GrowsAndKeepsItsElementsAcrossTheHugePageSize) {
  // From a few elements to well past the size that asks for huge pages, growing one at a time,
  // so that every move into a new (advised) buffer is checked.
  brelmark::LargeVector<std::uint64_t> v;
  const std::size_t count = 3 * brelmark::kHugePageMinimum / sizeof(std::uint64_t);
  for (std::uint64_t k = 0; k < count; ++k) v.push_back(k * 2654435761u);
  ASSERT_EQ(v.size(), count);
  for (std::uint64_t k = 0; k < count; k += 4099) ASSERT_EQ(v[k], k * 2654435761u) << k;
  EXPECT_EQ(v.back(), (count - 1) * 2654435761u);
}

TEST(PreferHugePages, LeavesTheBytesOfAnyRangeAsTheyWere) {
  // Ranges below the minimum, unaligned at both ends, and of whole huge pages.
  std::vector<unsigned char> bytes(3 * brelmark::kHugePageMinimum + 12345);
  std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(7));
  const std::vector<unsigned char> before = bytes;
  for (auto [offset, size] : {std::pair<std::size_t, std::size_t>{0, 0},
                              {1, 4096},
                              {3, brelmark::kHugePageMinimum - 1},
                              {5, brelmark::kHugePageMinimum + 1},
                              {0, bytes.size()}}) {
    brelmark::prefer_huge_pages(bytes.data() + offset, size);
  }
  brelmark::prefer_huge_pages(nullptr, 0);
  EXPECT_EQ(bytes, before);
}

TEST(ReservePreferringHugePages, KeepsTheTextAndGivesAtLeastTheRoomAsked) {
  // Below the minimum (std::string's own reserve), past it from a short and from a long text, and
  // a room already there (nothing moves).
  std::string text = "head\0tail";
  text.push_back('\0');
  std::string expected = text;
  for (std::size_t room : {std::size_t{100}, brelmark::kHugePageMinimum + 3, 3 * brelmark::kHugePageMinimum}) {
    brelmark::reserve_preferring_huge_pages(text, room);
    EXPECT_GE(text.capacity(), room);
    EXPECT_EQ(text, expected);
    text.append(room / 2, 'x');
    expected.append(room / 2, 'x');
  }
  const char* data = text.data();
  brelmark::reserve_preferring_huge_pages(text, 10);
  EXPECT_EQ(text.data(), data);
  EXPECT_EQ(text, expected);
}

}  // namespace
