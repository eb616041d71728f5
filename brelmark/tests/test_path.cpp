#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "brelmark/path.hpp"

namespace {

using brelmark::ObjectPath;
using brelmark::PathCaptures;
using brelmark::PathPattern;
using Opt = std::optional<std::string_view>;
constexpr std::nullopt_t no = std::nullopt;

std::string show(const Opt& o) { return o ? "\"" + std::string(*o) + "\"" : "-"; }

struct MatchCase {
  std::string_view path;
  Opt partition, name, rd, port, svc;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << show(c.path); }

class PatternMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(PatternMatch, Groups) {
  const MatchCase& c = GetParam();
  PathCaptures got;
  ASSERT_TRUE(PathPattern::get().match(c.path, got));
  EXPECT_EQ(show(got.partition), show(c.partition));
  EXPECT_EQ(show(got.name), show(c.name));
  EXPECT_EQ(show(got.rd), show(c.rd));
  EXPECT_EQ(show(got.port), show(c.port));
  EXPECT_EQ(show(got.svc), show(c.svc));
  // The groups are slices of the matched text.
  for (const Opt& g : {got.partition, got.name, got.rd, got.port, got.svc}) {
    if (!g) continue;
    EXPECT_GE(g->data(), c.path.data());
    EXPECT_LE(g->data() + g->size(), c.path.data() + c.path.size());
  }
  // The optional-returning form agrees.
  const auto again = PathPattern::get().match(c.path);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(show(again->name), show(c.name));
  EXPECT_EQ(show(again->svc), show(c.svc));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PatternMatch,
    ::testing::Values(
        MatchCase{"/Common/vs", "Common", "vs", no, no, no},
        MatchCase{"Common/vs", "Common", "vs", no, no, no},
        MatchCase{"Common//vs", "Common", "vs", no, no, no},
        MatchCase{"vs", no, "vs", no, no, no},
        MatchCase{"/Common/vs:80", "Common", "vs", no, "80", no},
        MatchCase{"/Common/vs:ssh", "Common", "vs", no, no, "ssh"},
        MatchCase{"/Common/10.1.1.1%2:443", "Common", "10.1.1.1", "2", "443", no},
        MatchCase{"vs%2:80", no, "vs", "2", "80", no},
        MatchCase{"vs%2::80", no, "vs", "2", "80", no},
        MatchCase{"vs%2:", no, "vs", "2", no, no},
        MatchCase{"vs%2ssh", no, "vs", "2", no, "ssh"},
        MatchCase{"vs%99999", no, "vs", "99999", no, no},
        MatchCase{"vs80", no, "vs80", no, no, no},
        MatchCase{"vs:80x", no, "vs", no, no, "80x"},
        MatchCase{"vs:", no, "vs", no, no, ":"},
        MatchCase{"vs%x", no, "vs", no, no, "%x"},
        MatchCase{"a:b:c", no, "a", no, no, "b:c"},
        MatchCase{"/a/b/c", "a", "b", no, no, "/c"},
        MatchCase{"/Common/app.app/vs", "Common", "app.app", no, no, "/vs"},
        MatchCase{"/a/", no, "a", no, no, "/"}));

// Unicode classes: any decimal digit (Nd) is a digit, only White_Space ends a
// service name, and the name class excludes nothing but "/", ":", "%" and the
// blank.
INSTANTIATE_TEST_SUITE_P(
    Unicode, PatternMatch,
    ::testing::Values(
        MatchCase{"vs:\u0668\u0660", no, "vs", no, "\u0668\u0660", no},  // Arabic-Indic 80
        MatchCase{"vs%\u0662:\u06f4\u06f4\u06f3", no, "vs", "\u0662", "\u06f4\u06f4\u06f3", no},
        MatchCase{"vs:\uff18\uff10", no, "vs", no, "\uff18\uff10", no},  // fullwidth digits
        MatchCase{"vs:\u00b2", no, "vs", no, no, "\u00b2"},            // superscript: not Nd
        MatchCase{"vs:\u2168", no, "vs", no, no, "\u2168"},            // roman numeral: Nl
        MatchCase{"/Gemeinsam/st\u00e4dte", "Gemeinsam", "st\u00e4dte", no, no, no},
        MatchCase{"/\u5171\u901a/\u540d\u524d:http", "\u5171\u901a", "\u540d\u524d", no, no,
                  "http"},
        MatchCase{"a\u3000b", no, "a\u3000b", no, no, no},
        MatchCase{"a\u00a0b\u2028", no, "a\u00a0b\u2028", no, no, no},
        MatchCase{"a\tb", no, "a\tb", no, no, no},
        MatchCase{"vs:\u200b", no, "vs", no, no, "\u200b"},  // zero-width space is no white space
        MatchCase{"vs:\U0001f600", no, "vs", no, no, "\U0001f600"},
        // A final line feed belongs to the name: "$" is the very end of the text.
        MatchCase{"vs\n", no, "vs\n", no, no, no},
        MatchCase{"/Common/vs\n", "Common", "vs\n", no, no, no}));

class PatternNoMatch : public ::testing::TestWithParam<std::string_view> {};

TEST_P(PatternNoMatch, Rejects) {
  PathCaptures got;
  got.name = "stale";
  EXPECT_FALSE(PathPattern::get().match(GetParam(), got));
  EXPECT_FALSE(got.name.has_value());  // cleared on failure
  EXPECT_FALSE(PathPattern::get().match(GetParam()).has_value());
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, PatternNoMatch,
    ::testing::Values(""sv, "a b"sv, "%1"sv, "//a/b"sv, "vs "sv, "vs:80\n"sv, " vs"sv,
                      "vs:\t"sv, "vs:ab\u3000"sv, "vs:a\u00a0b"sv, "vs%2: 80"sv, "/"sv, ":80"sv,
                      // Not well-formed UTF-8.
                      "vs\xff"sv, "/Common/\xc0\x80"sv, "\xe2\x80"sv, "vs:\xed\xa0\x80"sv));

TEST(PathPattern, KeepsItsText) {
  EXPECT_EQ(PathPattern::text(),
            R"(^(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\d+)(?::?))?(?::?(?:(?P<port>\d+)|(?P<svc>\S+)))?$)");
  EXPECT_EQ(PathPattern::text().size(), 126u);
  EXPECT_EQ(&PathPattern::get(), &PathPattern::get());
}

TEST(PathPattern, NulIsAnOrdinaryCharacter) {
  const std::string path("/P/a\0b:x", 8);
  const auto m = PathPattern::get().match(path);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(*m->name, std::string_view("a\0b", 3));
  EXPECT_EQ(*m->svc, "x");
}

struct LongCase {
  const char* what;
  std::string path;
  bool matches;
};

// Linear time: paths of 100,000 characters, shaped to provoke backtracking in
// a backtracking engine, are decided quickly.
TEST(PathPattern, LongPathsAreLinear) {
  const std::size_t n = 100000;
  std::string slashes;
  for (std::size_t i = 0; i < n / 2; ++i) slashes += "a/";
  const std::vector<LongCase> cases = {
      {"one name", std::string(n, 'a'), true},
      {"name and blank", std::string(n - 1, 'a') + " ", false},
      {"partition and name", "/" + std::string(n / 2, 'p') + "/" + std::string(n / 2, 'n'), true},
      {"many slashes", slashes, true},
      {"many slashes and blank", slashes + " ", false},
      {"long service", "vs:" + std::string(n, 'x'), true},
      {"long port then letter", "vs:" + std::string(n, '1') + "x", true},
      {"long route domain", "vs%" + std::string(n, '7'), true},
      {"colons", "a" + std::string(n, ':'), true},
      {"colons and blank", "a" + std::string(n, ':') + " ", false},
  };
  for (const LongCase& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const bool got = PathPattern::get().match(c.path).has_value();
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(got, c.matches) << c.what;
    EXPECT_LT(ms.count(), 50.0) << c.what;
  }
}

TEST(PathPattern, MatchesOnManyThreads) {
  const std::vector<std::string_view> paths = {"/Common/vs:80", "vs%2ssh", "/a/b/c", "a b"};
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const auto m0 = PathPattern::get().match(paths[0]);
        const auto m1 = PathPattern::get().match(paths[1]);
        const auto m2 = PathPattern::get().match(paths[2]);
        const auto m3 = PathPattern::get().match(paths[3]);
        const bool ok = m0 && m0->port == "80" && m1 && m1->svc == "ssh" && m2 &&
                        m2->name == "b" && !m3;
        failures[t] += ok ? 0 : 1;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

struct TrimCase {
  std::string_view text;
  std::string_view path;
};

class ObjectPathMake : public ::testing::TestWithParam<TrimCase> {};

TEST_P(ObjectPathMake, TrimsWhiteSpace) {
  const ObjectPath p(GetParam().text);
  EXPECT_EQ(p.text(), GetParam().path);
  EXPECT_EQ(p.to_string(), GetParam().path);
  EXPECT_EQ(p.empty(), GetParam().path.empty());
  if (!p.empty()) {
    EXPECT_GE(p.text().data(), GetParam().text.data());  // a view into the same text
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjectPathMake,
    ::testing::Values(TrimCase{"  /Common/vs \t\r\n", "/Common/vs"}, TrimCase{" \t\n ", ""},
                      TrimCase{"", ""}, TrimCase{"\u00a0/Common/vs\u00a0", "/Common/vs"},
                      TrimCase{"\u3000vs\u3000", "vs"},
                      TrimCase{"\u200bvs\u200b", "\u200bvs\u200b"},
                      TrimCase{"a b", "a b"}));

TEST(ObjectPath, EqualityComparesTexts) {
  const std::string a = " /Common/vs ", b = "/Common/vs\n";
  EXPECT_EQ(ObjectPath(a), ObjectPath(b));
  EXPECT_FALSE(ObjectPath(a) == ObjectPath("/Common/vt"));
  EXPECT_EQ(ObjectPath(), ObjectPath("  "));
}

struct NameCase {
  std::string_view path;
  Opt name;
};

class ObjectPathName : public ::testing::TestWithParam<NameCase> {};

// The name of a path the pattern does not match is absent (never a fault).
TEST_P(ObjectPathName, Name) {
  EXPECT_EQ(show(ObjectPath(GetParam().path).name()), show(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Cases, ObjectPathName,
                         ::testing::Values(NameCase{"/Common/vs:80", "vs"},
                                           NameCase{"/a/b/c", "b"}, NameCase{" vs\n", "vs"},
                                           NameCase{"/Common/10.1.1.1%2:443", "10.1.1.1"},
                                           NameCase{"", no}, NameCase{"a b", no},
                                           NameCase{"//a/b", no}, NameCase{"%1", no}));

struct PartitionCase {
  std::string_view path;
  Opt dflt;
  Opt partition;
};

class ObjectPathPartition : public ::testing::TestWithParam<PartitionCase> {};

TEST_P(ObjectPathPartition, PartitionOrDefault) {
  EXPECT_EQ(show(ObjectPath(GetParam().path).partition(GetParam().dflt)),
            show(GetParam().partition));
}

INSTANTIATE_TEST_SUITE_P(Cases, ObjectPathPartition,
                         ::testing::Values(PartitionCase{"/Common/vs", no, "Common"},
                                           PartitionCase{"/Common/vs", "x", "Common"},
                                           PartitionCase{"vs", "Common", "Common"},
                                           PartitionCase{"vs", no, no},
                                           PartitionCase{"a b", "x", "x"},
                                           PartitionCase{"", no, no},
                                           PartitionCase{"/P/a/b", no, "P"}));

}  // namespace
