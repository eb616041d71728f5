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
      // IPv6 addresses, "." before the port, the route domain between the two
      {"/Common/2001:db8:1:2::10.8443", std::nullopt,
       "partition \"Common\", name \"2001:db8:1:2::10\", address \"2001:db8:1:2::10\", rd -, port 8443, "
       "full \"/Common/2001:db8:1:2::10\""},
      {"fe80::1%2.https", "Common",
       "partition \"Common\", name \"fe80::1\", address \"fe80::1\", rd 2, port 443, full \"/Common/fe80::1\""},
      {"::ffff:10.0.0.1.any", "Common",
       "partition \"Common\", name \"::ffff:10.0.0.1\", address \"::ffff:10.0.0.1\", rd -, port 0, "
       "full \"/Common/::ffff:10.0.0.1\""},
      {"100.64.0.0:any", "Common",
       "partition \"Common\", name \"100.64.0.0\", address \"100.64.0.0\", rd -, port 0, full \"/Common/100.64.0.0\""},
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
      // the pieces of IPv6 addresses
      "::", "::", ":", "2001", "db8", "fe80", "ffff", "0", "1", "a", "FFFF", "12345", ".", "1.2.3.4", "any",
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

// Paths made of IPv6-like addresses: one to nine groups of zero to five hex digits, ":" or "::"
// between them, sometimes a dotted quad at the end; with and without partition, route domain and
// port. The C library's address reader decides which addresses are valid.
TEST(LtmPathAccessors, AgreeWithTheLibraryOnIpv6Paths) {
  const std::vector<std::string> quads = {"1.2.3.4", "10.0.0.1", "255.255.255.255", "256.1.1.1", "01.2.3.4",
                                          "1.2.3", "1.2.3.4.5", "0.0.0.0"};
  const std::vector<std::string> prefixes = {"", "/", "/Common/", "Common/", "/Common//", "/a/b/", "/P\xc3\xa4rt/"};
  const std::vector<std::string> tails = {"", ".80", ".0080", ".any", ".http", ".nosuch", ".", ".8x", ".8 0",
                                          ":80", ".\xd9\xa3", ".99999", "%2", "%2.443", "%", "%x", "%2:80",
                                          "%2.", "%99999.1", ".80.81", "/x", "\n"};
  const std::optional<std::string_view> defaults[] = {std::nullopt, "Common"};
  std::mt19937 rng(20261213);
  std::uniform_int_distribution<int> group_count(1, 9), hex_length(0, 5), coin(0, 3), hex(0, 21);
  std::uniform_int_distribution<std::size_t> quad(0, quads.size() - 1), prefix(0, prefixes.size() - 1),
      tail(0, tails.size() - 1), which(0, 1);
  int valid = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string address;
    bool gap = false;
    for (int g = group_count(rng); g > 0; --g) {
      for (int n = hex_length(rng); n > 0; --n) address += "0123456789abcdefABCDEF"[hex(rng)];
      if (g > 1) address += (!gap && coin(rng) == 0) ? (gap = true, "::") : ":";
    }
    if (coin(rng) == 0) address += (address.empty() || address.back() == ':' ? "" : ":") + quads[quad(rng)];
    const std::string text = prefixes[prefix(rng)] + address + tails[tail(rng)];
    const auto dflt = defaults[which(rng)];
    const std::string ours = qv::test::accessors(text, dflt);
    ASSERT_EQ(ours, qv::test::reference_accessors(text, dflt)) << "text: \"" << text << "\"";
    valid += ours.find(':', ours.find("address \"")) != std::string::npos;
  }
  EXPECT_GT(valid, 2000);  // enough of the paths read as IPv6 for the cases to count (4,380 of them)
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

// The IPv6 reading of the accessors on long texts of its characters.
TEST(LtmPathAccessors, LongIpv6LikeTextsAreReadInLinearTime) {
  std::string groups = "/p/";
  for (int i = 0; i < 50000; ++i) groups += "ab:";
  const std::string texts[] = {groups + ":1.80", "/p/::" + std::string(100000, '1') + ".80",
                               "/p/::1%" + std::string(100000, '7') + ".80", "/p/::1." + std::string(100000, 'x'),
                               "::" + std::string(100000, '.')};
  for (const std::string& text : texts) {
    auto start = std::chrono::steady_clock::now();
    (void)qv::ltm::ltmpath_impl_get_port(text);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 50) << text.substr(0, 20);
  }
  EXPECT_EQ(qv::ltm::ltmpath_impl_get_route_domain(texts[2]), std::nullopt);  // above 65535
  EXPECT_EQ(qv::ltm::ltmpath_impl_get_port(texts[2]).value(), 80);
}

}  // namespace
