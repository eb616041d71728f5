// The lexical building blocks: values, rests, error kinds and error places.
#include <gtest/gtest.h>

#include "brelmark/lexer.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using namespace lex;
using test::Err;
using test::expect_outcome;
using test::Ok;
using test::Outcome;
using test::strings;
using K = ParseErrorKind;

TEST(Leaves, LiteralsRunsBlanksAndWhiteSpace) {
  struct Case {
    std::string_view text;
    Outcome want;
  };
  // A literal, also against a shorter text.
  for (auto [text, want] : std::vector<Case>{
           {"ltm pool x", Ok(" x")}, {"ltm poo", Err(K::Tag, "ltm poo")}, {"LTM pool", Err(K::Tag, "LTM pool")}}) {
    SCOPED_TRACE(text);
    expect_outcome(literal(text, "ltm pool"), text, want);
  }
  // Runs outside a set take all they can, the whole rest when it holds none of the set.
  for (auto [text, want] : std::vector<Case>{
           {"abc def", Ok(" def")}, {"abc", Ok("")}, {" abc", Err(K::IsNot, " abc")}, {"", Err(K::IsNot, "")}}) {
    SCOPED_TRACE(text);
    expect_outcome(run_outside(text, kWhiteSpace), text, want);
  }
  // Only space, tab, CR and LF are white space: form feed and vertical tab are not.
  for (auto [text, want] : std::vector<Case>{{" \t\r\nx", Ok("x")},
                                             {"\fx", Err(K::MultiSpace, "\fx")},
                                             {"\vx", Err(K::MultiSpace, "\vx")},
                                             {"x", Err(K::MultiSpace, "x")}}) {
    SCOPED_TRACE(text);
    expect_outcome(required_ws(text), text, want);
  }
  for (auto [text, want] : std::vector<Case>{{" \tx", Ok("x")}, {"\nx", Err(K::IsA, "\nx")}}) {
    SCOPED_TRACE(text);
    expect_outcome(blanks(text), text, want);
  }
}

TEST(Leaves, StreamingLiteralCountsMissingCharacters) {
  struct Case {
    std::string_view text;
    std::optional<std::size_t> needed;  // Incomplete
    Outcome want;                       // otherwise
  };
  const Case cases[] = {
      {"", 12, {}},
      {"ltm snat", 4, {}},
      {"ltm snatpool", std::nullopt, Ok("")},
      {"ltm snatpoolx", std::nullopt, Ok("x")},
      {"ltm snap", std::nullopt, Err(K::Tag, "ltm snap")},
      {"x", std::nullopt, Err(K::Tag, "x")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = streaming_literal(c.text, "ltm snatpool");
    if (c.needed) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error().type, ParseError::Type::Incomplete);
      EXPECT_EQ(r.error().needed, c.needed);
    } else {
      expect_outcome(r, c.text, c.want);
    }
  }
}

TEST(Blocks, KeyValueLine) {
  struct Case {
    std::string_view text;
    Outcome want;
    std::string_view value;
  };
  const Case cases[] = {
      {"description hello  \nnext", Ok("\nnext"), "hello  "},  // trailing blanks kept
      {"  description x\r\ny", Ok("\r\ny"), "x"},                // stops before CR
      {"description \"a { b }\"", Ok(""), "\"a { b }\""},         // braces and quotes kept
      {"description\t x", Ok(""), "x"},
      {"description\nx", Err(K::IsA, "\nx"), ""},
      {"description", Err(K::IsA, ""), ""},
      {"descriptions x", Err(K::IsA, "s x"), ""},  // a longer word does not match
      {"description   \nx", Err(K::IsNot, "\nx"), ""},
      {"  other x", Err(K::Tag, "other x"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = key_value_line(c.text, "description");
    expect_outcome(r, c.text, c.want);
    if (r) {
      EXPECT_EQ(r.value(), c.value);
    }
  }
}

TEST(Blocks, FlagLineAndSpacedLiteral) {
  struct Case {
    std::string_view text;
    Outcome want;
  };
  for (auto [text, want] : std::vector<Case>{{"  disabled\n  next", Ok("next")},
                                             {"disabledfoo x", Ok("foo x")},  // a longer word matches
                                             {"enabled", Err(K::Tag, "enabled")}}) {
    SCOPED_TRACE(text);
    expect_outcome(flag_line(text, "disabled"), text, want);
  }
  for (auto [text, want] : std::vector<Case>{{" \n}\n x", Ok("x")}, {"\n x }", Err(K::Tag, "x }")}}) {
    SCOPED_TRACE(text);
    expect_outcome(spaced_literal(text, "}"), text, want);
  }
  for (auto [text, want] : std::vector<Case>{{" members{ a", Ok("a")},
                                             {"members \n {\n  a", Ok("a")},
                                             {"members x", Err(K::Tag, "x")}}) {
    SCOPED_TRACE(text);
    expect_outcome(block_open(text, "members"), text, want);
  }
}

TEST(Blocks, BracedList) {
  struct Case {
    std::string_view text;
    Outcome want;
    std::vector<std::string> elements;
  };
  const Case cases[] = {
      {"{}", Ok(""), {}},
      {"{ }x", Ok("x"), {}},
      {" {\n  a\n  b\n }\n next", Ok("next"), {"a", "b"}},
      {"{ a b }", Ok(""), {"a", "b"}},
      {"{ \"a b\" c }", Ok(""), {"a b", "c"}},          // quotes dropped, blanks kept
      {"{ \"\" }", Ok(""), {"\"\""}},                   // empty quotes are a word
      {"{ \"abc\n}", Ok(""), {"\"abc"}},                // unclosed quote: a word
      {"{ a{b\" }", Ok(""), {"a{b\""}},                 // words may hold "{" and quotes
      {"{ a b}", Ok(""), {"a", "b"}},                     // the last word may touch "}"
      {"{a}", Ok(""), {"a"}},
      {"{ \"a\"b }", Err(K::Tag, "b }"), {}},              // quoted element followed by a word
      {"{ a", Err(K::Tag, ""), {}},
      {"{ a ", Err(K::Tag, ""), {}},
      {"a }", Err(K::Tag, "a }"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = braced_list(c.text);
    expect_outcome(r, c.text, c.want);
    if (r) {
      EXPECT_EQ(strings(r.value()), c.elements);
    }
    // The skipping form agrees on the outcome.
    expect_outcome(skip_braced_list(c.text), c.text, c.want);
  }
  // keyword_list needs no white space between the keyword and "{".
  std::string_view text = "  vlans{ v1 v2 }\nx";
  auto r = keyword_list(text, "vlans");
  expect_outcome(r, text, Ok("x"));
  EXPECT_EQ(strings(r.value()), (std::vector<std::string>{"v1", "v2"}));
  expect_outcome(keyword_list("vlans-enabled", "vlans"), "vlans-enabled", Err(K::Tag, "-enabled"));
}

TEST(Blocks, NamedBlock) {
  struct Case {
    std::string_view text;
    Outcome want;
    std::string_view word;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"  persist {\n    cookie x\n    a b\n}\nrest", Ok("\nrest"), "persist", {"cookie x", "a b"}},
      {"b { }", Ok(""), "b", {}},
      {"b {}", Ok(""), "b", {}},
      {"b { x\t}", Ok(""), "b", {"x"}},                  // a tab before "}" separates
      {"b { x }", Err(K::SeparatedList, "}"), "", {}},           // the blank belongs to the line
      {"outer {\n inner {\n  a\n }\n}", Ok("\n}"), "outer", {"inner {", "a"}},  // no nesting
      {"b x", Err(K::Tag, "x"), "", {}},
      {"b {\n x", Err(K::SeparatedList, ""), "", {}},
      {"", Err(K::IsNot, ""), "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = named_block(c.text);
    expect_outcome(r, c.text, c.want);
    if (r) {
      EXPECT_EQ(r.value().word, c.word);
      EXPECT_EQ(strings(r.value().lines), c.lines);
    }
    expect_outcome(skip_block(c.text), c.text, c.want);
  }
}

TEST(Blocks, BodyBlockPairsItsBraces) {
  struct Case {
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      // A block is taken whole, nested braces paired, on many lines or one, whatever its name.
      {"persist {\n    /Common/cookie {\n        default yes\n    }\n}\npool p", Ok("\npool p")},
      {"persist { /Common/cookie { default yes } }\nx", Ok("\nx")},
      {"metadata { a}x", Ok("x")},
      {"clone-pools {\n a {\n  b {\n  }\n }\n}", Ok("")},
      {"vlans {\n a {\n  b\n }\n}", Ok("")},
      {"vlans { v1}", Ok("")},
      // Braces within a quoted text on one line do not count; a quote left open is a character.
      {"metadata { v \"a } b\" }x", Ok("x")},
      {"metadata { v \"a\n} x", Ok(" x")},
      {"persist { a {", Err(K::Tag, "")},  // never closed
      {"pool x", Err(K::Tag, "x")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_outcome(skip_body_block(c.text), c.text, c.want);
  }
}

TEST(Blocks, BodyBlockPairsBracesOfALongText) {
  // Past the short scan the call's brace-depth index finds the pairing brace; quoted texts that
  // cross its chunks do not count there either.
  std::string text = "metadata {\n";
  for (int i = 0; i < 200; ++i) text += "    k" + std::to_string(i) + " { value \"}{ " + std::string(i % 70, 'x') + "\" }\n";
  text += "}\nrest";
  ScanScope scope(text);
  expect_outcome(skip_body_block(text), text, Ok("\nrest"));
}

TEST(Blocks, WordValuesAndItems) {
  struct Case {
    std::string_view text;
    std::optional<std::string_view> value;
  };
  for (auto [text, want] : std::vector<Case>{{"10.0.0.1 }", "10.0.0.1"},
                                             {"10.0.0.1}", "10.0.0.1"},
                                             {"\"App servers\" x", "\"App servers\""},
                                             {"\"open x", "\"open"},
                                             {"} x", std::nullopt},
                                             {"{ x", std::nullopt},
                                             {"", std::nullopt}}) {
    SCOPED_TRACE(text);
    auto value = word_value(text);
    ASSERT_EQ(value.has_value(), want.has_value());
    if (want) EXPECT_EQ(value->value, *want);
  }
  struct Item {
    std::string_view text;
    std::string_view rest;
  };
  for (auto [text, rest] : std::vector<Item>{{"serverssl-use-sni disabled }", "}"},
                                            {"vlans-disabled mask any", "mask any"},
                                            {"ip-forward }", "}"},
                                            {"persist { a { default yes } } pool p", "pool p"},
                                            {"vs-index 5}", "}"},
                                            {"lonely }", "}"}}) {
    SCOPED_TRACE(text);
    auto r = skip_word_item(text, word_length(text));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, rest);
  }
  EXPECT_TRUE(words_follow("  address 1.1.1.1 }"));
  EXPECT_FALSE(words_follow("  \r\n  address"));
  EXPECT_FALSE(words_follow(""));
}

TEST(Blocks, SkipLineAndRestOfLine) {
  struct Case {
    std::string_view text;
    Outcome want;
  };
  for (auto [text, want] : std::vector<Case>{{"  abc def { x", Ok("{ x")},     // stops at a brace
                                             {"abc\r\n  next", Ok("next")},    // takes the white space after
                                             {"  }", Err(K::IsNot, "}")},
                                             {" {", Err(K::IsNot, "{")},
                                             {"  ", Err(K::IsNot, "")}}) {
    SCOPED_TRACE(text);
    expect_outcome(skip_line(text), text, want);
  }
  for (auto [text, want] : std::vector<Case>{{"  a { } b\r\nx", Ok("\r\nx")}, {" \n ", Err(K::IsNot, "")}}) {
    SCOPED_TRACE(text);
    expect_outcome(rest_of_line(text), text, want);
  }
}

TEST(Blocks, KeyValuePairsAndBlocks) {
  struct PairCase {
    std::string_view text;
    Outcome want;
    std::string_view key, value;
  };
  const PairCase pairs[] = {
      {"type snat\n", Ok("\n"), "type", "snat"},
      {"a\tb}", Ok("}"), "a", "b"},
      {"a", Err(K::IsA, ""), "", ""},
      {"a  \n", Err(K::IsNot, "\n"), "", ""},
      {"}", Err(K::IsNot, "}"), "", ""},
  };
  for (const auto& c : pairs) {
    SCOPED_TRACE(c.text);
    auto r = key_value_pair(c.text);
    expect_outcome(r, c.text, c.want);
    if (r) {
      EXPECT_EQ(r.value().first, c.key);
      EXPECT_EQ(r.value().second, c.value);
    }
  }

  struct BlockCase {
    std::string_view text;
    Outcome want;
    std::size_t pairs;
  };
  const BlockCase blocks[] = {
      {"fqdn {\n  autopopulate enabled\n  name a.example.com\n}\nx", Ok("\nx"), 2},
      {"fqdn { name x}", Ok(""), 1},  // a pair directly against "}" is accepted
      {"fqdn{}", Ok(""), 0},
      {"fqdn { a b c }", Err(K::Tag, "c }"), 0},  // "c" lacks its value
      {"fqdns { }", Err(K::Tag, "s { }"), 0},
  };
  for (const auto& c : blocks) {
    SCOPED_TRACE(c.text);
    auto r = key_value_block(c.text, "fqdn");
    expect_outcome(r, c.text, c.want);
    if (r) {
      EXPECT_EQ(r.value().size(), c.pairs);
    }
  }
}

TEST(Blocks, U16Value) {
  struct Case {
    std::string_view text;
    std::optional<std::uint16_t> want;
  };
  const Case cases[] = {
      {"+7", 7}, {"007", 7}, {"65535", 65535}, {"0", 0}, {"65536", std::nullopt}, {"99999999999", std::nullopt},
      {"-1", std::nullopt}, {"+", std::nullopt}, {"", std::nullopt}, {"2 ", std::nullopt}, {"1a", std::nullopt},
      {"++1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(u16_value(c.text), c.want);
  }
}

TEST(Repetitions, GuardsAgainstItemsThatConsumeNothing) {
  auto nothing = [](Text in) -> ParseResult<Unit> { return {in, Unit{}}; };
  auto r0 = repeat(Text("abc"), false, nothing);
  ASSERT_FALSE(r0.ok());
  EXPECT_EQ(r0.error().kind, K::Many0);
  auto r1 = repeat(Text("abc"), true, nothing);
  ASSERT_FALSE(r1.ok());
  EXPECT_EQ(r1.error().kind, K::Many1);
  // The first item's own error for an empty at-least-one repetition.
  auto word = [](Text in) { return run_outside(opt_ws(in), kWhiteSpace); };
  auto empty = repeat(Text("  "), true, word);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().kind, K::IsNot);
}

}  // namespace
}  // namespace brelmark
