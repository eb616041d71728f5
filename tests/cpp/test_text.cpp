// The records' text type: texts inside the object and on the heap, and every move between them.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record/text.hpp"

namespace {

using qv::record::Text;

constexpr std::size_t kLocal = Text::kLocalCapacity;

// Lengths on both sides of each width a local text is copied by (1-3, 4-7, 8-15, 16 and up) and of
// the local capacity, and one far beyond it.
const std::vector<std::size_t> kLengths = {0, 1, 2, 3, 4, 7, 8, 15, 16, 17, kLocal - 1, kLocal, kLocal + 1, 100, 5000};

std::string sample(std::size_t n, char first = 'a') {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 23);
  return s;
}

void expect_holds(const Text& t, std::string_view expected) {
  EXPECT_EQ(t.size(), expected.size());
  EXPECT_EQ(t.view(), expected);
  EXPECT_EQ(t.empty(), expected.empty());
  EXPECT_EQ(t.c_str()[t.size()], '\0');  // always followed by a NUL
  EXPECT_EQ(std::string_view(t.c_str(), t.size()), expected);
}

TEST(Text, EveryAssignmentBetweenLengthsHoldsTheNewText) {
  for (std::size_t from : kLengths) {
    for (std::size_t to : kLengths) {
      SCOPED_TRACE("from " + std::to_string(from) + " to " + std::to_string(to));
      const std::string a = sample(from, 'a');
      const std::string b = sample(to, 'A');
      Text t(a);
      expect_holds(t, a);
      t = b;
      expect_holds(t, b);
      Text copy(t);
      expect_holds(copy, b);
      Text assigned(a);
      assigned = copy;
      expect_holds(assigned, b);
      Text moved(std::move(assigned));
      expect_holds(moved, b);
      expect_holds(assigned, "");  // NOLINT(bugprone-use-after-move): a moved-from text is empty
      Text target(a);
      target = std::move(moved);
      expect_holds(target, b);
      expect_holds(moved, "");  // NOLINT(bugprone-use-after-move)
      target = std::string_view();  // an empty view with no data
      expect_holds(target, "");
    }
  }
}

TEST(Text, AssigningAPartOfItselfKeepsTheBytes) {
  for (std::size_t n : kLengths) {
    if (n < 2) continue;
    SCOPED_TRACE(n);
    const std::string s = sample(n);
    Text t(s);
    t = t.view().substr(1);  // overlapping, one shorter
    expect_holds(t, s.substr(1));
    Text u(s);
    u = u.view().substr(n / 2);  // the back half, inside the object when it fits there
    expect_holds(u, s.substr(n / 2));
  }
}

TEST(Text, GrowsAndShrinksAcrossTheLocalCapacity) {
  Text t;
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    expected.push_back(static_cast<char>('a' + i % 26));
    t = expected;
    ASSERT_EQ(t.view(), expected);
    ASSERT_EQ(t.c_str()[t.size()], '\0');
  }
  while (!expected.empty()) {
    expected.pop_back();
    t = expected;
    ASSERT_EQ(t.view(), expected);
    ASSERT_EQ(t.c_str()[t.size()], '\0');
  }
}

TEST(Text, HoldsAnyBytesAndComparesAsItsView) {
  const std::string bytes("a\0b\xff\xfe", 5);
  Text t(bytes);
  expect_holds(t, bytes);
  EXPECT_TRUE(t == std::string_view(bytes));
  EXPECT_TRUE(Text("abc") == "abc");
  EXPECT_TRUE("abc" == Text("abc"));
  EXPECT_TRUE(std::string("abc") == Text("abc"));
  EXPECT_FALSE(Text("abc") == Text("abd"));
  EXPECT_TRUE(Text(sample(kLocal + 1)) == Text(sample(kLocal + 1)));
  std::vector<Text> texts{"x", sample(200)};
  std::vector<Text> same = texts;
  EXPECT_EQ(texts, same);
}

}  // namespace
