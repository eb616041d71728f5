// The YAML layer: loading documents into events, walking them with the
// nesting and alias limits, the error texts, scalar resolution and the
// emitter's round trips.
#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include <re2/re2.h>

#include "formats/yaml.hpp"

namespace y = qv::yaml;

namespace {

// ---- a compact rendering of a loaded document ----
// plain scalars as written ("()" when empty), 'single', "double", |literal|,
// >folded>; a tag in <...> before its node; an alias as *index of the named
// event; sequences [..], mappings {k: v, ...}; then " !! error" and " +more".
std::string dump(const y::Document& d) {
  std::string out;
  std::vector<bool> in_map;   // per open collection: a mapping?
  std::vector<int> position;  // items written in each open collection
  auto separator = [&]() {
    if (position.empty()) return;
    int n = position.back()++;
    if (in_map.back()) out += n == 0 ? "" : (n % 2 == 1 ? ": " : ", ");
    else if (n > 0) out += ", ";
  };
  for (const y::Event& e : d.events) {
    if (e.kind == y::EventKind::SequenceEnd || e.kind == y::EventKind::MappingEnd) {
      out += in_map.back() ? "}" : "]";
      in_map.pop_back();
      position.pop_back();
      continue;
    }
    separator();
    if (!d.tag(e).empty()) out += "<" + std::string(d.tag(e)) + ">";
    switch (e.kind) {
      case y::EventKind::Void: out += "<void>"; break;
      case y::EventKind::Alias: out += "*" + std::to_string(e.offset); break;
      case y::EventKind::Scalar: {
        std::string v(d.value(e));
        switch (e.style) {
          case y::ScalarStyle::Plain: out += v.empty() ? "()" : v; break;
          case y::ScalarStyle::SingleQuoted: out += "'" + v + "'"; break;
          case y::ScalarStyle::DoubleQuoted: out += "\"" + v + "\""; break;
          case y::ScalarStyle::Literal: out += "|" + v + "|"; break;
          case y::ScalarStyle::Folded: out += ">" + v + ">"; break;
        }
        break;
      }
      case y::EventKind::SequenceStart:
      case y::EventKind::MappingStart:
        out += e.kind == y::EventKind::MappingStart ? "{" : "[";
        in_map.push_back(e.kind == y::EventKind::MappingStart);
        position.push_back(0);
        break;
      default: break;
    }
  }
  if (d.error) out += " !! " + d.error->text();
  if (d.more_documents) out += " +more";
  return out;
}

// ---- a generic value tree, read through the walker ----
struct TreeEntry;
using TreeMap = std::vector<TreeEntry>;
struct Tree {
  std::variant<std::string, std::vector<Tree>, TreeMap> v;
  bool operator==(const Tree&) const;
};
struct TreeEntry {
  TreeEntry(std::string k, Tree t) : first(std::move(k)), second(std::move(t)) {}
  std::string first;
  Tree second;
};
bool operator==(const TreeEntry& a, const TreeEntry& b) { return a.first == b.first && a.second == b.second; }
bool Tree::operator==(const Tree& other) const { return v == other.v; }

y::Status read_tree(y::Walker& w, const y::Path& path, Tree& out) {
  const y::Event* e = nullptr;
  if (y::Status st = w.peek(e)) return st;
  if (e->kind == y::EventKind::Alias) {
    w.next(e);
    y::Walker sub(w);
    if (y::Status st = w.jump(*e, sub)) return st;
    return read_tree(sub, path, out);
  }
  if (e->kind == y::EventKind::SequenceStart) {
    std::vector<Tree> items;
    y::Status st = y::read_seq(w, path, "a sequence", [&](y::Walker& ew, const y::Path& p) {
      return read_tree(ew, p, items.emplace_back());
    });
    out.v = std::move(items);
    return st;
  }
  if (e->kind == y::EventKind::MappingStart) {
    TreeMap entries;
    y::Status st = y::read_map(
        w, path, "a map",
        [&](y::Walker& ew, std::string_view key, const y::Path& p) {
          auto& entry = entries.emplace_back(std::string(key), Tree{});
          return read_tree(ew, p, entry.second);
        },
        [] { return y::Status(); });
    out.v = std::move(entries);
    return st;
  }
  std::string_view text;
  y::Status st = y::read_str(w, path, "a string", text);
  out.v = std::string(text);
  return st;
}

// Reads a whole text as a tree; the error text, or "" on success.
std::string read_text(std::string_view text, Tree* tree = nullptr) {
  Tree t;
  y::Status st = y::read_document(text, [&](y::Walker& w, const y::Path& p) {
    return read_tree(w, p, t);
  });
  if (tree) *tree = t;
  return st ? st->text() : "";
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

// ------------------------------------------------------------------ loading

TEST(YamlLoad, DocumentModel) {
  struct Case {
    const char* text;
    const char* events;
  } cases[] = {
      {"", "<void>"},
      {"# only a comment\n\n", "<void>"},
      {"---", "()"},
      {"--- \n...\n", "()"},
      {"a: 1", "{a: 1}"},
      {"a:\n- x\n- 'y'\n- \"z\"\n-\n", "{a: [x, 'y', \"z\", ()]}"},
      {"{a: [b, c], d: }", "{a: [b, c], d: ()}"},
      {"k: |\n  l1\n  l2\nf: >-\n  a\n  b\n", "{k: |l1\nl2\n|, f: >a b>}"},
      {"a: &x [1, 2]\nb: *x\n", "{a: [1, 2], b: *2}"},
      // a later anchor of the same name hides the earlier one
      {"- &a 1\n- &a 2\n- &b 3\n- *a\n- *b\n", "[1, 2, 3, *2, *3]"},
      {"!!str 5", "<tag:yaml.org,2002:str>5"},
      {"- !local x\n- ! 'y'\n- !!map {}\n", "[<!local>x, <!>'y', <tag:yaml.org,2002:map>{}]"},
      {"%YAML 1.1\n---\na\n", "a"},
      {"? [a, b]\n: c\n", "{[a, b]: c}"},
      {"<<: {a: 1}\n", "{<<: {a: 1}}"},
      {"a\n---\nb\n", "a +more"},
      {"a\n...\n", "a"},
      {"---\n---\n", "() +more"},
      {"a\n--- [\n", "a +more"},
      {"a: [1", "{a: [1 !! did not find expected ',' or ']' at line 2 column 1, while parsing a "
                "flow sequence at line 1 column 4"},
      {"a: 'x", "{a !! found unexpected end of stream at line 1 column 6, while scanning a quoted "
                "scalar at line 1 column 4"},
      {"]", " !! did not find expected node content, while parsing a block node"},
      {"a: &x 1\nb: *y\n", "{a: 1, b !! unknown anchor at line 2 column 4"},
      {"*x", " !! unknown anchor"},
      {"a: \xff", " !! invalid leading UTF-8 octet at position 3"},
      {"a: \xed\xa0\x80", " !! invalid Unicode character at position 3"},
      {"a: \x01", " !! control characters are not allowed at position 3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dump(y::load(c.text)), c.events) << c.text;
  }
  // A NUL inside the text is refused, not taken as its end.
  EXPECT_EQ(dump(y::load(std::string_view("a: x\0y", 6))),
            " !! control characters are not allowed at position 4");
}

TEST(YamlLoad, MarksCountFromZero) {
  y::Document d = y::load("a:\n  - bcd\n  - 'é'\n");
  ASSERT_EQ(d.events.size(), 7u);
  const y::Event& bcd = d.events[3];
  EXPECT_EQ(d.value(bcd), "bcd");
  EXPECT_EQ(bcd.line, 1u);
  EXPECT_EQ(bcd.column, 4u);
  EXPECT_EQ(bcd.index, 7u);
  EXPECT_EQ(d.events[4].line, 2u);
  EXPECT_EQ(d.events[4].style, y::ScalarStyle::SingleQuoted);
  EXPECT_TRUE(d.events[2].kind == y::EventKind::SequenceStart && !d.events[2].flow);
}

TEST(YamlLoad, DeepFlowNestingStopsFastWithTheEventsBeforeIt) {
  auto start = std::chrono::steady_clock::now();
  y::Document d = y::load(std::string(1'000'000, '['));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 1.0);
  ASSERT_TRUE(d.error);
  EXPECT_EQ(d.error->text(), "recursion limit exceeded at line 1 column 257");
  EXPECT_EQ(d.events.size(), y::kFlowNestingCap);
  // Block nesting has no such cost and is loaded whole.
  y::Document block = y::load(repeat("- ", 100'000) + "x");
  EXPECT_FALSE(block.error);
  EXPECT_EQ(block.events.size(), 200'001u);
}

// ------------------------------------------------------------------ paths and error texts

TEST(YamlErrors, PathRendering) {
  y::Path root = y::Path::root();
  y::Path a = root.key("a");
  y::Path a0 = a.index(0);
  y::Path a0b = a0.key("b");
  y::Path a0b3 = a0b.index(3);
  y::Path a0b3q = a0b3.unknown();
  y::Path r1 = root.index(1);
  y::Path q = root.unknown();
  EXPECT_EQ(root.to_string(), ".");
  EXPECT_EQ(a.to_string(), "a");
  EXPECT_EQ(a0.to_string(), "a[0]");
  EXPECT_EQ(a0b.to_string(), "a[0].b");
  EXPECT_EQ(a0b3.to_string(), "a[0].b[3]");
  EXPECT_EQ(a0b3q.to_string(), "a[0].b[3].?");
  EXPECT_EQ(r1.to_string(), ".[1]");
  EXPECT_EQ(q.to_string(), "?");
}

TEST(YamlErrors, DecoratedTexts) {
  struct Case {
    std::string path;
    y::Mark mark;
    const char* text;
  } cases[] = {
      {".", {0, 0, 0}, "missing field `name`"},
      {".", {9, 1, 0}, "missing field `name` at line 2 column 1"},
      {"mask", {6, 0, 6}, "mask: missing field `name` at line 1 column 7"},
      {"profiles[0].name", {0, 0, 0}, "profiles[0].name: missing field `name`"},
  };
  for (const Case& c : cases) {
    y::Error e = y::missing_field("name");
    e.fix_position(c.mark, c.path);
    e.fix_position({1, 5, 5}, "ignored");  // the first place stays
    EXPECT_EQ(e.text(), c.text);
  }
  y::Error fixed = y::Error::at("recursion limit exceeded", {4, 0, 4});
  fixed.fix_position({0, 3, 3}, "a");
  EXPECT_EQ(fixed.text(), "recursion limit exceeded at line 1 column 5");
}

// ------------------------------------------------------------------ walking

TEST(YamlWalk, ReadsTreesWithAliasesFollowed) {
  Tree t;
  ASSERT_EQ(read_text("a: &x {k: [1, *y]}\n", &t), "unknown anchor at line 1 column 15");
  ASSERT_EQ(read_text("base: &b {k: v}\nlist: [*b, *b]\n", &t), "");
  Tree kv{TreeMap{{"k", Tree{std::string("v")}}}};
  Tree expected{TreeMap{
      {"base", kv}, {"list", Tree{std::vector<Tree>{kv, kv}}}}};
  EXPECT_EQ(t, expected);
}

TEST(YamlWalk, DocumentLevelFailures) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"a: 1\n", ""},
      {"a: 1\n---\nb: 2\n", "deserializing from YAML containing more than one document is not supported"},
      {"a: 1\n--- {\n", "deserializing from YAML containing more than one document is not supported"},
      // the syntax error after a complete root node is reported after it
      {"'a' b", "deserializing from YAML containing more than one document is not supported"},
      {"\t- a", "found character that cannot start any token, while scanning for the next token"},
      {"a: [b, c", "did not find expected ',' or ']' at line 2 column 1, while parsing a flow "
                   "sequence at line 1 column 4"},
      {"[a]: b", "invalid type: sequence, expected field identifier"},
      {"x: {[a]: b}", "x: invalid type: sequence, expected field identifier at line 1 column 5"},
      {"k: &k key\n*k : [x]\n", ""},
      {"a: 1\nb: *x", "unknown anchor at line 2 column 4"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_text(c.text), c.error) << c.text;
}

TEST(YamlWalk, RecursionLimit) {
  // 128 nested collections are read; the 129th fails at its place.
  EXPECT_EQ(read_text(repeat("[", 128) + repeat("]", 128)), "");
  EXPECT_EQ(read_text(repeat("[", 129) + repeat("]", 129)),
            "recursion limit exceeded at line 1 column 129");
  std::string block;
  for (int i = 0; i < 130; ++i) block += std::string(static_cast<std::size_t>(i) * 2, ' ') + "k:\n";
  EXPECT_EQ(read_text(block), "recursion limit exceeded at line 129 column 257");
  // Aliases do not reset the allowance.
  EXPECT_EQ(read_text("a: &a " + repeat("[", 100) + repeat("]", 100) + "\nb: " + repeat("[", 28) +
                      "*a" + repeat("]", 28)),
            "recursion limit exceeded at line 1 column 106");
}

TEST(YamlWalk, SkipTakesWholeNodesAtAnyDepthWithoutFollowingAliases) {
  std::string deep = "a: &x " + repeat("[", 250) + repeat("]", 250) + "\nb: [*x, *x]\nc: end\n";
  y::Document d = y::load(deep);
  ASSERT_FALSE(d.error);
  y::WalkState state(d);
  y::Walker w(state);
  const y::Event* e = nullptr;
  ASSERT_FALSE(w.next(e));  // the mapping
  std::string_view key;
  ASSERT_FALSE(y::read_str(w, y::Path::root(), "a string", key));
  EXPECT_EQ(key, "a");
  ASSERT_FALSE(w.skip());
  ASSERT_FALSE(y::read_str(w, y::Path::root(), "a string", key));
  EXPECT_EQ(key, "b");
  ASSERT_FALSE(w.skip());
  EXPECT_EQ(state.jumps, 0u);
  ASSERT_FALSE(y::read_str(w, y::Path::root(), "a string", key));
  EXPECT_EQ(key, "c");
}

TEST(YamlWalk, AliasBombsStopAtTheRepetitionLimit) {
  // Each level names the one before nine times: 9^9 nodes once expanded.
  std::string bomb = "a0: &a0 [x, x, x, x, x, x, x, x, x]\n";
  for (int i = 1; i < 10; ++i) {
    std::string prev = "*a" + std::to_string(i - 1);
    bomb += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [" + prev;
    for (int k = 1; k < 9; ++k) bomb += ", " + prev;
    bomb += "]\n";
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_text(bomb), "repetition limit exceeded");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);

  // One large node named many times: the aliases alone stay under the limit,
  // the events walked through them do not.
  std::string wide = "big: &b [" + repeat("x, ", 20000) + "x]\nuses: [" + repeat("*b, ", 2000) + "*b]\n";
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_text(wide), "repetition limit exceeded");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);

  // Moderate reuse is read.
  EXPECT_EQ(read_text("m: &m {a: 1, b: 2}\nl: [" + repeat("*m, ", 500) + "*m]\n"), "");
}

TEST(YamlWalk, RepetitionLimitCountsAliasesPerEvent) {
  // 100 aliases per event of the document are allowed.
  y::Document d = y::load("- &a x\n- *a\n");  // 4 events
  y::WalkState state(d);
  y::Walker w(state);
  for (int i = 0; i < 400; ++i) ASSERT_FALSE(w.count_jump());
  y::Status st = w.count_jump();
  ASSERT_TRUE(st);
  EXPECT_EQ(st->text(), "repetition limit exceeded");
}

// ------------------------------------------------------------------ value readers

namespace {

// Reads the value of the single key "v" of a mapping with `read`.
template <class Read>
std::string read_v(const std::string& text, Read read) {
  y::Status st = y::read_document(text, [&](y::Walker& w, const y::Path& p) {
    return y::read_map(
        w, p, "struct T",
        [&](y::Walker& ew, std::string_view, const y::Path& vp) { return read(ew, vp); },
        [] { return y::Status(); });
  });
  return st ? st->text() : "";
}

std::string str_result(const std::string& text) {
  std::string got;
  std::string err = read_v(text, [&](y::Walker& w, const y::Path& p) {
    std::string_view s;
    y::Status st = y::read_str(w, p, "a string", s);
    got = s;
    return st;
  });
  return err.empty() ? "=" + got : err;
}

std::string optional_result(const std::string& text) {
  std::string got;
  std::string err = read_v(text, [&](y::Walker& w, const y::Path& p) {
    std::optional<std::string_view> s;
    y::Status st = y::read_optional_str(w, p, "a string", s);
    got = s ? "=" + std::string(*s) : "none";
    return st;
  });
  return err.empty() ? got : err;
}

std::string bool_result(const std::string& text) {
  bool got = false;
  std::string err = read_v(text, [&](y::Walker& w, const y::Path& p) {
    return y::read_bool(w, p, "a boolean", got);
  });
  return err.empty() ? (got ? "true" : "false") : err;
}

std::string u16_result(const std::string& text) {
  uint64_t got = 0;
  std::string err = read_v(text, [&](y::Walker& w, const y::Path& p) {
    return y::read_unsigned(w, p, "u16", 65535, got);
  });
  return err.empty() ? std::to_string(got) : err;
}

std::string pair_result(const std::string& text) {
  std::string got;
  std::string err = read_v(text, [&](y::Walker& w, const y::Path& p) {
    return y::read_tuple(w, p, "a tuple of size 2", 2, [&](y::Walker& ew, const y::Path& ep, std::size_t i) {
      if (i == 0) {
        std::string_view s;
        y::Status st = y::read_str(ew, ep, "a string", s);
        got += s;
        return st;
      }
      return y::read_seq(ew, ep, "a sequence", [&](y::Walker& xw, const y::Path& xp) {
        std::string_view s;
        y::Status st = y::read_str(xw, xp, "a string", s);
        got += "," + std::string(s);
        return st;
      });
    });
  });
  return err.empty() ? got : err;
}

}  // namespace

TEST(YamlRead, TextsAsWritten) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"v: 6", "=6"},
      {"v: true", "=true"},
      {"v: ~", "=~"},
      {"v:", "="},
      {"v: ''", "="},
      {"v: '  x  '", "=  x  "},
      {"v: !!int 0x10", "=0x10"},
      {"a: &a hello\nv: *a", "=hello"},
      {"v: [a]", "v: invalid type: sequence, expected a string at line 1 column 4"},
      {"v:\n  k: x", "v: invalid type: map, expected a string at line 2 column 3"},
  };
  for (const Case& c : cases) EXPECT_EQ(str_result(c.text), c.result) << c.text;
}

TEST(YamlRead, OptionalTexts) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"v: ~", "none"},         {"v:", "none"},           {"v: null", "none"},
      {"v: Null", "none"},      {"v: NULL", "none"},      {"v: !!null null", "none"},
      {"v: '~'", "=~"},         {"v: 'null'", "=null"},   {"v: nil", "=nil"},
      {"v: !!null ''", "="},    {"v: !!str ~", "=~"},     {"v: \"\"", "="},
      {"a: &n ~\nv: *n", "none"}, {"a: &n x\nv: *n", "=x"},
      {"v: [x]", "v: invalid type: sequence, expected a string at line 1 column 4"},
  };
  for (const Case& c : cases) EXPECT_EQ(optional_result(c.text), c.result) << c.text;
}

TEST(YamlRead, Booleans) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"v: true", "true"},
      {"v: True", "true"},
      {"v: TRUE", "true"},
      {"v: false", "false"},
      {"v: FALSE", "false"},
      {"v: !!bool False", "false"},
      {"v: yes", "v: invalid type: string \"yes\", expected a boolean at line 1 column 4"},
      {"v: 'true'", "v: invalid type: string \"true\", expected a boolean at line 1 column 4"},
      {"v: tRUE", "v: invalid type: string \"tRUE\", expected a boolean at line 1 column 4"},
      {"v:", "v: invalid type: unit value, expected a boolean at line 1 column 3"},
      {"v: 1", "v: invalid type: integer `1`, expected a boolean at line 1 column 4"},
      {"v: !!bool yes", "v: invalid value: string \"yes\", expected a boolean at line 1 column 4"},
  };
  for (const Case& c : cases) EXPECT_EQ(bool_result(c.text), c.result) << c.text;
}

TEST(YamlRead, UnsignedSixteenBit) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"v: 0", "0"},
      {"v: 65535", "65535"},
      {"v: +7", "7"},
      {"v: 0x1F", "31"},
      {"v: 0o17", "15"},
      {"v: 0b101", "5"},
      {"v: !!int '12'", "12"},
      {"v: 65536", "v: invalid value: integer `65536`, expected u16 at line 1 column 4"},
      {"v: -1", "v: invalid type: integer `-1`, expected u16 at line 1 column 4"},
      {"v: 1.5", "v: invalid type: floating point `1.5`, expected u16 at line 1 column 4"},
      {"v: 1e3", "v: invalid type: floating point `1000.0`, expected u16 at line 1 column 4"},
      {"v: five", "v: invalid type: string \"five\", expected u16 at line 1 column 4"},
      {"v: '5'", "v: invalid type: string \"5\", expected u16 at line 1 column 4"},
      {"v: 007", "v: invalid type: string \"007\", expected u16 at line 1 column 4"},
      {"v:", "v: invalid type: unit value, expected u16 at line 1 column 3"},
      {"v: ~", "v: invalid type: unit value, expected u16 at line 1 column 4"},
      {"v: [1]", "v: invalid type: sequence, expected u16 at line 1 column 4"},
      {"v: 18446744073709551616",
       "v: invalid type: integer `18446744073709551616` as u128, expected u16 at line 1 column 4"},
  };
  for (const Case& c : cases) EXPECT_EQ(u16_result(c.text), c.result) << c.text;
}

TEST(YamlRead, Pairs) {
  struct Case {
    const char* text;
    const char* result;
  } cases[] = {
      {"v: [p1, [a, b]]", "p1,a,b"},
      {"v: [p1, []]", "p1"},
      {"v:\n- p1\n-\n", "p1"},
      {"v: [p1]", "v: invalid length 1, expected a tuple of size 2 at line 1 column 4"},
      {"v: []", "v: invalid length 0, expected a tuple of size 2 at line 1 column 4"},
      {"v:", "v: invalid length 0, expected a tuple of size 2 at line 1 column 3"},
      {"v: [p1, [a], x]", "v: invalid length 3, expected sequence of 2 elements at line 1 column 4"},
      {"v: [p1, a]", "v[1]: invalid type: string \"a\", expected a sequence at line 1 column 9"},
      {"v: [[p], [a]]", "v[0]: invalid type: sequence, expected a string at line 1 column 5"},
  };
  for (const Case& c : cases) EXPECT_EQ(pair_result(c.text), c.result) << c.text;
}

TEST(YamlRead, DescriptionsOfScalars) {
  struct Case {
    const char* text;
    const char* found;
  } cases[] = {
      {"''", "string \"\""},
      {"~", "unit value"},
      {"---", "unit value"},
      {"true", "boolean `true`"},
      {"False", "boolean `false`"},
      {"5", "integer `5`"},
      {"-5", "integer `-5`"},
      {"-0", "integer `0`"},
      {"0x1F", "integer `31`"},
      {"-0x10", "integer `-16`"},
      {"-9223372036854775809", "integer `-9223372036854775809` as i128"},
      {"007", "string \"007\""},
      {"1_000", "string \"1_000\""},
      {"1.5", "floating point `1.5`"},
      {"1.", "floating point `1.0`"},
      {".5", "floating point `0.5`"},
      {"-1e-7", "floating point `-0.0000001`"},
      {"1e20", "floating point `100000000000000000000.0`"},
      {".inf", "floating point `inf`"},
      {"-.Inf", "floating point `-inf`"},
      {".NaN", "floating point `NaN`"},
      {"1e400", "string \"1e400\""},
      {"inf", "string \"inf\""},
      {"web", "string \"web\""},
      {"'true'", "string \"true\""},
      {"\"a\\tb\"", "string \"a\\tb\""},
      {"!!str 5", "string \"5\""},
      {"!local 5", "integer `5`"},
      {"!!int 0o7", "integer `7`"},
  };
  for (const Case& c : cases) {
    y::Document d = y::load(c.text);
    ASSERT_FALSE(d.error) << c.text;
    y::Unexpected u = y::describe_scalar(d, d.events[0]);
    EXPECT_FALSE(u.tag_error) << c.text;
    EXPECT_EQ(u.text, c.found) << c.text;
  }
  struct Bad {
    const char* text;
    const char* error;
  } bad[] = {
      {"!!bool yes", "invalid value: string \"yes\", expected a boolean"},
      {"!!int x", "invalid value: string \"x\", expected an integer"},
      {"!!float x", "invalid value: string \"x\", expected a float"},
      {"!!null x", "invalid value: string \"x\", expected null"},
  };
  for (const Bad& c : bad) {
    y::Document d = y::load(c.text);
    y::Unexpected u = y::describe_scalar(d, d.events[0]);
    ASSERT_TRUE(u.tag_error) << c.text;
    EXPECT_EQ(u.tag_error->text(), c.error);
  }
}

// ------------------------------------------------------------------ writing

namespace {

// Writes a tree with the emitter.
y::Status emit_tree(y::Emitter& e, const Tree& t) {
  if (auto s = std::get_if<std::string>(&t.v)) return e.text(*s);
  if (auto l = std::get_if<std::vector<Tree>>(&t.v)) {
    if (y::Status st = e.begin_sequence()) return st;
    for (const Tree& item : *l)
      if (y::Status st = emit_tree(e, item)) return st;
    return e.end_sequence();
  }
  const auto& m = std::get<TreeMap>(t.v);
  if (y::Status st = e.begin_mapping()) return st;
  for (const auto& [k, v] : m) {
    if (y::Status st = e.text(k)) return st;
    if (y::Status st = emit_tree(e, v)) return st;
  }
  return e.end_mapping();
}

std::string write_tree(const Tree& t) {
  std::string out;
  y::Emitter e(out);
  y::Status st = emit_tree(e, t);
  if (!st) st = e.finish();
  EXPECT_FALSE(st) << (st ? st->text() : "");
  return out;
}

Tree text(std::string s) { return Tree{std::move(s)}; }
Tree map(TreeMap m) { return Tree{std::move(m)}; }
Tree seq(std::vector<Tree> l) { return Tree{std::move(l)}; }

}  // namespace

TEST(YamlEmit, ExactOutput) {
  Tree record = map({{"name", text("/Common/vs1")},
                     {"port", text("80")},
                     {"empty", text("")},
                     {"vlans", seq({text("a"), text("yes")})},
                     {"none", seq({})},
                     {"profiles", seq({map({{"name", text("tcp")}, {"context", text("all")}})})},
                     {"policies", seq({seq({text("p1"), seq({text("x")})})})},
                     {"snat", map({{"type", text("automap")}})},
                     {"note", text("two\nlines")}});
  EXPECT_EQ(write_tree(record),
            "name: /Common/vs1\n"
            "port: '80'\n"
            "empty: ''\n"
            "vlans:\n"
            "- a\n"
            "- 'yes'\n"
            "none: []\n"
            "profiles:\n"
            "- name: tcp\n"
            "  context: all\n"
            "policies:\n"
            "- - p1\n"
            "  - - x\n"
            "snat:\n"
            "  type: automap\n"
            "note: |-\n"
            "  two\n"
            "  lines\n");

  std::string out;
  {
    y::Emitter e(out);
    ASSERT_FALSE(e.begin_mapping());
    ASSERT_FALSE(e.text("ratio"));
    ASSERT_FALSE(e.integer(65535));
    ASSERT_FALSE(e.text("disabled"));
    ASSERT_FALSE(e.boolean(true));
    ASSERT_FALSE(e.end_mapping());
    ASSERT_FALSE(e.finish());
  }
  EXPECT_EQ(out, "ratio: 65535\ndisabled: true\n");
}

namespace {

// Texts of every kind: each must read back unchanged.
const std::vector<std::string>& round_trip_texts() {
  static const std::vector<std::string> texts = {
      "", "~", "null", "Null", "NULL", "true", "False", "yes", "No", "on", "OFF", "y", "N",
      "5", "-5", "+5", "007", "0x1F", "0o17", "0b11", "1_000", "1:20", "190:20:30.15", "1.5",
      "1.", ".5", "1e5", "-1E-5", ".inf", "-.Inf", ".nan", "2001-12-14", "2001-12-14t21:59:43.10-05:00",
      "<<", "=", "-", "- a", "-a", "a: b", "a:b", "#x", "a #b", "a#b", " lead", "trail ", "  ",
      "multi\nline", "ends\n", "two\n\n", "\n", "\n\n", "\nlead", " \nx", "x\n ", "tab\there",
      "\tlead", "cr\rx", "crlf\r\nx", "nel\xC2\x85x", "ls\xE2\x80\xA8x", "ps\xE2\x80\xA9x",
      std::string("nul\0x", 5), "bell\x07", "del\x7f", "emoji \xF0\x9F\x98\x80", "é",
      "\xEF\xBB\xBF" "bom", "quote ' and \"", "'", "\"", "''", "[flow]", "{a}", "a, b", "*alias",
      "&anchor", "!tag", "%dir", "@at", "`tick", "|", ">", "? q", "?", ": x", ":", "---", "...",
      "--- x", "10.0.0.1", "255.255.255.0", "/Common/vs:80", "0.0.0.0/0", "1.2.3", "inf",
      "a\\b", std::string(5000, 'w'), "long " + std::string(300, ' ') + "gap", "\xC2\xA0nbsp",
      "\xE2\x80\x8Bzero-width", "trailing\n\n\n", "mix\n  indent\n\tx",
  };
  return texts;
}

struct StyleCase {
  const char* text;
  y::TextStyle style;
};
constexpr StyleCase kStyleCases[] = {
    {"web", y::TextStyle::Any},
    {"10.0.0.1", y::TextStyle::Any},
    {"1.2.3", y::TextStyle::Any},
    {"Yes please", y::TextStyle::Any},
    {"", y::TextStyle::SingleQuoted},
    {"yes", y::TextStyle::SingleQuoted},
    {"12:30:45", y::TextStyle::SingleQuoted},
    {"2023-01-02 03:04:05", y::TextStyle::SingleQuoted},
    {"0x_1F", y::TextStyle::SingleQuoted},
    {"a\nb", y::TextStyle::Literal},
    {"a\r\nb", y::TextStyle::DoubleQuoted},
    {"a\xE2\x80\xA8" "b", y::TextStyle::DoubleQuoted},
};

}  // namespace

TEST(YamlEmit, EveryTextReadsBackUnchanged) {
  for (const std::string& t : round_trip_texts()) {
    Tree tree = map({{"k", text(t)}, {"l", seq({text(t), map({{t, text(t)}})})}});
    std::string yaml = write_tree(tree);
    Tree back;
    EXPECT_EQ(read_text(yaml, &back), "") << yaml;
    EXPECT_EQ(back, tree) << yaml;
  }
}

TEST(YamlEmit, TextStyles) {
  for (const StyleCase& c : kStyleCases) EXPECT_EQ(y::text_style(c.text), c.style) << c.text;
}

namespace {

// The plain texts that a YAML 1.1 or 1.2 reader resolves to something other
// than a text, as regular expressions, one notation a line (joined with "|",
// one pattern for a whole text): resolves_as_non_text answers as they do.
constexpr const char* kNonTextNotations[] = {
    "~|null|Null|NULL",
    "true|True|TRUE|false|False|FALSE|yes|Yes|YES|no|No|NO|on|On|ON|off|Off|OFF|y|Y|n|N",
    "<<|=",
    "[-+]?0b[0-1_]+",
    "[-+]?0o[0-7_]+",
    "[-+]?0x[0-9a-fA-F_]+",
    "[-+]?[0-9][0-9_]*(:[0-5]?[0-9])*",
    "[-+]?[0-9][0-9_]*(:[0-5]?[0-9])+\\.[0-9_]*",
    "[-+]?([0-9][0-9_]*)?\\.[0-9_]*([eE][-+]?[0-9]+)?",
    "[-+]?[0-9][0-9_]*[eE][-+]?[0-9]+",
    "[-+]?\\.(inf|Inf|INF)",
    "[-+]?\\.(nan|NaN|NAN)",
    "[0-9][0-9][0-9][0-9]-[0-9][0-9]?-[0-9][0-9]?"
    "(([Tt]|[ \\t]+)[0-9][0-9]?:[0-9][0-9]:[0-9][0-9](\\.[0-9]*)?"
    "([ \\t]*(Z|[-+][0-9][0-9]?(:[0-9][0-9])?))?)?",
};
constexpr std::size_t kNotationCount = std::size(kNonTextNotations);

// The texts the comparison runs on: every string of up to four characters of
// a small alphabet; strings of random pieces of the notations; random edits of
// a sample of each notation; every keyword in every case, also after a point
// and a sign; and the texts of the other writing tests.
std::vector<std::string> resolution_texts() {
  std::vector<std::string> texts;
  const std::string alphabet = "01579_.:-+eEbxoiZT \t";
  std::vector<std::string> shorter = {""};
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::string> longer;
    for (const std::string& s : shorter)
      for (char c : alphabet) longer.push_back(s + c);
    texts.insert(texts.end(), longer.begin(), longer.end());
    shorter = std::move(longer);
  }

  std::mt19937 random(20240102);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const std::vector<std::string> pieces = {
      "0", "1", "2", "5", "6", "9", "00", "12", "59", "60", "123", "2001", "0b", "0o", "0x", "_",
      "-", "+", ".", ":", "e", "E", "a", "f", "F", "x", "o", "b", "T", "t", " ", "\t", "Z", "inf",
      "Inf", "INF", "nan", "NaN", "NAN", "null", "y", "n", "<", "=", "~", "ON", "No"};
  for (int i = 0; i < 300000; ++i) {
    std::string s;
    for (std::size_t n = 1 + pick(8); n > 0; --n) s += pieces[pick(pieces.size())];
    texts.push_back(std::move(s));
  }

  const std::vector<std::string> samples = {
      "0b1_01", "-0o7_6", "+0xDead_beef", "1_000:59:5", "-190:20:30.1_5", "+1_0.5_e-12", "._5E+3",
      "12e3", "-.INF", "+.NaN", "2001-12-14", "2001-1-4T1:59:43", "2001-12-14 \t21:59:43.10Z",
      "2001-12-14t21:59:43.10 \t-5", "2001-12-14 21:59:43+05:30"};
  const std::string edits = alphabet + "adfnoNOSTtuy~<=";
  for (int i = 0; i < 200000; ++i) {
    std::string s = samples[pick(samples.size())];
    for (std::size_t n = 1 + pick(3); n > 0; --n) {
      std::size_t at = pick(s.size() + 1);
      char c = edits[pick(edits.size())];
      switch (pick(3)) {
        case 0: s.insert(s.begin() + at, c); break;
        case 1: if (at < s.size()) s[at] = c; break;
        default: if (at < s.size()) s.erase(at, 1); break;
      }
    }
    texts.push_back(std::move(s));
  }

  for (std::string word :
       {"null", "true", "false", "yes", "no", "on", "off", "y", "n", "inf", "nan"}) {
    for (unsigned upper = 0; upper < (1u << word.size()); ++upper) {
      std::string cased = word;
      for (std::size_t i = 0; i < word.size(); ++i)
        if (upper & (1u << i)) cased[i] = static_cast<char>(cased[i] - 'a' + 'A');
      for (const char* before : {"", ".", "+.", "-.", " "}) texts.push_back(before + cased);
      texts.push_back(cased + " ");
    }
  }

  texts.insert(texts.end(), round_trip_texts().begin(), round_trip_texts().end());
  for (const StyleCase& c : kStyleCases) texts.push_back(c.text);
  return texts;
}

}  // namespace

TEST(YamlEmit, NonTextResolutionAgreesWithTheRegularExpressions) {
  std::string whole;
  std::vector<std::unique_ptr<RE2>> notations;
  for (const char* n : kNonTextNotations) {
    whole += whole.empty() ? "" : "|";
    whole += n;
    notations.push_back(std::make_unique<RE2>(n));
  }
  const RE2 pattern(whole);
  ASSERT_TRUE(pattern.ok()) << pattern.error();

  // How many texts each notation takes: every one must be met.
  std::size_t taken[kNotationCount] = {};
  std::size_t mismatches = 0;
  for (const std::string& t : resolution_texts()) {
    const re2::StringPiece piece(t.data(), t.size());
    const bool expected = t.empty() || RE2::FullMatch(piece, pattern);
    if (expected)
      for (std::size_t i = 0; i < kNotationCount; ++i)
        taken[i] += RE2::FullMatch(piece, *notations[i]);
    if (y::resolves_as_non_text(t) == expected) continue;
    if (++mismatches <= 20)
      ADD_FAILURE() << "\"" << t << "\" should " << (expected ? "" : "not ")
                    << "resolve as non-text";
  }
  EXPECT_EQ(mismatches, 0u) << "texts resolved otherwise than by the expressions";
  for (std::size_t i = 0; i < kNotationCount; ++i)
    EXPECT_GT(taken[i], 0u) << "no text of " << kNonTextNotations[i];
}

TEST(YamlEmit, InvalidUtf8IsAnError) {
  std::string out;
  y::Emitter e(out);
  ASSERT_FALSE(e.begin_sequence());
  y::Status st = e.text("bad \xff");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->text(), "invalid UTF-8 in a YAML scalar");
}
