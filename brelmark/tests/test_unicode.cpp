#include <gtest/gtest.h>

#include "brelmark/unicode.hpp"

TEST(Unicode, WhiteSpace) {
  EXPECT_TRUE(brelmark::is_white_space(U'\u3000'));
  EXPECT_FALSE(brelmark::is_white_space(U'\u200b'));
}
