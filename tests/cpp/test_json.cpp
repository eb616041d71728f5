#include <gtest/gtest.h>

#include "formats/json.hpp"

TEST(Json, Escape) {
  std::string out;
  quilvarn::json::append_escaped(out, "a");
  EXPECT_EQ(out, "\"a\"");
}
