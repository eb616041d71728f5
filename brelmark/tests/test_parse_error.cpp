#include <gtest/gtest.h>

#include "brelmark/parse.hpp"

TEST(ParseError, Placeholder) { EXPECT_EQ(brelmark::parse_error_placeholder(), "Parsing Error"); }
