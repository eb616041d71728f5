// The module's object-path matcher against the parser library's compiled pattern: both must give
// the same groups for every text; and the model's path accessors against the same answers worked
// out from the library's groups.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "ltm/ltm_path.hpp"
#include "path_reference.hpp"

namespace {

using brelmark::PathCaptures;

std::string show(const std::optional<std::string_view>& group) {
  return group ? "\"" + std::string(*group) + "\"" : "-";
}

std::string describe(bool matched, const PathCaptures& c) {
  if (!matched) return "no match";
  return show(c.partition) + " " + show(c.name) + " " + show(c.rd) + " " + show(c.port) + " " + show(c.svc);
}

std::string ours(std::string_view text) {
  PathCaptures c;
  bool matched = qv::ltm::LtmPathPattern::match(text, c);
  return describe(matched, c);
}

std::string library(std::string_view text) {
  PathCaptures c;
  bool matched = brelmark::PathPattern::get().match(text, c);
  return describe(matched, c);
}

TEST(LtmPathPattern, SameTextAsTheLibrary) {
  EXPECT_EQ(qv::ltm::LtmPathPattern::text(), brelmark::PathPattern::text());
}

TEST(LtmPathPattern, TellingPaths) {
  struct Case {
    const char* text;
    const char* groups;
  };
  const Case cases[] = {
      {"/Common/vs", "\"Common\" \"vs\" - - -"},
      {"Common//vs", "\"Common\" \"vs\" - - -"},
      {"vs", "- \"vs\" - - -"},
      {"/Common/10.1.1.1%2:443", "\"Common\" \"10.1.1.1\" \"2\" \"443\" -"},
      {"/Common/10.1.1.1%2", "\"Common\" \"10.1.1.1\" \"2\" - -"},
      {"/Common/10.1.1.1:http", "\"Common\" \"10.1.1.1\" - - \"http\""},
      {"vs%2::80", "- \"vs\" \"2\" \"80\" -"},
      {"vs%2:", "- \"vs\" \"2\" - -"},
      {"vs%2ssh", "- \"vs\" \"2\" - \"ssh\""},
      {"vs:", "- \"vs\" - - \":\""},
      {"vs%x", "- \"vs\" - - \"%x\""},
      {"a:b:c", "- \"a\" - - \"b:c\""},
      {"/a/b/c", "\"a\" \"b\" - - \"/c\""},
      {"/a/", "- \"a\" - - \"/\""},
      {"/a/:80", "- \"a\" - - \"/:80\""},   // the partition gives way when the rest cannot match
      {"vs\n", "- \"vs\n\" - - -"},           // a final line feed belongs to the name
      {"vs:\xd9\xa3", "- \"vs\" - \"\xd9\xa3\" -"},  // Arabic-Indic digit three is a port digit
      {"vs:80\n", "no match"},
      {"", "no match"},
      {"a b", "no match"},
      {"%1", "no match"},
      {"//a/b", "no match"},
      {"vs ", "no match"},
      {"/Common/\xff", "no match"},           // not UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ours(c.text), c.groups) << c.text;
    EXPECT_EQ(library(c.text), c.groups) << c.text;
  }
}

TEST(LtmPathPattern, AgreesWithTheLibraryOnRandomTexts) {
  const std::vector<std::string> pieces = {
      "/", "/", "/", ":", ":", "%", " ", "\t", "\n", "\r", "Common", "vs", "a", "ssh", "80", "0", "99999",
      "10.1.1.1", ".", "\xc2\xa0" /* U+00A0 */, "\xe3\x80\x80" /* U+3000 */, "\xe2\x80\x8b" /* U+200B */,
      "\xd9\xa3" /* Arabic-Indic three */, "\xef\xbc\x91" /* fullwidth one */, "\xc3\xa9" /* e acute */,
      "\xc2\x85" /* U+0085 */, "\xe2\x80\xa8" /* U+2028 */, "x9",
  };
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<std::size_t> length(0, 9), piece(0, pieces.size() - 1);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    for (std::size_t n = length(rng); n > 0; --n) text += pieces[piece(rng)];
    ASSERT_EQ(ours(text), library(text)) << "text: \"" << text << "\"";
  }
}

// Texts near the shapes the matcher reads at once ("/partition/name", with ":port" or
// "%rd[:port]"), from a few bytes to past 64, each with one thing that may break the shape.
TEST(LtmPathPattern, AgreesWithTheLibraryNearTheUsualShapes) {
  const std::vector<std::string> names = {"a", "Common", "Tenant_1", "10.1.1.1", "web-pool.example.com",
                                          std::string(40, 'n'), std::string(70, 'n')};
  const std::vector<std::string> tails = {"", ":80", ":8443", "%1", "%12:443", "%", "%:80", "%1:", ":",
                                          ":http", "%1x", "%1:8x", "::80", "%1::80", ":80/x"};
  const std::vector<std::string> breaks = {"", "/", "//", ":", "%", " ", "\t", "\n", "\xc3\xa9", "\xd9\xa3",
                                           "\xff", "\xc2\xa0", "0"};
  std::mt19937 rng(20261212);
  std::uniform_int_distribution<std::size_t> name(0, names.size() - 1), tail(0, tails.size() - 1),
      brk(0, breaks.size() - 1), coin(0, 3);
  for (int i = 0; i < 100000; ++i) {
    std::string text = "/" + names[name(rng)] + "/" + names[name(rng)] + tails[tail(rng)];
    if (coin(rng) == 0) {  // one break at any place, or none
      std::uniform_int_distribution<std::size_t> at(0, text.size());
      text.insert(at(rng), breaks[brk(rng)]);
    }
    if (coin(rng) == 0) text.erase(0, 1);
    ASSERT_EQ(ours(text), library(text)) << "text: \"" << text << "\"";
  }
}

TEST(LtmPathAccessors, TellingPaths) {
  using qv::test::accessors;
  struct Case {
    const char* text;
    std::optional<std::string_view> default_partition;
    const char* result;
  };
  // error 0: invalid path, 1: no port, 2: invalid digit, 3: too large, 4: no partition
  const Case cases[] = {
      {"/Prod/10.1.10.20%2:443", std::nullopt,
       "partition \"Prod\", name \"10.1.10.20\", address \"10.1.10.20\", rd 2, port 443, full \"/Prod/10.1.10.20\""},
      {"vs:ssh", "Common", "partition \"Common\", name \"vs\", address -, rd -, port 22, full \"/Common/vs\""},
      {"vs", std::nullopt, "partition -, name \"vs\", address -, rd -, port error 1, full error 4"},
      {"/Common/vs:99999", std::nullopt,
       "partition \"Common\", name \"vs\", address -, rd -, port error 3, full \"/Common/vs\""},
      {"vs:\xd9\xa3", "", "partition \"\", name \"vs\", address -, rd -, port error 2, full \"//vs\""},
      {"vs%99999", "p", "partition \"p\", name \"vs\", address -, rd -, port error 1, full \"/p/vs\""},
      // a path in a folder keeps its rest in the full path and has no port
      {"/Tenant/App/web_pool", std::nullopt,
       "partition \"Tenant\", name \"App\", address -, rd -, port error 1, full \"/Tenant/App/web_pool\""},
      {"/a/", "Common", "partition \"Common\", name \"a\", address -, rd -, port error 1, full \"/Common/a/\""},
      {"a b", "Common", "partition \"Common\", name error 0, address error 0, rd -, port error 1, full error 0"},
      {"", std::nullopt, "partition -, name error 0, address error 0, rd -, port error 1, full error 4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(accessors(c.text, c.default_partition), c.result) << c.text;
    EXPECT_EQ(qv::test::reference_accessors(c.text, c.default_partition), c.result) << c.text;
  }
}

TEST(LtmPathAccessors, AgreeWithTheLibraryOnRandomTexts) {
  const std::vector<std::string> pieces = {
      "/", "/", "/", ":", ":", "%", " ", "\t", "Common", "vs", "ssh", "http", "80", "0", "0080", "99999",
      "10.1.1.1", "255", ".", "\xc2\xa0", "\xd9\xa3", "x9",
  };
  const std::optional<std::string_view> defaults[] = {std::nullopt, "", "Common"};
  std::mt19937 rng(20261211);
  std::uniform_int_distribution<std::size_t> length(0, 9), piece(0, pieces.size() - 1), which(0, 2);
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    for (std::size_t n = length(rng); n > 0; --n) text += pieces[piece(rng)];
    auto dflt = defaults[which(rng)];
    ASSERT_EQ(qv::test::accessors(text, dflt), qv::test::reference_accessors(text, dflt)) << "text: \"" << text << "\"";
  }
}

TEST(LtmPathPattern, LongTextsAreMatchedInLinearTime) {
  std::string name(100000, 'a');
  std::string digits = "/p/" + std::string(50000, 'n') + "%" + std::string(49990, '7') + ":x y";
  std::string tail = "/p/n:" + std::string(100000, '9');
  for (const std::string* text : {&name, &digits, &tail}) {
    auto start = std::chrono::steady_clock::now();
    PathCaptures c;
    qv::ltm::LtmPathPattern::match(*text, c);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 50);
  }
  PathCaptures c;
  ASSERT_TRUE(qv::ltm::LtmPathPattern::match(tail, c));
  EXPECT_EQ(c.port->size(), 100000u);
}

}  // namespace
