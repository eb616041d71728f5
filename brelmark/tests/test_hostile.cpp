// Hostile configuration texts: parsing takes time in proportion to the text, and the
// memory of the list and block scans changes no result.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using lex::Text;

std::string repeated(std::string_view unit, std::size_t bytes, std::string_view tail = "") {
  std::string text;
  text.reserve(bytes + tail.size());
  while (text.size() + unit.size() <= bytes) text += unit;
  text += tail;
  return text;
}

std::string times(std::string_view unit, std::size_t count) { return repeated(unit, unit.size() * count); }

template <class F>
double seconds(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct HostileCase {
  const char* name;
  std::string_view unit;  // repeated to about 1 MB
  std::string_view tail;
  std::size_t virtuals, pools, snat_pools;
  std::string_view head = "";  // once, before the repeated units
};

// Texts whose objects never close, or close only at the very end, so that every object
// attempt and every skipped block or list could scan to the end of the text. A scan that
// is restarted at every line makes 1 MB of these take minutes; in linear time they take
// well under a second even in a debug build. The bound leaves room for a loaded machine.
constexpr double kBoundSeconds = 4.0;
constexpr std::size_t kHostileBytes = 1 << 20;

const HostileCase kHostile[] = {
    {"virtual", "ltm virtual a {\n", "", 0, 0, 0},
    {"virtual_closed_at_end", "ltm virtual a {\n", "}\n", 0, 0, 0},
    {"virtual_persist", "ltm virtual a {\n persist {\n", "", 0, 0, 0},
    {"virtual_nested_unknown", "ltm virtual a {\n persist { x {\n", "", 0, 0, 0},
    {"virtual_vlans", "ltm virtual a {\n vlans {\n", "", 0, 0, 0},
    {"virtual_quote", "ltm virtual a { \"x {\n", "", 0, 0, 0},
    {"virtual_policies", "ltm virtual a {\n policies {\n p {\n", "", 0, 0, 0},
    {"virtual_translation", "ltm virtual a { source-address-translation {\n", "", 0, 0, 0},
    {"pool_members", "ltm pool a {\n members {\n", "", 0, 0, 0},
    {"pool_member_block", "ltm pool a {\n members {\n m {\n x {\n", "", 0, 0, 0},
    {"pool_member_fqdn", "ltm pool a { members { m { fqdn {\n", "", 0, 0, 0},
    {"snatpool", "ltm snatpool a {\n", "", 0, 0, 0},
    {"snatpool_members", "ltm snatpool a {\n members {\n", "", 0, 0, 0},
    {"partition", "auth partition a {\n", "", 0, 0, 0},
    {"unknown_blocks", "x {\n", "", 0, 0, 0},
    {"open_braces_on_lines", "{\n", "", 0, 0, 0},
    {"open_braces_one_line", "{", "", 0, 0, 0},
    {"virtual_one_line_braces", "{ ", "", 0, 0, 0, "ltm virtual a { "},
    {"one_long_line", "a ", "", 0, 0, 0, "ltm virtual a { "},
    // Lists that do close, at the "}" at the very end, inside objects that fail there:
    // each line's attempt finds the same list again.
    {"virtual_rules_closed_at_end", "ltm virtual a { rules {\n", "}\n", 0, 0, 0},
    {"virtual_vlans_closed_at_end", "ltm virtual a { vlans {\n", "}\n", 0, 0, 0},
    {"virtual_log_profiles_closed_at_end", "ltm virtual a { security-log-profiles {\n", "}\n", 0, 0, 0},
    {"virtual_translation_closed_at_end", "ltm virtual a { source-address-translation {\n", "}\n", 0, 0, 0},
    {"virtual_policies_closed_at_end", "ltm virtual a { policies { p {\n", "}\n", 0, 0, 0},
    {"pool_member_fqdn_closed_at_end", "ltm pool a { members { m { fqdn {\n", "}\n", 0, 0, 0},
    {"pool_member_closed_at_end", "ltm pool a { members { m { fqdn {\n", "}\n}\n", 0, 0, 0},
    {"snatpool_members_closed_at_end", "ltm snatpool a { members {\n", "}\nx\n", 0, 0, 0},
    // A policies block whose blocks run on to the end, retried at each of its blocks: on
    // lines, and on one line (tabs end the lines of a block).
    {"virtual_policy_blocks", "policies {\n p {\n}\n", "", 0, 0, 0, "ltm virtual a {\n"},
    {"virtual_policy_blocks_one_line", "policies {\tp {\t}\t", "", 0, 0, 0, "ltm virtual a { "},
    // One line of many short objects and blocks: those that parse, and those that fail
    // with lists and blocks that run to the end of the line.
    {"one_line_objects", "ltm virtual a { rules { r } vlans { v } } ltm pool p { members { m { x { } } } } y { } ", "",
     kHostileBytes / 87, kHostileBytes / 87, 0},
    {"one_line_failing_objects", "ltm virtual a { rules { r } policies {\tp {\t}\t ltm pool p { members { m { fqdn { ", "",
     0, 0, 0},
    // Objects that do parse, among blocks that do not close: they are all found.
    {"pools_among_open_blocks", "x {\nltm pool p { }\n", "", 0, kHostileBytes / 19, 0},
};

TEST(HostileInput, ParsesInLinearTime) {
  for (const HostileCase& c : kHostile) {
    SCOPED_TRACE(c.name);
    std::string text = std::string(c.head) + repeated(c.unit, kHostileBytes, c.tail);
    ParseResult<ParsedConfig> config = ParseError::error(ParseErrorKind::Tag, "");
    double t = seconds([&] { config = parse_config(text); });
    EXPECT_LT(t, kBoundSeconds);
    ASSERT_TRUE(config);
    EXPECT_EQ(config.value().virtuals.size(), c.virtuals);
    EXPECT_EQ(config.value().pools.size(), c.pools);
    EXPECT_EQ(config.value().snat_pools.size(), c.snat_pools);
    // Every object parser on the same text, on its own.
    t = seconds([&] {
      (void)parse_virtual(text);
      (void)parse_pool(text);
      (void)parse_snatpool(text);
      (void)parse_partition(text);
    });
    EXPECT_LT(t, kBoundSeconds);
  }
}

// ---- the scans with and without memory -------------------------------------------------

// What one scan gave at one place, as offsets into the text.
struct Outcome {
  bool ok;
  std::size_t at;  // the rest, or the error's input
  ParseErrorKind kind;
  std::vector<std::string_view> values;
  bool operator==(const Outcome&) const = default;
};

template <class T>
Outcome outcome(Text text, const ParseResult<T>& r, std::function<std::vector<std::string_view>(const T&)> values) {
  if (!r) return {false, static_cast<std::size_t>(r.error().input.data() - text.data()), r.error().kind, {}};
  return {true, static_cast<std::size_t>(r.rest().data() - text.data()), ParseErrorKind::Tag, values(r.value())};
}

using Scan = std::function<Outcome(Text text, Text at)>;

std::vector<std::string_view> none(const lex::Unit&) { return {}; }

const std::vector<std::pair<const char*, Scan>>& scans() {
  static const std::vector<std::pair<const char*, Scan>> all = {
      {"skip_braced_list", [](Text t, Text at) { return outcome<lex::Unit>(t, lex::skip_braced_list(at), none); }},
      {"braced_list", [](Text t, Text at) {
         return outcome<std::vector<Text>>(t, lex::braced_list(at), [](const std::vector<Text>& v) { return v; });
       }},
      {"skip_block", [](Text t, Text at) { return outcome<lex::Unit>(t, lex::skip_block(at), none); }},
      {"named_block", [](Text t, Text at) {
         return outcome<lex::NamedBlock>(t, lex::named_block(at), [](const lex::NamedBlock& b) {
           std::vector<Text> v{b.word};
           v.insert(v.end(), b.lines.begin(), b.lines.end());
           return v;
         });
       }},
      {"skip_body_block", [](Text t, Text at) {
         return outcome<lex::Unit>(t, lex::skip_body_block(at), none);
       }},
      {"named_block_list_end", [](Text t, Text at) {
         return Outcome{true, static_cast<std::size_t>(lex::named_block_list_end(at).data() - t.data()),
                        ParseErrorKind::Tag, {}};
       }},
      {"skip_key_value_block", [](Text t, Text at) { return outcome<lex::Unit>(t, lex::skip_key_value_block(at, "k"), none); }},
      {"key_value_block", [](Text t, Text at) {
         return outcome<std::vector<std::pair<Text, Text>>>(
             t, lex::key_value_block(at, "k"), [](const std::vector<std::pair<Text, Text>>& pairs) {
               std::vector<Text> v;
               for (auto [key, value] : pairs) v.insert(v.end(), {key, value});
               return v;
             });
       }},
  };
  return all;
}

// Texts in which scans from different places meet at line ends, close far away, fail
// at separators, hold quoted braces and nest deeper than the plain scan reaches.
std::vector<std::string> memo_texts() {
  return {
      "{\n{ a\n b }\n{\n\"x }\" }\nv {\n}\n",
      "x {\n a b\n}\nx { a}\n{ \"q\" z }\n{ \"q\"z }\n  \n\t}\n",
      "k {\n a b\n c d }\nk { e f\n g }\nk {\n h\n}\nk { i j }",
      "vlans {\n v1\n}\np { q {\n} r {\n}\n}\nrules { x}\n",
      repeated("p { { }\n", 2000),
      repeated("p {\n a { }\n", 500, "}\n}\n"),
      repeated("x {\n", 300) + repeated("}\n", 200),
      repeated("k { a b\n", 200, " }\n"),
      repeated("{ \"a }\" b\n", 200, "}"),
      repeated("{", 700) + repeated("}", 650),
      repeated("x {\r\n \t", 200, "\r\n}"),
      // Many separate lists and blocks of many lines: closed, failing at a separator.
      times("{\n" + times(" a\n", 30) + "}\n", 12),
      times("x {\n" + times(" a\n", 30) + " b}\n", 12),
      times("k {\n" + times(" a b\n", 30) + "}\n", 12),
      // Lists of blocks that go on, end at a block that does not close, or at one not
      // set apart by white space.
      repeated("p {\n q {\n}\n", 600),
      repeated("p {\tq {\t}\t", 300, "x {\n") + repeated("p {\n}\n", 20, "p {\n}p {\n}\n"),
  };
}

TEST(ScanMemory, GivesTheResultsOfPlainScans) {
  for (const std::string& text : memo_texts()) {
    Text t(text);
    for (const auto& [name, scan] : scans()) {
      SCOPED_TRACE(std::string(name) + " on text of " + std::to_string(text.size()) + " bytes");
      // Without a scope every scan runs plainly.
      std::vector<Outcome> plain;
      for (std::size_t p = 0; p <= t.size(); ++p) plain.push_back(scan(t, t.substr(p)));
      // Under one scope, in three orders: forward, backward, and strided.
      for (int order = 0; order < 3; ++order) {
        lex::ScanScope scope(t);
        std::size_t n = t.size() + 1;
        for (std::size_t k = 0; k < n; ++k) {
          std::size_t p = order == 0 ? k : order == 1 ? n - 1 - k : (k * 7919) % n;
          ASSERT_EQ(scan(t, t.substr(p)), plain[p]) << "order " << order << " at " << p;
        }
      }
    }
  }
}

TEST(ScanMemory, ScopesOverOtherTextsDoNotMix) {
  // A scope over one text leaves scans of another text plain, and an inner scope over a
  // suffix of the same text shares the outer one.
  std::string a = repeated("x {\n", 100);
  std::string b = repeated("x {\n", 100, "}\n");
  lex::ScanScope outer(a);
  EXPECT_FALSE(lex::skip_block(a));
  {
    lex::ScanScope inner(Text(a).substr(4));
    EXPECT_FALSE(lex::skip_block(Text(a).substr(4)));
  }
  auto closed = lex::skip_block(b);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed.rest(), "\n");
}

}  // namespace
}  // namespace brelmark
