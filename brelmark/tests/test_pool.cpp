// The "ltm pool" grammar, its members and the record accessors.
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
using K = ParseErrorKind;

TEST(Pool, MembersAndProperties) {
  const std::string_view text =
      "ltm pool /Common/web_pool {\n"
      "    description \"Web servers\"\n"
      "    load-balancing-mode least-connections-member\n"
      "    members {\n"
      "        /Common/10.1.1.10:443 {\n"
      "            address 10.1.1.10\n"
      "            metadata {\n"
      "                owner {\n"
      "                    value ops\n"
      "                }\n"
      "            }\n"
      "            priority-group 10\n"
      "            ratio 2\n"
      "            session monitor-enabled\n"
      "            state up\n"
      "            monitor /Common/http\n"
      "        }\n"
      "        /Common/app-fqdn:443 {\n"
      "            fqdn {\n"
      "                autopopulate enabled\n"
      "                name app.example.com\n"
      "                interval 3600\n"
      "            }\n"
      "        }\n"
      "    }\n"
      "    min-active-members 1\n"
      "    monitor /Common/http and /Common/gateway_icmp \n"
      "    partition Tenant1\n"
      "    service-down-action reset\n"
      "}\n"
      "ltm snatpool s { }";
  auto r = parse_pool(text);
  expect_outcome(r, text, Ok("ltm snatpool s { }"));
  const ParsedPool& p = r.value();
  EXPECT_EQ(p.name.text(), "/Common/web_pool");
  EXPECT_EQ(p.description, "\"Web servers\"");
  EXPECT_EQ(p.load_balancing_mode, "least-connections-member");
  EXPECT_EQ(p.min_active_members, 1);
  EXPECT_EQ(p.monitor, "/Common/http and /Common/gateway_icmp ");  // untrimmed
  EXPECT_EQ(p.partition, "Tenant1");
  ASSERT_EQ(p.members.size(), 2u);

  const ParsedPoolMember& m = p.members[0];
  EXPECT_EQ(m.name.text(), "/Common/10.1.1.10:443");
  EXPECT_EQ(m.address, "10.1.1.10");
  EXPECT_EQ(m.priority_group, 10);
  EXPECT_EQ(m.ratio, 2);
  EXPECT_EQ(m.session, "monitor-enabled");
  EXPECT_EQ(m.state, "up");
  EXPECT_EQ(m.monitor, "/Common/http");  // read after the nested metadata block
  EXPECT_EQ(m.fqdn.autopopulate, "disabled");
  EXPECT_EQ(m.fqdn.name, "none");
  EXPECT_EQ(m.destination(), "10.1.1.10");

  const ParsedPoolMember& f = p.members[1];
  EXPECT_EQ(f.address, "");
  EXPECT_EQ(f.fqdn.autopopulate, "enabled");
  EXPECT_EQ(f.fqdn.name, "app.example.com");
  EXPECT_EQ(f.destination(), "app.example.com");
  EXPECT_EQ(f.monitor, "default");
  EXPECT_EQ(f.priority_group, 0);
  EXPECT_EQ(f.ratio, 1);

  auto copy = p.members_copy();
  ASSERT_EQ(copy.size(), 2u);
  EXPECT_EQ(copy[1].fqdn.name.data(), f.fqdn.name.data());  // still a view into the text
}

TEST(Pool, EmptyBodyGivesDefaults) {
  for (std::string_view text : {"ltm pool p {\n}", "ltm poolp {}", "  ltm pool p { \n\n }  "}) {
    SCOPED_TRACE(text);
    auto r = parse_pool(text);
    expect_outcome(r, text, Ok(""));
    const ParsedPool& p = r.value();
    EXPECT_EQ(p.name.text(), "p");
    EXPECT_TRUE(p.members.empty());
    EXPECT_EQ(p.monitor, "");
    EXPECT_EQ(p.description, "");
    EXPECT_EQ(p.load_balancing_mode, "round-robin");
    EXPECT_EQ(p.partition, "Common");
    EXPECT_EQ(p.min_active_members, 0);
  }
}

TEST(Pool, NumbersThatAreNotNumbersKeepTheEarlierValue) {
  struct Case {
    std::string_view line;
    std::uint16_t want;
  };
  const Case cases[] = {
      {"min-active-members +2", 2}, {"min-active-members 007", 7}, {"min-active-members 70000", 3},
      {"min-active-members -1", 3}, {"min-active-members 2 ", 3},  {"min-active-members x", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string text = "ltm pool p {\n min-active-members 3\n " + std::string(c.line) + "\n}";
    auto r = parse_pool(text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    EXPECT_EQ(r.value().min_active_members, c.want);
  }
  auto r = parse_pool("ltm pool p {\n members {\n  m {\n   priority-group 70000\n   ratio 0\n  }\n }\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().members.at(0).priority_group, 0);
  EXPECT_EQ(r.value().members.at(0).ratio, 0);
}

TEST(Pool, MembersBlocks) {
  struct Case {
    const char* name;
    std::string_view body;
    std::vector<std::string> members;
  };
  const Case cases[] = {
      {"members line with a value", " members none\n", {}},
      {"empty members block", " members { }\n", {}},
      {"second block replaces the first", " members {\n  a {\n   address 1\n  }\n }\n members {\n  b {\n   address 2\n  }\n }\n",
       {"b"}},
      {"member without address or fqdn", " members {\n  c {\n   session user-disabled\n  }\n }\n", {"c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "ltm pool p {\n" + std::string(c.body) + "}";
    auto r = parse_pool(text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    std::vector<std::string> names;
    for (const auto& m : r.value().members) names.emplace_back(m.name.text());
    EXPECT_EQ(names, c.members);
  }
  auto r = parse_pool("ltm pool p {\n members {\n  c {\n   state down\n  }\n }\n}");
  EXPECT_EQ(r.value().members.at(0).destination(), "none");
}

TEST(Pool, FqdnBlocks) {
  struct Case {
    const char* name;
    std::string_view member_body;
    std::string_view autopopulate, fqdn_name;
  };
  const Case cases[] = {
      {"autopopulate only", "fqdn {\n autopopulate enabled\n }", "enabled", "none"},
      {"one line, pair against brace", "fqdn { name a.example.com}", "disabled", "a.example.com"},
      {"unknown key ignored", "fqdn {\n other 1\n name n\n }", "disabled", "n"},
      {"each block gives both anew", "fqdn {\n autopopulate enabled\n }\n fqdn {\n name n\n }", "disabled", "n"},
      // A key without a value fails the block; it is skipped and the earlier settings stay.
      {"broken block skipped", "fqdn {\n autopopulate enabled\n }\n fqdn {\n name a b\n }", "enabled", "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "ltm pool p {\n members {\n  m {\n " + std::string(c.member_body) + "\n  }\n }\n}";
    auto r = parse_pool(text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    ASSERT_EQ(r.value().members.size(), 1u);
    EXPECT_EQ(r.value().members[0].fqdn.autopopulate, c.autopopulate);
    EXPECT_EQ(r.value().members[0].fqdn.name, c.fqdn_name);
  }
}

TEST(Pool, MembersOnOneLineAndEmptyMembers) {
  // A member written on one line reads as one written over several.
  std::string_view one_line = "ltm pool p {\n members {\n  m { address 10.0.0.1 }\n }\n}";
  auto r = parse_pool(one_line);
  expect_outcome(r, one_line, Ok(""));
  ASSERT_EQ(r.value().members.size(), 1u);
  EXPECT_EQ(r.value().members[0].address, "10.0.0.1");
  // A member with an empty body fails its members block, which is skipped whole: the pool's
  // other lines are read.
  for (std::string_view text : {"ltm pool p {\n members {\n  m { }\n }\n monitor x\n}",
                                "ltm pool p {\n members {\n  m {\n  }\n }\n monitor x\n}"}) {
    SCOPED_TRACE(text);
    auto empty = parse_pool(text);
    expect_outcome(empty, text, Ok(""));
    EXPECT_TRUE(empty.value().members.empty());
    EXPECT_EQ(empty.value().monitor, "x");
  }
}

// Where a member's body and the pool's close: a "}" followed by "{" heads an unknown block.
TEST(Pool, WhereTheBodiesClose) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
    std::vector<std::string> members;
  };
  const Case cases[] = {
      {"pool closes against a word", "ltm pool p {\n monitor m\n}x", Ok("x"), {}},
      {"brace block after the pool's close", "ltm pool p {\n monitor m\n}\n{\n}\nz", Err(K::Tag, ""), {}},
      {"brace block after a member's close",
       "ltm pool p {\n members {\n  m1 {\n   address 1\n  }\n  {\n  }\n  }\n }\n}\nrest", Ok("rest"), {"m1"}},
      // The member closes against "x", which begins no member: the members block is
      // skipped whole, up to the "}" that pairs with its "{".
      {"member closes against a word", "ltm pool p {\n members {\n  m1 {\n   address 1\n  }x\n }\n}\nrest",
       Ok("rest"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse_pool(c.text);
    expect_outcome(r, c.text, c.want);
    if (!r) continue;
    std::vector<std::string> names;
    for (const auto& m : r.value().members) names.emplace_back(m.name.text());
    EXPECT_EQ(names, c.members);
  }
}

TEST(Pool, MonitorWithBracesKeepsTheLine) {
  auto r = parse_pool("ltm pool p {\n    monitor min 1 of { /Common/http /Common/tcp }\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().monitor, "min 1 of { /Common/http /Common/tcp }");
}

TEST(Pool, CrLfLinesAndBlankLines) {
  std::string_view text = "ltm pool p {\r\n\r\n    members {\r\n        m {\r\n            address 1.2.3.4\r\n        }\r\n    }\r\n\r\n}\r\n";
  auto r = parse_pool(text);
  expect_outcome(r, text, Ok(""));
  ASSERT_EQ(r.value().members.size(), 1u);
  EXPECT_EQ(r.value().members[0].address, "1.2.3.4");
}

TEST(Pool, Failures) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      {"other object", "  ltm virtual v {\n}", Err(K::Tag, "ltm virtual v {\n}")},
      {"shorter than the keyword", "ltm po", Err(K::Tag, "ltm po")},
      {"no name", "ltm pool \n", Err(K::IsNot, "")},
      {"no brace", "ltm pool p\n", Err(K::Tag, "")},
      {"brace as name", "ltm pool {\n}", Err(K::Tag, "}")},
      {"end inside body", "ltm pool p {\n monitor m\n", Err(K::Tag, "")},
      {"line beginning with a brace", "ltm pool p {\n { a }\n}", Err(K::Tag, "{ a }\n}")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_outcome(parse_pool(c.text), c.text, c.want);
  }
}

TEST(PoolAccessors, NamePartAndPartition) {
  struct Case {
    std::string_view name;
    std::optional<std::string_view> name_part;
    std::optional<std::string_view> partition;  // with no default
  };
  const Case cases[] = {
      {"/Common/web_pool", "web_pool", "Common"},
      {"web_pool", "web_pool", std::nullopt},
      {"\u00a0/Tenant1/p\u00a0", "p", "Tenant1"},  // no-break spaces trimmed
      {"%1", std::nullopt, std::nullopt},          // the path pattern does not match
      {"//a/b", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "ltm pool " + std::string(c.name) + " {\n members {\n  " + std::string(c.name) +
                       " {\n   address 1.1.1.1\n  }\n }\n}";
    auto r = parse_pool(text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    EXPECT_EQ(opt(r.value().name_part()), opt(c.name_part));
    EXPECT_EQ(opt(r.value().members.at(0).name_part()), opt(c.name_part));
    EXPECT_EQ(opt(r.value().path_partition(std::nullopt)), opt(c.partition));
    EXPECT_EQ(opt(r.value().path_partition("Common")), opt(c.partition ? c.partition : "Common"));
  }
}

}  // namespace
}  // namespace brelmark
