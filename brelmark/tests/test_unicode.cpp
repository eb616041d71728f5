#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "brelmark/unicode.hpp"

namespace {

using brelmark::append_debug_quoted;
using brelmark::is_blank;
using brelmark::is_valid_utf8;
using brelmark::is_white_space;
using brelmark::trim_white_space;

std::string encode(char32_t cp) {
  utf8proc_uint8_t buf[4];
  const auto n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(cp), buf);
  return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

std::string debug_quoted(std::string_view text) {
  std::string out;
  append_debug_quoted(out, text);
  return out;
}

constexpr char32_t kWhiteSpace[] = {0x09,   0x0a,   0x0b,   0x0c,   0x0d,   0x20,   0x85,
                                    0xa0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                    0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200a, 0x2028,
                                    0x2029, 0x202f, 0x205f, 0x3000};

TEST(WhiteSpace, ExactlyTheTwentyFiveCodePoints) {
  for (char32_t c : kWhiteSpace) EXPECT_TRUE(is_white_space(c)) << std::hex << unsigned(c);
  unsigned count = 0;
  for (char32_t c = 0; c <= 0x10ffff; ++c) count += is_white_space(c) ? 1 : 0;
  EXPECT_EQ(count, 25u);
  for (char32_t c : {0x00, 0x08, 0x0e, 0x1f, 0x21, 0x84, 0x86, 0x9f, 0xa1, 0x180e, 0x1fff,
                     0x200b, 0x200c, 0x2027, 0x202a, 0x202e, 0x2060, 0x2fff, 0x3001, 0xfeff})
    EXPECT_FALSE(is_white_space(c)) << std::hex << unsigned(c);
}

// The byte-level trimming and blank test agree with the code-point class for
// every scalar value, alone and next to other text.
TEST(WhiteSpace, TrimAgreesWithClassForEveryCodePoint) {
  for (char32_t c = 0; c <= 0x10ffff; ++c) {
    if (c >= 0xd800 && c <= 0xdfff) continue;
    const std::string e = encode(c);
    const bool ws = is_white_space(c);
    ASSERT_EQ(trim_white_space(e).empty(), ws) << std::hex << unsigned(c);
    ASSERT_EQ(is_blank(e), ws) << std::hex << unsigned(c);
    const std::string framed = e + "x" + e;
    ASSERT_EQ(trim_white_space(framed), ws ? std::string_view("x") : std::string_view(framed))
        << std::hex << unsigned(c);
  }
}

struct TrimCase {
  const char* text;
  const char* trimmed;
};

class Trim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(Trim, RemovesWhiteSpaceAtBothEnds) {
  const std::string_view text = GetParam().text;
  const std::string_view got = trim_white_space(text);
  EXPECT_EQ(got, GetParam().trimmed);
  // Always a slice of the same text.
  EXPECT_GE(got.data(), text.data());
  EXPECT_LE(got.data() + got.size(), text.data() + text.size());
  EXPECT_EQ(is_blank(text), got.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Trim,
    ::testing::Values(
        TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{"\t\r\n\v\f", ""},
        TrimCase{"  /Common/vs \t\r\n", "/Common/vs"}, TrimCase{"a b", "a b"},
        TrimCase{" a \t b ", "a \t b"}, TrimCase{"\u00a0x\u3000", "x"},
        TrimCase{"\u0085x\u2028", "x"},
        TrimCase{"\u1680\u205f\u202fx\u2000\u200a\u2029", "x"},
        TrimCase{"\u200bx\u200b", "\u200bx\u200b"},  // zero-width space is no white space
        TrimCase{"\ufeffx", "\ufeffx"}, TrimCase{"x\u3001", "x\u3001"},
        TrimCase{"x\u00e0", "x\u00e0"},  // C3 A0: ends in A0 like U+00A0, but is a letter
        TrimCase{"x\u20ac", "x\u20ac"},   // E2 82 AC
        TrimCase{"\u3000\u3000", ""},
        // Invalid UTF-8 is never cut and stops the trimming.
        TrimCase{"x\xc2", "x\xc2"}, TrimCase{"x\xe2\x80", "x\xe2\x80"},
        TrimCase{"\xa0x", "\xa0x"}, TrimCase{"x\xa0", "x\xa0"}, TrimCase{"\x80 x", "\x80 x"},
        TrimCase{" \xff ", "\xff"}, TrimCase{"\xe2\xe2\x80\x80", "\xe2"},
        TrimCase{"\xc2\xc2\xa0", "\xc2"}, TrimCase{"\xe3\x80 ", "\xe3\x80"}));

// Random byte soup built from white space, fragments of it and stray bytes: the
// removed ends are whole white-space characters, and valid text stays valid.
TEST(WhiteSpace, TrimNeverCutsACharacter) {
  const std::vector<std::string> fragments = {
      " ", "\t", "\n", "a", "\u00a0", "\u0085", "\u3000", "\u2000", "\u205f", "\u00e0",
      "\u20ac", "\xc2", "\xe2", "\xe2\x80", "\xe3\x80", "\x80", "\x85", "\xa0", "\x9f",
      "\xe1\x9a", "\xf0\x9f\x98", "\xf0\x9f\x98\x80", "\xff"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) text += fragments[rng() % fragments.size()];
    const std::string_view t = text;
    const std::string_view got = trim_white_space(t);
    const std::size_t head = static_cast<std::size_t>(got.data() - t.data());
    const std::string_view front = t.substr(0, head);
    const std::string_view back = t.substr(head + got.size());
    ASSERT_TRUE(is_valid_utf8(front) && is_blank(front)) << text;
    ASSERT_TRUE(is_valid_utf8(back) && is_blank(back)) << text;
    ASSERT_EQ(trim_white_space(got), got) << text;
    if (is_valid_utf8(t)) {
      ASSERT_TRUE(is_valid_utf8(got)) << text;
    }
  }
}

struct Utf8Case {
  const char* text;
  bool valid;
};

class ValidUtf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ValidUtf8, Classifies) {
  EXPECT_EQ(is_valid_utf8(GetParam().text), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidUtf8,
    ::testing::Values(Utf8Case{"", true}, Utf8Case{"abc", true},
                      Utf8Case{"\u00e9\u4e2d\U0001f600\U0010ffff", true},
                      Utf8Case{"\xef\xbf\xbf", true},            // U+FFFF is a scalar value
                      Utf8Case{"\xc0\x80", false},               // overlong NUL
                      Utf8Case{"\xe0\x80\x80", false},           // overlong
                      Utf8Case{"\xf0\x80\x80\x80", false},       // overlong
                      Utf8Case{"\xed\xa0\x80", false},           // surrogate
                      Utf8Case{"\xf4\x90\x80\x80", false},       // above U+10FFFF
                      Utf8Case{"\xf5\x80\x80\x80", false}, Utf8Case{"\x80", false},
                      Utf8Case{"a\xe2\x80", false}, Utf8Case{"\xe2\x80" "a", false}));

TEST(Utf8CodePoints, EveryScalarValueEncodesAndDecodesBack) {
  for (char32_t cp = 0; cp <= 0x10ffff; ++cp) {
    if (cp == 0xd800) cp = 0xe000;  // no surrogates
    std::string text;
    brelmark::append_utf8(text, cp);
    ASSERT_EQ(text, encode(cp)) << std::hex << static_cast<std::uint32_t>(cp);
    const char* const end = text.data() + text.size();
    const brelmark::Utf8Step step = brelmark::decode_utf8(text.data(), end);
    ASSERT_TRUE(step.ok && step.code_point == cp && step.length == text.size()) << std::hex << static_cast<std::uint32_t>(cp);
    ASSERT_EQ(brelmark::utf8_lead_length(static_cast<unsigned char>(text[0])), text.size());
    ASSERT_EQ(brelmark::utf8_sequence_length(text.data(), end), text.size());
  }
}

struct IllFormedCase {
  std::string_view text;
  unsigned subpart;  // the length of the maximal ill-formed subpart at its start
};

class IllFormedUtf8 : public ::testing::TestWithParam<IllFormedCase> {};

TEST_P(IllFormedUtf8, StepsOverTheMaximalSubpart) {
  const std::string_view text = GetParam().text;
  const char* const end = text.data() + text.size();
  const brelmark::Utf8Step step = brelmark::decode_utf8(text.data(), end);
  EXPECT_FALSE(step.ok);
  EXPECT_EQ(step.length, GetParam().subpart);
  EXPECT_EQ(brelmark::utf8_sequence_length(text.data(), end), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IllFormedUtf8,
    ::testing::Values(IllFormedCase{"\x80", 1},                // a continuation byte
                      IllFormedCase{"\xc1\xbf", 1},            // C1 leads nothing
                      IllFormedCase{"\xf5\x80\x80\x80", 1},    // nor does F5
                      IllFormedCase{"\xe0\x9f\xbf", 1},        // overlong
                      IllFormedCase{"\xf0\x8f\xbf\xbf", 1},    // overlong
                      IllFormedCase{"\xed\xa0\x80", 1},        // surrogate
                      IllFormedCase{"\xf4\x90\x80\x80", 1},    // above U+10FFFF
                      IllFormedCase{"\xe2\x80", 2},            // cut short
                      IllFormedCase{"\xe2\x80" "a", 2},
                      IllFormedCase{"\xf0\x9f\x98", 3},
                      IllFormedCase{"\xf0\x9f\x98" "a", 3}));

struct QuoteCase {
  std::string_view text;
  const char* written;
};

class DebugQuoted : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(DebugQuoted, Escapes) {
  std::string out = "prefix:";
  append_debug_quoted(out, GetParam().text);
  EXPECT_EQ(out, std::string("prefix:") + GetParam().written);
  EXPECT_TRUE(is_valid_utf8(out));
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, DebugQuoted,
    ::testing::Values(
        QuoteCase{"", R"("")"}, QuoteCase{"ltm pool p {", R"("ltm pool p {")"},
        QuoteCase{"\ta\r\n", R"("\ta\r\n")"}, QuoteCase{"\n}", R"("\n}")"},
        QuoteCase{"a\0b"sv, R"("a\0b")"}, QuoteCase{"back\\slash", R"("back\\slash")"},
        QuoteCase{"say \"hi\"", R"("say \"hi\"")"}, QuoteCase{"it's", R"("it's")"},
        // Other ASCII controls and DEL in hexadecimal.
        QuoteCase{"\x01\x1b\x1f\x7f", R"("\u{1}\u{1b}\u{1f}\u{7f}")"},
        QuoteCase{"\v\f", R"("\u{b}\u{c}")"},
        // Not printable: Cc, Zs other than the blank, Zl, Zp, Cf, Co, Cn.
        QuoteCase{"\u0085|\u00a0|\u3000|\u2028|\u2029", R"("\u{85}|\u{a0}|\u{3000}|\u{2028}|\u{2029}")"},
        QuoteCase{"\u200b\u00ad\ufeff\u200d", R"("\u{200b}\u{ad}\u{feff}\u{200d}")"},
        QuoteCase{"\ue000\U0010ffff\u0378", R"("\u{e000}\u{10ffff}\u{378}")"},
        // Grapheme-extending: combining marks, ZWNJ, the spacing marks that extend.
        QuoteCase{"e\u0301", R"("e\u{301}")"}, QuoteCase{"\u200c", R"("\u{200c}")"},
        QuoteCase{"\u09be", R"("\u{9be}")"}, QuoteCase{"\u20dd", R"("\u{20dd}")"},
        // Printed as themselves: letters, CJK, emoji, emoji modifiers, spacing marks
        // that do not extend.
        QuoteCase{"caf\u00e9 \u00fc", "\"caf\u00e9 \u00fc\""},
        QuoteCase{"\u4e2d\u6587", "\"\u4e2d\u6587\""},
        QuoteCase{"\U0001f600\U0001f3fb", "\"\U0001f600\U0001f3fb\""},
        QuoteCase{"\u0903", "\"\u0903\""}, QuoteCase{"\u00e9\u20ac~", "\"\u00e9\u20ac~\""},
        // Each maximal ill-formed subpart is one replacement escape.
        QuoteCase{"\xff", R"("\u{fffd}")"}, QuoteCase{"\xe2\x80", R"("\u{fffd}")"},
        QuoteCase{"\xe2\x80" "a", R"("\u{fffd}a")"},
        QuoteCase{"\xc0\x80", R"("\u{fffd}\u{fffd}")"},
        QuoteCase{"\xed\xa0\x80", R"("\u{fffd}\u{fffd}\u{fffd}")"},
        QuoteCase{"\xf4\x90\x80\x80", R"("\u{fffd}\u{fffd}\u{fffd}\u{fffd}")"},
        QuoteCase{"\xf0\x9f\x98", R"("\u{fffd}")"},
        QuoteCase{"x\xf0\x9f\x98\x80\x80", "\"x\U0001f600\\u{fffd}\""}));

TEST(DebugQuoted, LongTextIsWrittenWhole) {
  const std::string text(100000, 'a');
  EXPECT_EQ(debug_quoted(text), "\"" + text + "\"");
}

// Every byte string gives valid UTF-8 between the quotes, the same each time.
TEST(DebugQuoted, ArbitraryBytesGiveValidText) {
  std::mt19937 rng(99);
  for (int round = 0; round < 20000; ++round) {
    std::string text(rng() % 12, '\0');
    for (char& c : text) c = static_cast<char>(rng());
    const std::string out = debug_quoted(text);
    ASSERT_TRUE(is_valid_utf8(out));
    ASSERT_GE(out.size(), 2u);
    ASSERT_EQ(out.front(), '"');
    ASSERT_EQ(out.back(), '"');
    ASSERT_EQ(debug_quoted(text), out);
  }
}

}  // namespace
