// The "auth partition" and "ltm snatpool" grammars.
#include <gtest/gtest.h>

#include "brelmark/grammar.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using test::Err;
using test::expect_outcome;
using test::Ok;
using test::opt;
using test::Outcome;
using test::strings;
using K = ParseErrorKind;
using Strings = std::vector<std::string>;

TEST(Partition, Properties) {
  struct Case {
    const char* name;
    std::string_view text;
    std::string_view want_name, description;
    std::uint16_t route_domain;
  };
  const Case cases[] = {
      {"empty body", "auth partition P {\n}", "P", "", 0},
      {"both lines", "\n auth partition Tenant1 {\n    default-route-domain 5\n    description \"Tenant 1\"\n}", "Tenant1",
       "\"Tenant 1\"", 5},
      {"plus sign", "auth partition P {\n default-route-domain +5\n}", "P", "", 5},
      {"leading zero", "auth partition P {\n default-route-domain 05\n}", "P", "", 5},
      {"last line wins", "auth partition P {\n description a\n description b { c }\n default-route-domain 1\n default-route-domain 2\n}",
       "P", "b { c }", 2},
      {"name against brace", "auth partition P{}", "P", "", 0},
      {"no-break space kept in name", "auth partition P\u00a0 {\n}", "P\u00a0", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse_partition(c.text);
    expect_outcome(r, c.text, Ok(""));
    EXPECT_EQ(r.value().name, c.want_name);
    EXPECT_EQ(r.value().description, c.description);
    EXPECT_EQ(r.value().default_route_domain, c.route_domain);
  }
}

// A route domain that is not a 16-bit number ends the body: the partition fails at its
// closing brace, with the rest from the keyword on.
TEST(Partition, RouteDomainThatIsNotANumberFailsRecoverably) {
  struct Case {
    std::string_view text;
    std::string_view at;
  };
  const Case cases[] = {
      {"auth partition P {\n    default-route-domain x\n}", "default-route-domain x\n}"},
      {"auth partition P {\n    default-route-domain -1\n}", "default-route-domain -1\n}"},
      {"auth partition P {\n    default-route-domain 65536\n}", "default-route-domain 65536\n}"},
      {"auth partition P {\n    default-route-domain 5 \n}", "default-route-domain 5 \n}"},
      {"auth partition P { default-route-domain 5x }", "default-route-domain 5x }"},
      {"auth partition P {\n    default-route-domain\n}", "default-route-domain\n}"},
      {"auth partition P {\n    default-route-domain   \n}", "default-route-domain   \n}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_outcome(parse_partition(c.text), c.text, Err(K::Tag, c.at));
  }
}

TEST(Partition, Failures) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      {"other object", " ltm pool p {}", Err(K::Tag, "ltm pool p {}")},
      {"no white space after keyword", "auth partitionP {}", Err(K::MultiSpace, "P {}")},
      {"no name", "auth partition \n", Err(K::IsNot, "")},
      {"brace instead of name", "auth partition {}", Err(K::IsNot, "{}")},
      {"no brace", "auth partition P\n", Err(K::Tag, "")},
      {"other setting", "auth partition P {\n    other x\n}", Err(K::Tag, "other x\n}")},
      {"description without value", "auth partition P {\n    description\n}", Err(K::Tag, "description\n}")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_outcome(parse_partition(c.text), c.text, c.want);
  }
}

TEST(SnatPool, MembersAndPartition) {
  struct Case {
    const char* name;
    std::string_view text;
    std::string_view want_name;
    Strings members;
    std::string_view partition;
  };
  const Case cases[] = {
      {"listing layout", "ltm snatpool /Common/snat1 {\n    members {\n        /Common/1.1.1.1\n        /Common/1.1.1.2\n    }\n}\n",
       "/Common/snat1", {"/Common/1.1.1.1", "/Common/1.1.1.2"}, ""},
      {"quoted member", "ltm snatpool s {\n members { \"a b\" c }\n partition Tenant1 \n}", "s", {"a b", "c"}, "Tenant1 "},
      {"no white space before name", "ltm snatpools {\n}", "s", {}, ""},
      {"name trimmed of no-break spaces", "ltm snatpool \u00a0s\u00a0 {}", "s", {}, ""},
      {"second list replaces the first", "ltm snatpool s {\n members {\n a\n }\n members { }\n}", "s", {}, ""},
      {"last partition wins", "ltm snatpool s {\n partition A\n partition B\n}", "s", {}, "B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse_snatpool(c.text);
    expect_outcome(r, c.text, Ok(""));
    EXPECT_EQ(r.value().name.text(), c.want_name);
    EXPECT_EQ(strings(r.value().members), c.members);
    EXPECT_EQ(strings(r.value().members_copy()), c.members);
    EXPECT_EQ(r.value().partition, c.partition);
  }
}

TEST(SnatPool, TextThatEndsEarlyIsIncomplete) {
  struct Case {
    std::string_view text;
    std::size_t needed;
  };
  const Case cases[] = {
      {"", 12},
      {"  \n ", 12},
      {"ltm snat", 4},
      {"ltm snatpool sp", 1},
      {"ltm snatpool sp  \n", 1},
      {"ltm snatpool sp {\n    members {\n        a\n    }\n", 1},
      {"ltm snatpool sp {", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = parse_snatpool(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().type, ParseError::Type::Incomplete);
    EXPECT_EQ(r.error().needed, c.needed);
    EXPECT_EQ(r.error().to_string(), "Parsing requires " + std::to_string(c.needed) + " bytes/chars");
  }
}

TEST(SnatPool, Failures) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      {"other object", "ltm pool p {}", Err(K::Tag, "ltm pool p {}")},
      {"no name", "ltm snatpool \n", Err(K::IsNot, "")},
      {"no brace", "ltm snatpool s x", Err(K::Tag, "x")},
      {"other line", "ltm snatpool s {\n    other x\n}", Err(K::Tag, "other x\n}")},
      {"other word on one line", "ltm snatpool s { members { a } other x }", Err(K::Tag, "other x }")},
      {"unfinished, followed by more", "ltm snatpool s {\n members {\n a\n }\nltm pool p {\n}", Err(K::Tag, "ltm pool p {\n}")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_outcome(parse_snatpool(c.text), c.text, c.want);
  }
}

TEST(SnatPool, PartitionOr) {
  struct Case {
    std::string_view name;
    std::string_view line;  // the "partition" line, or empty for none
    std::optional<std::string_view> dflt;
    std::optional<std::string_view> want;
  };
  const Case cases[] = {
      {"/Common/sp", "partition Common", std::nullopt, "Common"},
      {"sp", "partition Common", std::nullopt, std::nullopt},
      {"/Common/sp", "", std::nullopt, std::nullopt},
      {"/Common/sp", "partition X", "D", "X"},
      {"sp", "partition X", "D", "X"},  // the default stands in for the name's partition
      {"sp", "", "D", "D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " / " + std::string(c.line));
    std::string text = "ltm snatpool " + std::string(c.name) + " {\n " + std::string(c.line) + "\n}";
    auto r = parse_snatpool(text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    EXPECT_EQ(opt(r.value().partition_or(c.dflt)), opt(c.want));
  }
}

}  // namespace
}  // namespace brelmark
