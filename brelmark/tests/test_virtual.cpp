// The "ltm virtual" grammar.
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

TEST(Virtual, EveryProperty) {
  const std::string_view text =
      "  ltm virtual /Common/vs_app  {\n"
      "    creation-time 2024-03-11:09:14:52\n"
      "    description \"Front end\"  \n"
      "    destination /Common/192.0.1.1:443  \n"
      "    disabled\n"
      "    fw-enforced-policy /Common/fw\n"
      "    ip-protocol tcp\n"
      "    last-modified-time 2024-05-02:17:40:03\n"
      "    mask 255.255.255.255\n"
      "    partition Tenant1\n"
      "    persist {\n"
      "        /Common/cookie {\n"
      "            default yes\n"
      "        }\n"
      "    }\n"
      "    policies {\n"
      "        /Common/p1 { }\n"
      "        /Common/p2 {\n"
      "            rule one\n"
      "            rule two\n"
      "        }\n"
      "    }\n"
      "    pool /Common/pool_app\n"
      "    profiles {\n"
      "        /Common/clientssl {\n"
      "            context clientside\n"
      "        }\n"
      "        /Common/http { }\n"
      "        /Common/tcp {\n"
      "            context serverside\n"
      "            context all\n"
      "        }\n"
      "    }\n"
      "    rules {\n"
      "        /Common/irule_a\n"
      "        /Common/irule_b\n"
      "    }\n"
      "    security-log-profiles {\n"
      "        \"/Common/Log illegal requests\"\n"
      "    }\n"
      "    serverssl-use-sni disabled\n"
      "    source 0.0.0.0/0\n"
      "    source-address-translation {\n"
      "        pool /Common/snat_app\n"
      "        type snat\n"
      "        other x\n"
      "    }\n"
      "    translate-address enabled\n"
      "    translate-port disabled\n"
      "    vlans {\n"
      "        /Common/external\n"
      "        /Common/internal\n"
      "    }\n"
      "    vlans-enabled\n"
      "    vs-index 7\n"
      "}\n"
      "ltm pool next {\n}";
  auto r = parse_virtual(text);
  expect_outcome(r, text, Ok("ltm pool next {\n}"));
  const ParsedVirtual& v = r.value();
  EXPECT_EQ(v.name.text(), "/Common/vs_app");
  EXPECT_EQ(v.destination.text(), "/Common/192.0.1.1:443");  // trimmed
  EXPECT_EQ(v.pool.text(), "/Common/pool_app");
  EXPECT_EQ(v.description, "\"Front end\"  ");  // quotes and trailing blanks kept
  EXPECT_EQ(v.partition, "Tenant1");
  EXPECT_EQ(v.ip_protocol, "tcp");
  EXPECT_EQ(opt(v.creation_time), "2024-03-11:09:14:52");
  EXPECT_EQ(opt(v.last_modified_time), "2024-05-02:17:40:03");
  EXPECT_EQ(opt(v.fw_enforced_policy), "/Common/fw");
  EXPECT_EQ(v.mask, "255.255.255.255");
  EXPECT_EQ(v.source, "0.0.0.0/0");
  EXPECT_EQ(v.translate_address, "enabled");
  EXPECT_EQ(v.translate_port, "disabled");
  EXPECT_EQ(v.source_address_translation.type, "snat");
  EXPECT_EQ(v.source_address_translation.pool, "/Common/snat_app");
  ASSERT_EQ(v.profiles.size(), 3u);
  EXPECT_EQ(v.profiles[0].name, "/Common/clientssl");
  EXPECT_EQ(opt(v.profiles[0].context), "clientside");
  EXPECT_EQ(v.profiles[1].name, "/Common/http");
  EXPECT_FALSE(v.profiles[1].context);
  EXPECT_EQ(opt(v.profiles[2].context), "all");  // the last context line
  ASSERT_EQ(v.policies.size(), 2u);
  EXPECT_EQ(v.policies[0].name, "/Common/p1");
  EXPECT_TRUE(v.policies[0].entries.empty());
  EXPECT_EQ(strings(v.policies[1].entries), (Strings{"rule one", "rule two"}));
  EXPECT_EQ(strings(v.rules), (Strings{"/Common/irule_a", "/Common/irule_b"}));
  EXPECT_EQ(strings(v.security_log_profiles), (Strings{"/Common/Log illegal requests"}));
  EXPECT_EQ(strings(v.vlans), (Strings{"/Common/external", "/Common/internal"}));
  EXPECT_TRUE(v.vlans_enabled);
  EXPECT_TRUE(v.disabled);
}

TEST(Virtual, DefaultsWhenNoPropertyIsGiven) {
  auto r = parse_virtual("ltm virtual vs {\n    enabled\n}");
  ASSERT_TRUE(r.ok());
  const ParsedVirtual& v = r.value();
  EXPECT_EQ(v.name.text(), "vs");
  EXPECT_TRUE(v.destination.empty());
  EXPECT_TRUE(v.pool.empty());
  EXPECT_EQ(v.description, "");
  EXPECT_EQ(v.partition, "");
  EXPECT_FALSE(v.creation_time);
  EXPECT_FALSE(v.last_modified_time);
  EXPECT_FALSE(v.fw_enforced_policy);
  EXPECT_TRUE(v.profiles.empty() && v.vlans.empty() && v.rules.empty() && v.policies.empty());
  EXPECT_TRUE(v.security_log_profiles.empty());
  EXPECT_EQ(v.source_address_translation.type, "");
  EXPECT_FALSE(v.vlans_enabled);
  EXPECT_FALSE(v.disabled);
}

// Properties after blocks the grammar does not know survive, whatever the blocks hold.
TEST(Virtual, UnknownBlocksAreSkippedWhole) {
  struct Case {
    const char* name;
    std::string_view body;
  };
  const Case cases[] = {
      {"nested over lines", "    persist {\n        /Common/cookie {\n            default yes\n        }\n    }\n"},
      {"nested on one line", "    persist { /Common/cookie { default yes } }\n"},
      {"one line, word against brace", "    metadata { a}\n"},
      {"deeper nesting", "    clone-pools {\n        a {\n            b {\n                c d\n            }\n        }\n    }\n"},
      {"braced list", "    { x y }\n"},
      {"unknown lines", "    enabled\n    sourcefoo bar\n    vs-index 2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "ltm virtual vs {\n    destination 10.0.0.1:80\n";
    text += c.body;
    text += "    pool p1\n    profiles {\n        tcp { }\n    }\n    vlans-enabled\n}\nx";
    auto r = parse_virtual(text);
    expect_outcome(r, text, Ok("x"));
    EXPECT_EQ(r.value().destination.text(), "10.0.0.1:80");
    EXPECT_EQ(r.value().pool.text(), "p1");
    ASSERT_EQ(r.value().profiles.size(), 1u);
    EXPECT_TRUE(r.value().vlans_enabled);
  }
}

TEST(Virtual, LastOccurrenceWins) {
  auto r = parse_virtual(
      "ltm virtual vs {\n destination a:1\n destination b:2\n vlans {\n v1\n v2\n }\n vlans {\n v3\n }\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().destination.text(), "b:2");
  EXPECT_EQ(strings(r.value().vlans), (Strings{"v3"}));
}

TEST(Virtual, KeywordsDoNotCaptureLongerWords) {
  auto r = parse_virtual(
      "ltm virtual vs {\n sourcex 1\n source-port preserve\n vlans-enabled\n disabledx\n source 1.2.3.4\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().source, "1.2.3.4");
  EXPECT_TRUE(r.value().vlans_enabled);
  EXPECT_TRUE(r.value().vlans.empty());
  // A flag keyword takes a longer word that begins with it; the rest of the word is skipped.
  EXPECT_TRUE(r.value().disabled);
}

TEST(Virtual, SourceTranslationOnOneLineAndAgainstBrace) {
  auto r = parse_virtual("ltm virtual vs {\n source-address-translation { type automap}\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().source_address_translation.type, "automap");
  EXPECT_EQ(r.value().source_address_translation.pool, "");
}

TEST(Virtual, Failures) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      {"other object", "\n ltm pool p {\n}", Err(K::Tag, "ltm pool p {\n}")},
      {"no white space after keyword", "ltm virtualvs {\n a\n}", Err(K::MultiSpace, "vs {\n a\n}")},
      {"virtual-address", "ltm virtual-address a {\n}", Err(K::MultiSpace, "-address a {\n}")},
      {"no name", "ltm virtual  \n", Err(K::IsNot, "")},
      {"no brace", "ltm virtual vs\n destination x\n", Err(K::Tag, "destination x\n")},
      {"brace taken into name", "ltm virtual vs{\n mask x\n}", Err(K::Tag, "mask x\n}")},
      {"empty body", "ltm virtual vs {\n   }", Err(K::IsNot, "}")},
      {"empty body on one line", "ltm virtual vs {}", Err(K::IsNot, "}")},
      {"end of text inside body", "ltm virtual vs {\n mask x\n", Err(K::Tag, "")},
      {"one-line object that does not close", "ltm virtual vs { mask x { }", Err(K::Tag, "")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_outcome(parse_virtual(c.text), c.text, c.want);
  }
}

// A "}" closes the body unless "{" follows it: then it heads an unknown block and the
// body goes on after that block.
TEST(Virtual, WhereTheBodyCloses) {
  struct Case {
    const char* name;
    std::string_view text;
    Outcome want;
    std::string_view pool;
  };
  const Case cases[] = {
      {"close, white space passed", "ltm virtual vs {\n mask m\n}  \n x", Ok("x"), ""},
      {"close against a word", "ltm virtual vs {\n mask m\n}x\n", Ok("x\n"), ""},
      {"close at the end of the text", "ltm virtual vs {\n mask m\n}", Ok(""), ""},
      {"brace block after the close", "ltm virtual vs {\n mask m\n}\n{ a }\n pool p\n}\nx", Ok("x"), "p"},
      {"brace word block", "ltm virtual vs {\n mask m\n}x { a }\n pool p\n}\nx", Ok("x"), "p"},
      {"brace block to the end", "ltm virtual vs {\n mask m\n} \n {\n pool p\n}", Err(K::Tag, ""), ""},
      {"brace block that does not close", "ltm virtual vs {\n mask m\n}\n{ a \n", Ok("{ a \n"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = parse_virtual(c.text);
    expect_outcome(r, c.text, c.want);
    if (!r) continue;
    EXPECT_EQ(r.value().mask, "m");
    EXPECT_EQ(r.value().pool.text(), c.pool);
  }
}

TEST(Virtual, KeywordsAgainstBracesAndWithoutValues) {
  // A list keyword takes a "{" against it; a line keyword without a value is a skipped line.
  std::string_view text = "ltm virtual vs {\n vlans{ v1 }\n pool  \n mask m\n}";
  auto r = parse_virtual(text);
  expect_outcome(r, text, Ok(""));
  EXPECT_EQ(strings(r.value().vlans), (Strings{"v1"}));
  EXPECT_TRUE(r.value().pool.empty());
  EXPECT_EQ(r.value().mask, "m");
}

TEST(Virtual, ProfileEntryWithOtherLinesKeepsItsContext) {
  // What a profile's body holds besides "context" is skipped, lines and blocks alike.
  std::string_view text =
      "ltm virtual vs {\n profiles {\n  tcp {\n   other x\n   context serverside\n   b { c }\n  }\n }\n mask m\n}";
  auto r = parse_virtual(text);
  expect_outcome(r, text, Ok(""));
  ASSERT_EQ(r.value().profiles.size(), 1u);
  EXPECT_EQ(r.value().profiles[0].name, "tcp");
  EXPECT_EQ(r.value().profiles[0].context, "serverside");
  EXPECT_EQ(r.value().mask, "m");
}

TEST(Virtual, ValuesRunToTheLineEnd) {
  auto r = parse_virtual("ltm virtual vs {\n description a { b } c\n destination  /Common/d:80 \t\n}");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().description, "a { b } c");
  EXPECT_EQ(r.value().destination.text(), "/Common/d:80");
}

TEST(Virtual, CrLfLinesReadAsLfLines) {
  std::string_view text = "ltm virtual vs {\r\n    mask 255.0.0.0\r\n    vlans {\r\n        v1\r\n    }\r\n}\r\n";
  auto r = parse_virtual(text);
  expect_outcome(r, text, Ok(""));
  EXPECT_EQ(r.value().mask, "255.0.0.0");
  EXPECT_EQ(strings(r.value().vlans), (Strings{"v1"}));
}

}  // namespace
}  // namespace brelmark
