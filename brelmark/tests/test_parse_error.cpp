// The texts under which parse errors reach the user.
#include <gtest/gtest.h>

#include <string>

#include "brelmark/grammar.hpp"
#include "brelmark/parse.hpp"

namespace brelmark {
namespace {

using K = ParseErrorKind;

TEST(ParseErrorText, EveryCase) {
  struct Case {
    ParseError error;
    std::string text;
  };
  const Case cases[] = {
      {ParseError::error(K::Tag, "ltm pool p {\n}"), R"(Parsing Error: Error { input: "ltm pool p {\n}", code: Tag })"},
      {ParseError::failure(K::IsNot, "x"), R"(Parsing Failure: Error { input: "x", code: IsNot })"},
      {ParseError::error(K::SeparatedList, ""), R"(Parsing Error: Error { input: "", code: SeparatedList })"},
      {ParseError::incomplete(1), "Parsing requires 1 bytes/chars"},
      {ParseError::incomplete(12), "Parsing requires 12 bytes/chars"},
      {ParseError::incomplete(std::nullopt), "Parsing requires more data"},
      // Tab, CR, LF, backslash and double quote are escaped; a single quote is not.
      {ParseError::error(K::Digit, "\ta\r\n\\\"'"), R"(Parsing Error: Error { input: "\ta\r\n\\\"'", code: Digit })"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.error.to_string(), c.text);
  }
}

TEST(ParseErrorText, KindNames) {
  const std::pair<K, std::string_view> names[] = {
      {K::Tag, "Tag"},     {K::IsNot, "IsNot"},   {K::IsA, "IsA"},         {K::MultiSpace, "MultiSpace"},
      {K::Many0, "Many0"}, {K::Many1, "Many1"},   {K::Char, "Char"},       {K::Digit, "Digit"},
      {K::SeparatedList, "SeparatedList"},
  };
  for (auto [kind, name] : names) EXPECT_EQ(kind_name(kind), name);
}

TEST(ParseErrorText, LongRestIsPrintedWhole) {
  std::string text = "x" + std::string(100000, 'a') + "\n";
  auto r = parse_pool(text);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().to_string(),
            "Parsing Error: Error { input: \"x" + std::string(100000, 'a') + "\\n\", code: Tag }");
}

TEST(ParseErrorText, ErrorsOfTheGrammarsAsCallersSeeThem) {
  // A virtual-server text that begins with another object's keyword: the whole text from
  // its first non-white-space character, code Tag; a rest that begins with a line feed.
  auto virtual_error = [](std::string_view t) { return parse_virtual(t).error().to_string(); };
  EXPECT_EQ(virtual_error("\n  ltm pool p {\n}"), R"(Parsing Error: Error { input: "ltm pool p {\n}", code: Tag })");
  EXPECT_EQ(virtual_error("ltm virtual vs {\n}"), R"(Parsing Error: Error { input: "}", code: IsNot })");
  EXPECT_EQ(virtual_error("ltm virtual vs {\n  a\n"), R"(Parsing Error: Error { input: "", code: Tag })");
  // A no-break space is no white space for the grammars, so it stays in the rest, escaped;
  // letters beyond ASCII and emoji are printed as they are, combining marks escaped.
  EXPECT_EQ(virtual_error("\u00a0ltm virtual vs {}"),
            R"(Parsing Error: Error { input: "\u{a0}ltm virtual vs {}", code: Tag })");
  EXPECT_EQ(parse_pool("p\u00e9\u0301\U0001F600").error().to_string(),
            "Parsing Error: Error { input: \"p\u00e9\\u{301}\U0001F600\", code: Tag }");
  EXPECT_EQ(parse_snatpool("ltm snat").error().to_string(), "Parsing requires 4 bytes/chars");
  EXPECT_EQ(parse_partition("auth partitionP {}").error().to_string(),
            R"(Parsing Error: Error { input: "P {}", code: MultiSpace })");
  EXPECT_EQ(parse_partition("auth partition P {\n    default-route-domain x\n}").error().to_string(),
            R"(Parsing Error: Error { input: "default-route-domain x\n}", code: Tag })");
}

}  // namespace
}  // namespace brelmark
