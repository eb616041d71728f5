#pragma once
// Helpers shared by the grammar tests.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "brelmark/parse.hpp"

namespace brelmark::test {

// True when `part` is a view of the end of `text` (not a copy of equal content).
inline bool is_tail_of(std::string_view part, std::string_view text) {
  return part.data() + part.size() == text.data() + text.size() && part.size() <= text.size();
}

// The expected outcome of a parse: the rest on success, or a recoverable error of
// `kind` whose input is `rest` (the tail of the text where the failing step began).
struct Outcome {
  bool ok;
  std::string_view rest;
  ParseErrorKind kind = ParseErrorKind::Tag;
};
inline Outcome Ok(std::string_view rest) { return {true, rest, ParseErrorKind::Tag}; }
inline Outcome Err(ParseErrorKind kind, std::string_view at) { return {false, at, kind}; }

template <class T>
void expect_outcome(const ParseResult<T>& r, std::string_view text, const Outcome& want) {
  if (want.ok) {
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    EXPECT_EQ(r.rest(), want.rest);
    EXPECT_TRUE(is_tail_of(r.rest(), text)) << "rest is not a view into the text";
  } else {
    ASSERT_FALSE(r.ok()) << "parsed, rest: " << r.rest();
    const ParseError& e = r.error();
    EXPECT_EQ(e.type, ParseError::Type::Error);
    EXPECT_EQ(kind_name(e.kind), kind_name(want.kind));
    EXPECT_EQ(e.input, want.rest);
    EXPECT_TRUE(is_tail_of(e.input, text)) << "error input is not a view into the text";
  }
}

inline std::vector<std::string> strings(const std::vector<std::string_view>& views) {
  return {views.begin(), views.end()};
}

inline std::string opt(std::optional<std::string_view> v) { return v ? std::string(*v) : "<none>"; }

#ifdef BRELMARK_TEST_DATA
// The text of a listing of the test data.
inline std::string read_listing(const std::string& name) {
  std::ifstream in(std::string(BRELMARK_TEST_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << "missing test listing " << name;
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}
#endif

}  // namespace brelmark::test
