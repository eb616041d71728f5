// The whole-configuration parser.
#include <gtest/gtest.h>

#include "brelmark/grammar.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using test::is_tail_of;
using Strings = std::vector<std::string>;

// The names of each list, partitions last so the appended "Common" shows.
struct Found {
  Strings virtuals, pools, snat_pools, partitions;
  std::string rest;
};

Found parse(std::string_view text) {
  auto r = parse_config(text);
  EXPECT_TRUE(r.ok()) << r.error().to_string();
  if (!r) return {};
  EXPECT_TRUE(is_tail_of(r.rest(), text));
  Found f;
  for (const auto& v : r.value().virtuals) f.virtuals.emplace_back(v.name.text());
  for (const auto& p : r.value().pools) f.pools.emplace_back(p.name.text());
  for (const auto& s : r.value().snat_pools) f.snat_pools.emplace_back(s.name.text());
  for (const auto& p : r.value().partitions) f.partitions.emplace_back(p.name);
  f.rest = r.rest();
  return f;
}

void expect_found(const Found& got, const Found& want) {
  EXPECT_EQ(got.virtuals, want.virtuals);
  EXPECT_EQ(got.pools, want.pools);
  EXPECT_EQ(got.snat_pools, want.snat_pools);
  EXPECT_EQ(got.partitions, want.partitions);
  EXPECT_EQ(got.rest, want.rest);
}

TEST(Config, ObjectsInTextOrderAndTheCommonPartition) {
  struct Case {
    const char* name;
    std::string_view text;
    Found want;
  };
  const Case cases[] = {
      {"empty text", "", {{}, {}, {}, {"Common"}, ""}},
      {"white space only", " \n\t\r\n ", {{}, {}, {}, {"Common"}, ""}},
      {"partition named Common", "auth partition Common {\n description x\n}\n", {{}, {}, {}, {"Common"}, ""}},
      {"partition named common", "auth partition common {\n}\n", {{}, {}, {}, {"common", "Common"}, ""}},
      {"mixed order",
       "ltm virtual v1 {\n mask m\n}\nauth partition T {\n}\nltm pool p {\n}\nltm virtual v2 {\n mask m\n}\n"
       "ltm snatpool s {\n}\n",
       {{"v1", "v2"}, {"p"}, {"s"}, {"T", "Common"}, ""}},
      {"same names all stay", "ltm pool p {\n}\nltm pool p {\n}\n", {{}, {"p", "p"}, {}, {"Common"}, ""}},
      {"comments, other objects and blank lines skipped",
       "# comment line\n\nltm node /Common/n1 {\n    address 10.0.0.1\n}\nsys global-settings {\n    hostname x\n}\n"
       "ltm profile tcp /Common/t {\n    options { a b }\n}\n{ stray list }\nltm pool p {\n}\n",
       {{}, {"p"}, {}, {"Common"}, ""}},
      {"objects directly after each other", "ltm pool a {\n}ltm pool b {\n}", {{}, {"a", "b"}, {}, {"Common"}, ""}},
      {"a listing printed one object per line",
       "auth partition T { default-route-domain 2 description \"T one\" }\n"
       "ltm node /T/n1 { address 10.0.0.1%2 }\n"
       "ltm pool /T/p { members { /T/n1:80 { address 10.0.0.1%2 } } monitor /Common/http }\n"
       "ltm snatpool /T/s { members { /T/10.1.1.1 } }\n"
       "ltm virtual /T/v { destination /T/10.0.0.9%2:80 persist { /Common/cookie { default yes } } pool /T/p "
       "profiles { /Common/tcp { } } }\n",
       {{"/T/v"}, {"/T/p"}, {"/T/s"}, {"T", "Common"}, ""}},
      {"two one-line objects on one line", "ltm pool a { monitor m } ltm pool b { members { m:1 { address 1 } } }",
       {{}, {"a", "b"}, {}, {"Common"}, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_found(parse(c.text), c.want);
  }
}

TEST(Config, ObjectsWhoseBodiesFailAreSkipped) {
  struct Case {
    const char* name;
    std::string_view text;
    Found want;
  };
  const Case cases[] = {
      {"virtual with a block that does not close",
       "ltm virtual bad {\n vlans { v1\n}\nltm virtual good {\n mask m\n}\n", {{"good"}, {}, {}, {"Common"}, ""}},
      {"virtual at the end without its brace", "ltm pool p {\n}\nltm virtual v {\n mask m\n", {{}, {"p"}, {}, {"Common"}, ""}},
      {"pool at the end without its brace", "ltm pool p {\n monitor m\n", {{}, {}, {}, {"Common"}, ""}},
      {"partition with an unknown line", "auth partition T {\n other x\n}\nltm pool p {\n}\n", {{}, {"p"}, {}, {"Common"}, ""}},
      {"partition with a route domain that is not a number",
       "auth partition T {\n default-route-domain x\n}\nauth partition U {\n default-route-domain 2\n}\n",
       {{}, {}, {}, {"U", "Common"}, ""}},
      {"SNAT pool with an unknown line", "ltm snatpool s {\n other x\n}\nltm pool p {\n}\n", {{}, {"p"}, {}, {"Common"}, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_found(parse(c.text), c.want);
  }
}

TEST(Config, WhereTheItemListEnds) {
  struct Case {
    const char* name;
    std::string_view text;
    Found want;
  };
  const Case cases[] = {
      {"proper prefix of the SNAT-pool keyword", "ltm pool p {\n}\nltm snat", {{}, {"p"}, {}, {"Common"}, "ltm snat"}},
      {"beginning of another keyword is skipped", "ltm pool p {\n}\nltm vir", {{}, {"p"}, {}, {"Common"}, ""}},
      {"unfinished SNAT pool at the end", "ltm pool p {\n}\nltm snatpool s {\n members {\n a\n }\n",
       {{}, {"p"}, {}, {"Common"}, "ltm snatpool s {\n members {\n a\n }\n"}},
      {"SNAT pool name at the end", "ltm snatpool s  ", {{}, {}, {}, {"Common"}, "ltm snatpool s  "}},
      {"unfinished SNAT pool followed by an object", "ltm snatpool s {\n members {\n a\n }\nltm pool p {\n}\n",
       {{}, {"p"}, {}, {"Common"}, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_found(parse(c.text), c.want);
  }
}

// The items before an object decide where objects are looked for: a block hides the object
// lines it takes ("hidden"), and every item ends exactly where the next begins ("p"). Each
// text is long enough after every item for the item to be told from its first bytes.
TEST(Config, ItemsBeforeAnObjectInLongerTexts) {
  auto repeat = [](std::string_view s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  struct Case {
    const char* name;
    std::string before;
    Strings pools;
  };
  const std::string gap(40, ' ');
  const Case cases[] = {
      {"a line", "    address 10.1.1.10\n", {"p"}},
      {"a line with CR LF", "address 10.1.1.10\r\n}\r\n", {"p"}},
      {"a line \"}\" alone, then an indented one", "}\n        }\n    other line\n", {"p"}},
      {"a line \"}\" followed by a block on the next line", "}\n{\n" "ltm pool hidden {\n}\n", {"p"}},
      {"an object keyword's first word", "ltm node /Common/n {\n    address 10.0.0.1\n}\n", {"p"}},
      {"a keyword that is no object's", "auth user admin {\n    role admin\n}\n", {"p"}},
      {"a line longer than the first bytes read", "send \"" + std::string(90, 'g') + "\"\n", {"p"}},
      {"the next item far past the line end", "key value\n" + gap + gap + "next line\n", {"p"}},
      {"a block", "word {\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a block whose brace is on the next line", "word\n{\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a block whose brace is a little after its word", "word" + std::string(20, ' ') + "{\n" "ltm pool hidden {\n}\n",
       {"p"}},
      {"a block whose brace is far after its word", "word" + gap + "{\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a first word longer than the first bytes read", std::string(70, 'w') + " {\n" "ltm pool hidden {\n}\n", {"p"}},
      {"vertical tab and form feed are no white space", "a\vb {\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a form feed inside the first word", "a\fb c\n", {"p"}},
      {"an object keyword later in a line", "x ltm pool hidden {\n}\n", {"p"}},
      {"a block without lines", "word { }\n", {"p"}},
      {"a block whose line runs into its \"}\" is a line", "word {\n    a}\n" "ltm pool hidden {\n}\n",
       {"hidden", "p"}},
      {"a block of a few lines", "word {\n    a b\n    c\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a block of many lines", "word {\n" + repeat("    line\n", 12) + "ltm pool hidden {\n}\n", {"p"}},
      {"blocks that run on and fail, one inside the other", repeat("a {\n", 12) + "x}\n", {"p"}},
      {"a block of a long line", "word {\n" + std::string(300, 'x') + "\n" "ltm pool hidden {\n}\n", {"p"}},
      {"a braced list", "{ a b }\n", {"p"}},
      {"a braced list runs on to the first \"}\"", "{ a\n", {}},
  };
  const std::string tail = "# " + std::string(80, 'x') + "\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = tail + c.before + "ltm pool p {\n}\n" + tail;
    expect_found(parse(text), {{}, c.pools, {}, {"Common"}, ""});
  }
}

// One byte-order mark at the very start is skipped; anywhere else the mark is text, and the
// line it begins is skipped as an unknown one.
TEST(Config, OneLeadingByteOrderMarkIsSkipped) {
  static_assert(skip_byte_order_mark("\xEF\xBB\xBF" "x") == "x");
  static_assert(skip_byte_order_mark("\xEF\xBB\xBF" "\xEF\xBB\xBF" "x") == "\xEF\xBB\xBF" "x");
  static_assert(skip_byte_order_mark(" \xEF\xBB\xBF" "x") == " \xEF\xBB\xBF" "x");
  static_assert(skip_byte_order_mark("\xEF\xBB" "x") == "\xEF\xBB" "x");
  static_assert(skip_byte_order_mark("").empty());
  struct Case {
    const char* name;
    std::string_view text;
    Found want;
  };
  const Case cases[] = {
      {"mark before the first object", "\xEF\xBB\xBF" "ltm pool a {\n}\nltm pool b {\n}\n",
       {{}, {"a", "b"}, {}, {"Common"}, ""}},
      {"mark before a partition", "\xEF\xBB\xBF" "auth partition T {\n}\n", {{}, {}, {}, {"T", "Common"}, ""}},
      {"mark, then white space", "\xEF\xBB\xBF" "\n  ltm pool a {\n}\n", {{}, {"a"}, {}, {"Common"}, ""}},
      {"only a mark", "\xEF\xBB\xBF", {{}, {}, {}, {"Common"}, ""}},
      {"second mark", "\xEF\xBB\xBF" "\xEF\xBB\xBF" "ltm pool a {\n}\nltm pool b {\n}\n",
       {{}, {"b"}, {}, {"Common"}, ""}},
      {"mark after white space", " \xEF\xBB\xBF" "ltm pool a {\n}\nltm pool b {\n}\n", {{}, {"b"}, {}, {"Common"}, ""}},
      {"mark after the first object", "ltm pool a {\n}\n\xEF\xBB\xBF" "ltm pool b {\n}\n",
       {{}, {"a"}, {}, {"Common"}, ""}},
      {"two bytes of a mark", "\xEF\xBB" "ltm pool a {\n}\nltm pool b {\n}\n", {{}, {"b"}, {}, {"Common"}, ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_found(parse(c.text), c.want);
  }
}

// Properties written after nested unknown blocks are kept, and the objects after them read.
TEST(Config, VirtualWithNestedUnknownBlock) {
  std::string_view text =
      "ltm virtual /Common/vs {\n"
      "    persist {\n"
      "        /Common/cookie {\n"
      "            default yes\n"
      "        }\n"
      "    }\n"
      "    pool /Common/pool1\n"
      "    profiles {\n"
      "        /Common/http { }\n"
      "    }\n"
      "    source-address-translation {\n"
      "        type automap\n"
      "    }\n"
      "    vlans {\n"
      "        /Common/external\n"
      "    }\n"
      "}\n"
      "ltm pool /Common/pool1 {\n"
      "}\n";
  auto r = parse_config(text);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.value().virtuals.size(), 1u);
  const ParsedVirtual& v = r.value().virtuals[0];
  EXPECT_EQ(v.pool.text(), "/Common/pool1");
  EXPECT_EQ(v.profiles.size(), 1u);
  EXPECT_EQ(v.source_address_translation.type, "automap");
  EXPECT_EQ(test::strings(v.vlans), (Strings{"/Common/external"}));
  EXPECT_EQ(r.value().pools.size(), 1u);
}

// At the top level a block does not nest: one whose own "}" is missing runs on to the
// next "}" it can take, and the objects in that stretch are not read.
TEST(Config, TopLevelBlockWithoutItsBraceHidesObjects) {
  auto f = parse("broken {\n    a\nltm pool hidden {\n}\nltm pool seen {\n}\n");
  expect_found(f, {{}, {"seen"}, {}, {"Common"}, ""});
}

TEST(Config, RecordsViewTheText) {
  std::string text = "auth partition T {\n description d\n}\nltm snatpool s {\n members {\n m\n }\n}\n";
  auto r = parse_config(text);
  ASSERT_TRUE(r.ok());
  const auto& p = r.value().partitions.at(0);
  EXPECT_GE(p.description.data(), text.data());
  EXPECT_LT(p.description.data(), text.data() + text.size());
  const auto& common = r.value().partitions.at(1);
  EXPECT_EQ(common.name, "Common");
  EXPECT_EQ(common.description, "");
  EXPECT_EQ(common.default_route_domain, 0);
  EXPECT_EQ(r.value().snat_pools.at(0).members.at(0).data(), text.data() + text.find(" m\n") + 1);
}

}  // namespace
}  // namespace brelmark

namespace brelmark {
namespace {

// A text without storage (a default string view) reads as the empty text everywhere.
TEST(Config, TextWithoutStorage) {
  const std::string_view none;
  auto config = parse_config(none);
  ASSERT_TRUE(config.ok());
  ASSERT_EQ(config.value().partitions.size(), 1u);
  EXPECT_EQ(parse_virtual(none).error().kind, ParseErrorKind::Tag);
  EXPECT_EQ(parse_pool(none).error().kind, ParseErrorKind::Tag);
  EXPECT_EQ(parse_partition(none).error().kind, ParseErrorKind::Tag);
  EXPECT_EQ(parse_snatpool(none).error().needed, 12u);
  EXPECT_EQ(parse_member_address(none).error().kind, ParseErrorKind::Digit);
}

}  // namespace
}  // namespace brelmark
