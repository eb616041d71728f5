// TOML documents: the toml-test conformance cases, the document model
// (entry order, repeated keys, positions, origins, deferred errors, limits)
// and the printer.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/toml.hpp"
#include "oracles/json_value.hpp"
#include "oracles/toml_item.hpp"

namespace toml = qv::toml;

namespace {

// ---------------------------------------------------------------------------
// A small JSON tree for the expected files of toml-test (test only).

struct J {
  enum class Type { Object, Array, String, Other } type = Type::Other;
  std::string text;
  struct Member;
  std::vector<Member> members;
  std::vector<J> elements;

  J();
  J(J&&) noexcept;
  J& operator=(J&&) noexcept;
  ~J();
  const J* find(std::string_view key) const;
};

struct J::Member {
  Member(std::string k, J v) : first(std::move(k)), second(std::move(v)) {}
  std::string first;
  J second;
};

J::J() = default;
J::J(J&&) noexcept = default;
J& J::operator=(J&&) noexcept = default;
J::~J() = default;

const J* J::find(std::string_view key) const {
  for (const auto& m : members) {
    if (m.first == key) return &m.second;
  }
  return nullptr;
}

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}
  J read() {
    J v = value();
    ws();
    if (i_ != s_.size()) throw std::runtime_error("trailing text in expected JSON");
    return v;
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;

  void ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  void expect(char c) {
    ws();
    if (i_ >= s_.size() || s_[i_] != c) throw std::runtime_error(std::string("expected ") + c);
    ++i_;
  }
  static void utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  unsigned hex4() {
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                     : (std::tolower(c) - 'a' + 10));
    }
    return v;
  }
  std::string string() {
    expect('"');
    std::string out;
    while (s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = s_[i_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned cp = hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            i_ += 2;  // "\u" of the low surrogate
            cp = 0x10000 + ((cp - 0xD800) << 10) + (hex4() - 0xDC00);
          }
          utf8(out, cp);
          break;
        }
        default: out += e;
      }
    }
    ++i_;
    return out;
  }
  J value() {
    ws();
    J v;
    char c = s_[i_];
    if (c == '{') {
      v.type = J::Type::Object;
      ++i_;
      ws();
      if (s_[i_] == '}') {
        ++i_;
        return v;
      }
      while (true) {
        std::string k = string();
        expect(':');
        v.members.emplace_back(std::move(k), value());
        ws();
        if (s_[i_++] == '}') return v;
      }
    }
    if (c == '[') {
      v.type = J::Type::Array;
      ++i_;
      ws();
      if (s_[i_] == ']') {
        ++i_;
        return v;
      }
      while (true) {
        v.elements.push_back(value());
        ws();
        if (s_[i_++] == ']') return v;
      }
    }
    if (c == '"') {
      v.type = J::Type::String;
      v.text = string();
      return v;
    }
    std::size_t start = i_;
    while (i_ < s_.size() && std::string_view(",]} \n\r\t").find(s_[i_]) == std::string_view::npos) ++i_;
    v.text = std::string(s_.substr(start, i_ - start));
    return v;
  }
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// ---------------------------------------------------------------------------
// The tagged-JSON dump of a document (the toml-test form), as a J tree.

J leaf(std::string_view type, std::string value) {
  J v;
  v.type = J::Type::Object;
  J t;
  t.type = J::Type::String;
  t.text = std::string(type);
  J x;
  x.type = J::Type::String;
  x.text = std::move(value);
  v.members.emplace_back("type", std::move(t));
  v.members.emplace_back("value", std::move(x));
  return v;
}

J dump(toml::Value v) {
  J out;
  switch (v.kind()) {
    case toml::Kind::Table:
      out.type = J::Type::Object;
      for (toml::Entry e : v.entries()) {
        if (out.find(e.key) != nullptr) throw std::runtime_error("repeated key " + std::string(e.key));
        out.members.emplace_back(std::string(e.key), dump(e.value()));
      }
      return out;
    case toml::Kind::Array:
      out.type = J::Type::Array;
      for (toml::Entry e : v.entries()) out.elements.push_back(dump(e.value()));
      return out;
    case toml::Kind::String:
      return leaf("string", std::string(v.text()));
    case toml::Kind::Integer:
      return leaf("integer", std::to_string(v.integer()));
    case toml::Kind::Float: {
      double d = v.floating();
      if (std::isnan(d)) return leaf("float", "nan");
      if (std::isinf(d)) return leaf("float", d < 0 ? "-inf" : "inf");
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, d);
      return leaf("float", std::string(buf, r.ptr));
    }
    case toml::Kind::Boolean:
      return leaf("bool", v.boolean() ? "true" : "false");
    case toml::Kind::OffsetDateTime:
      return leaf("datetime", std::string(v.text()));
    case toml::Kind::LocalDateTime:
      return leaf("datetime-local", std::string(v.text()));
    case toml::Kind::LocalDate:
      return leaf("date-local", std::string(v.text()));
    case toml::Kind::LocalTime:
      return leaf("time-local", std::string(v.text()));
    case toml::Kind::Deferred:
      throw std::runtime_error("deferred error: " + std::string(v.text()));
  }
  return out;
}

double parse_float(std::string s) {
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  if (s == "inf") return INFINITY;
  if (s == "-inf") return -INFINITY;
  if (s == "nan" || s == "-nan") return NAN;
  double d = 0;
  std::from_chars(s.data(), s.data() + s.size(), d);
  return d;
}

// Date-times compare by their parts: separator and letters in upper case,
// fractional seconds without trailing zeros.
std::string normal_datetime(std::string s) {
  for (char& c : s) {
    if (c == 't' || c == ' ') c = 'T';
    if (c == 'z') c = 'Z';
  }
  std::size_t dot = s.find('.');
  if (dot != std::string::npos) {
    std::size_t end = dot + 1;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
    std::size_t keep = end;
    while (keep > dot + 1 && s[keep - 1] == '0') --keep;
    if (keep == dot + 1) keep = dot;
    s.erase(keep, end - keep);
  }
  return s;
}

// Empty when equal, else where they differ.
std::string compare(const J& want, const J& got, const std::string& path) {
  if (want.type != got.type) return path + ": kinds differ";
  if (want.type == J::Type::Array) {
    if (want.elements.size() != got.elements.size()) return path + ": array lengths differ";
    for (std::size_t i = 0; i < want.elements.size(); ++i) {
      std::string d = compare(want.elements[i], got.elements[i], path + "[" + std::to_string(i) + "]");
      if (!d.empty()) return d;
    }
    return {};
  }
  if (want.type != J::Type::Object) return want.text == got.text ? "" : path + ": differs";
  const J* type = want.find("type");
  const J* value = want.find("value");
  if (want.members.size() == 2 && type && value && type->type == J::Type::String) {
    const J* gtype = got.find("type");
    const J* gvalue = got.find("value");
    if (!gtype || !gvalue || got.members.size() != 2) return path + ": expected a " + type->text;
    if (gtype->text != type->text) return path + ": type " + gtype->text + ", expected " + type->text;
    const std::string& w = value->text;
    const std::string& g = gvalue->text;
    bool same = false;
    if (type->text == "integer") {
      same = std::stoll(w) == std::stoll(g);
    } else if (type->text == "float") {
      double a = parse_float(w), b = parse_float(g);
      same = (std::isnan(a) && std::isnan(b)) || a == b;
    } else if (type->text.rfind("date", 0) == 0 || type->text == "time-local") {
      same = normal_datetime(w) == normal_datetime(g);
    } else {
      same = w == g;
    }
    return same ? "" : path + ": value `" + g + "`, expected `" + w + "`";
  }
  if (want.members.size() != got.members.size()) return path + ": tables differ in size";
  for (const auto& [k, v] : want.members) {
    const J* g = got.find(k);
    if (!g) return path + ": missing key " + k;
    std::string d = compare(v, *g, path + "." + k);
    if (!d.empty()) return d;
  }
  return {};
}

const std::string kSuite = std::string(QV_TEST_DATA) + "/toml-test/tests/";

std::vector<std::string> suite_files(std::string_view prefix, std::string_view suffix) {
  std::ifstream list(kSuite + "files-toml-1.0.0");
  std::vector<std::string> out;
  std::string line;
  while (std::getline(list, line)) {
    if (line.rfind(prefix, 0) == 0 && line.size() > suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      out.push_back(line);
    }
  }
  return out;
}

// Invalid cases that read successfully on purpose: a key given twice by the
// key/value lines of one table (or inline table) is passed on to the record
// readers, which report "duplicate field".
const std::vector<std::pair<std::string, std::string>> kPassedOn = {
    {"invalid/inline-table/duplicate-key-01.toml", "b given twice in one inline table"},
    {"invalid/inline-table/duplicate-key-02.toml", "dupe given twice in the dotted table table2"},
    {"invalid/inline-table/overwrite-01.toml", "a given by dotted keys, then again by a plain key"},
    {"invalid/inline-table/overwrite-10.toml", "b given by dotted keys, plainly, then dotted again"},
    {"invalid/key/duplicate-keys-01.toml", "name given twice"},
    {"invalid/key/duplicate-keys-02.toml", "dupe given twice"},
    {"invalid/key/duplicate-keys-03.toml", "spelling given bare and quoted"},
    {"invalid/key/duplicate-keys-04.toml", "spelling given bare and as a literal"},
    {"invalid/key/duplicate-keys-05.toml", "a given bare and escaped"},
    {"invalid/key/duplicate-keys-06.toml", "a'b given with two spellings"},
    {"invalid/key/duplicate-keys-07.toml", "the empty key given twice"},
    {"invalid/key/duplicate-keys-08.toml", "arr given twice"},
    {"invalid/key/duplicate-keys-09.toml", "tbl given twice as inline tables"},
    {"invalid/table/append-with-dotted-keys-05.toml", "b given by dotted keys, then plainly, in table a"},
    {"invalid/spec-1.0.0/inline-table-3-0.toml", "type given by dotted keys, then plainly, in table product"},
};

bool passed_on(const std::string& file) {
  for (const auto& [f, why] : kPassedOn) {
    if (f == file) return true;
  }
  return false;
}

TEST(TomlSuite, EveryValidCaseDecodesToItsExpectedJson) {
  std::vector<std::string> files = suite_files("valid/", ".toml");
  ASSERT_GT(files.size(), 150u);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string text = read_file(kSuite + file);
    auto parsed = toml::parse(text);
    if (auto* e = std::get_if<toml::Error>(&parsed)) {
      ADD_FAILURE() << e->render(text);
      continue;
    }
    const toml::Document& doc = std::get<toml::Document>(parsed);
    if (auto d = doc.first_deferred()) {
      ADD_FAILURE() << d->render(text);
      continue;
    }
    std::string json_file = file.substr(0, file.size() - 5) + ".json";
    J want = JsonReader(read_file(kSuite + json_file)).read();
    J got;
    try {
      got = dump(doc.root());
    } catch (const std::exception& ex) {
      ADD_FAILURE() << ex.what();
      continue;
    }
    std::string diff = compare(want, got, "");
    EXPECT_EQ(diff, "");
  }
}

TEST(TomlSuite, EveryInvalidCaseIsRejectedUnlessPassedOn) {
  std::vector<std::string> files = suite_files("invalid/", ".toml");
  ASSERT_GT(files.size(), 400u);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string text = read_file(kSuite + file);
    auto parsed = toml::parse(text);
    const auto* doc = std::get_if<toml::Document>(&parsed);
    bool rejected = doc == nullptr || doc->first_deferred().has_value();
    if (passed_on(file)) {
      EXPECT_FALSE(rejected) << "passed on: a key repeated in one table";
    } else {
      EXPECT_TRUE(rejected);
    }
  }
}

// ---------------------------------------------------------------------------
// The document model, shown one entry a line:
//   key@line:col = kind/origin@line:col value

std::string kind_name(toml::Kind k) {
  switch (k) {
    case toml::Kind::String: return "string";
    case toml::Kind::Integer: return "integer";
    case toml::Kind::Float: return "float";
    case toml::Kind::Boolean: return "boolean";
    case toml::Kind::OffsetDateTime: return "offset-datetime";
    case toml::Kind::LocalDateTime: return "local-datetime";
    case toml::Kind::LocalDate: return "date";
    case toml::Kind::LocalTime: return "time";
    case toml::Kind::Array: return "array";
    case toml::Kind::Table: return "table";
    case toml::Kind::Deferred: return "deferred";
  }
  return "?";
}

std::string origin_name(toml::Origin o) {
  switch (o) {
    case toml::Origin::None: return "";
    case toml::Origin::Root: return "/root";
    case toml::Origin::Header: return "/header";
    case toml::Origin::Implicit: return "/implicit";
    case toml::Origin::ArrayTable: return "/array-table";
    case toml::Origin::ArrayOfTables: return "/tables";
    case toml::Origin::Dotted: return "/dotted";
    case toml::Origin::Inline: return "/inline";
  }
  return "?";
}

void describe(const std::string& text, toml::Value v, int indent, std::string& out) {
  for (toml::Entry e : v.entries()) {
    toml::Value c = e.value();
    auto at = [&](std::size_t off) {
      toml::LineCol lc = toml::line_col(text, off);
      return std::to_string(lc.line) + ":" + std::to_string(lc.column);
    };
    out += std::string(static_cast<std::size_t>(indent) * 2, ' ');
    out += (e.key.empty() ? std::string("-") : std::string(e.key)) + "@" + at(e.key_offset) + " = " +
           kind_name(c.kind()) + origin_name(c.origin()) + "@" + at(c.offset());
    switch (c.kind()) {
      case toml::Kind::Integer: out += " " + std::to_string(c.integer()); break;
      case toml::Kind::Boolean: out += c.boolean() ? " true" : " false"; break;
      case toml::Kind::Float: out += " " + std::to_string(c.floating()); break;
      case toml::Kind::Table:
      case toml::Kind::Array: break;
      default: out += " \"" + std::string(c.text()) + "\"";
    }
    out += '\n';
    if (c.is_table() || c.is_array()) describe(text, c, indent + 1, out);
  }
}

std::string describe(const std::string& text) {
  auto parsed = toml::parse(text);
  if (auto* e = std::get_if<toml::Error>(&parsed)) return "error: " + e->render(text);
  std::string out;
  describe(text, std::get<toml::Document>(parsed).root(), 0, out);
  return out;
}

struct ModelCase {
  const char* name;
  std::string text;
  std::string model;
};

TEST(TomlModel, EntriesOrderRepeatsPositionsAndOrigins) {
  const ModelCase cases[] = {
      {"repeated plain keys are kept in order",
       "name = \"a\"\nx = 1\nname = \"b\"\n",
       "name@1:1 = string@1:8 \"a\"\n"
       "x@2:1 = integer@2:5 1\n"
       "name@3:1 = string@3:8 \"b\"\n"},
      {"a table's lines come before the tables below it; [a.b] before [a] puts b first",
       "[a.b]\nx = 1\n[a]\ny = 2\n[a.c]\n",
       "a@1:2 = table/header@3:1\n"
       "  b@1:4 = table/header@1:1\n"
       "    x@2:1 = integer@2:5 1\n"
       "  y@4:1 = integer@4:5 2\n"
       "  c@5:4 = table/header@5:1\n"},
      {"dotted keys make one table at the place of the first line",
       "f.a = 1\nz = 2\nf.b = \"s\"\n",
       "f@1:1 = table/dotted@1:7\n"
       "  a@1:3 = integer@1:7 1\n"
       "  b@3:3 = string@3:7 \"s\"\n"
       "z@2:1 = integer@2:5 2\n"},
      {"arrays of tables hold one table per header, sub-tables go to the last",
       "[[m]]\nname = \"x\"\n[m.fqdn]\nname = \"y\"\n[[m]]\n",
       "m@1:3 = array/tables@1:1\n"
       "  -@1:1 = table/array-table@1:1\n"
       "    name@2:1 = string@2:8 \"x\"\n"
       "    fqdn@3:4 = table/header@3:1\n"
       "      name@4:1 = string@4:8 \"y\"\n"
       "  -@5:1 = table/array-table@5:1\n"},
      {"inline tables keep their pairs in written order, repeats included",
       "v = [{b = 1, a = 2, b = 3}, [\"s\", 5]]\n",
       "v@1:1 = array/inline@1:5\n"
       "  -@1:6 = table/inline@1:6\n"
       "    b@1:7 = integer@1:11 1\n"
       "    a@1:14 = integer@1:18 2\n"
       "    b@1:21 = integer@1:25 3\n"
       "  -@1:29 = array/inline@1:29\n"
       "    -@1:30 = string@1:30 \"s\"\n"
       "    -@1:35 = integer@1:35 5\n"},
      {"quoted keys count by their text; implicit tables stay implicit",
       "[\"a b\".'c']\n\"x\\u0079\" = true\n",
       "a b@1:2 = table/implicit@1:1\n"
       "  c@1:8 = table/header@1:1\n"
       "    xy@2:1 = boolean@2:13 true\n"},
      {"date-times keep their text and kind",
       "a = 1979-05-27T07:32:00Z\nb = 1979-05-27 07:32:00.5\nc = 1979-05-27\nd = 07:32:00\n",
       "a@1:1 = offset-datetime@1:5 \"1979-05-27T07:32:00Z\"\n"
       "b@2:1 = local-datetime@2:5 \"1979-05-27 07:32:00.5\"\n"
       "c@3:1 = date@3:5 \"1979-05-27\"\n"
       "d@4:1 = time@4:5 \"07:32:00\"\n"},
      {"a header into a table made by dotted keys",
       "[fruit]\napple.color = \"red\"\n[fruit.apple.texture]\nsmooth = true\n",
       "fruit@1:2 = table/header@1:1\n"
       "  apple@2:1 = table/dotted@2:15\n"
       "    color@2:7 = string@2:15 \"red\"\n"
       "    texture@3:14 = table/header@3:1\n"
       "      smooth@4:1 = boolean@4:10 true\n"},
  };
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(describe(c.text), c.model);
  }
  // Non-ASCII keys must be quoted; columns count bytes.
  EXPECT_EQ(describe("k\t=\t\"\xC3\xA9\"\r\n\"\xC3\xA9\" = 1\r\n"),
            "k@1:1 = string@1:5 \"\xC3\xA9\"\n"
            "\xC3\xA9@2:1 = integer@2:8 1\n");
}

struct ErrorCase {
  const char* name;
  std::string text;
  std::string error;  // rendered
};

// Errors that stop the reading.
const std::vector<ErrorCase>& syntax_errors() {
  static const std::vector<ErrorCase> cases = {
      {"missing equals", "a 1\n", "expected an equals, found an identifier at line 1 column 3"},
      {"missing value", "a =\n", "expected a value, found a newline at line 1 column 4"},
      {"unquoted text", "a = abc\n", "invalid TOML value, did you mean to use a quoted string? at line 1 column 5"},
      {"two values on a line", "a = 1 b = 2\n", "expected a newline, found an identifier at line 1 column 7"},
      {"unterminated string", "x = 1\na = \"abc\n", "newline in string found at line 2 column 9"},
      {"unterminated at the end", "a = \"abc", "unterminated string at line 1 column 5"},
      {"bad escape", "a = \"\\q\"\n", "invalid escape character in string: a character `q` at line 1 column 6"},
      {"surrogate escape", "a = \"\\uD800\"\n", "invalid escape value: `D800` at line 1 column 6"},
      {"leading zero", "a = 012\n", "invalid number at line 1 column 5"},
      {"integer overflow", "a = 9223372036854775808\n", "invalid number at line 1 column 5"},
      {"bad date", "a = 2021-02-29\n", "invalid date-time at line 1 column 5"},
      {"newline in an inline table", "a = {b = 1,\n c = 2}\n",
       "expected a table key, found a newline at line 1 column 12"},
      {"trailing comma in an inline table", "a = {b = 1,}\n",
       "expected a table key, found a right brace at line 1 column 12"},
      {"bare carriage return", "a = 1\r b = 2\n", "expected a newline, found a carriage return at line 1 column 6"},
      {"control character in a comment", "# a\x01\n", "control character in comment: a character `\\u{1}` at line 1 column 4"},
      {"dotted key over a value", "a = 1\na.b = 2\n", "dotted key attempted to extend non-table type at line 1 column 5"},
      {"dotted key over an inline table", "a = {}\na.b = 2\n",
       "dotted key attempted to extend non-table type at line 1 column 5"},
      {"dotted key into a header table", "[a.b]\n[a]\nb.c = 1\n",
       "dotted key `b` attempted to extend a table defined by a header at line 3 column 1"},
      {"plain key over a header table", "[[t.arr]]\n[t]\narr = 2\n", "duplicate key `arr` at line 3 column 1"},
      {"invalid UTF-8 in a string", "a = \"\xC3\x28\"\n", "invalid UTF-8 at line 1 column 6"},
      {"invalid UTF-8 in a comment", "a = 1 # \xED\xA0\x80\n", "invalid UTF-8 at line 1 column 9"},
      {"invalid UTF-8 outside strings", "\xFF = 1\n", "expected a table key, found invalid UTF-8 at line 1 column 1"},
      {"multi-line key", "\"\"\"a\"\"\" = 1\n", "multiline strings are not allowed for key at line 1 column 1"},
  };
  return cases;
}

// Errors of headers that do not fit together: deferred entries of the tree.
const std::vector<ErrorCase>& header_conflicts() {
  static const std::vector<ErrorCase> cases = {
      {"table defined twice: inside the table, after its lines",
       "[a]\nx = 1\n[a]\ny = 2\n", "redefinition of table `a` for key `a` at line 3 column 1"},
      {"after the sub-tables named before it",
       "[a]\n[a.b]\n[a]\n", "redefinition of table `a` for key `a` at line 3 column 1"},
      {"implicit table redefined as array",
       "[[a.b]]\n[[a]]\n", "table redefined as array for key `a` at line 2 column 1"},
      {"array of tables redefined as a table: in its last table",
       "[[a]]\n[[a]]\n[a]\n", "redefinition of table `a` for key `a` at line 3 column 1"},
      {"header over a value", "a = 1\n[a]\n", "duplicate key `a` at line 2 column 1"},
      {"header through an inline table", "[t]\na = {}\n[t.a.b]\n",
       "key `a` does not hold a table that a header can extend for key `t` at line 3 column 1"},
      {"header over dotted keys", "[t1]\nt2.t3.v = 0\n[t1.t2]\n",
       "redefinition of table `t1.t2` for key `t1` at line 3 column 1"},
  };
  return cases;
}

TEST(TomlModel, SyntaxErrorsStopTheReadingWithTheirPosition) {
  for (const ErrorCase& c : syntax_errors()) {
    SCOPED_TRACE(c.name);
    auto parsed = toml::parse(c.text);
    const auto* e = std::get_if<toml::Error>(&parsed);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->render(c.text), c.error);
  }
}

TEST(TomlModel, HeaderConflictsAreMetWhereTheWalkReachesThem) {
  for (const ErrorCase& c : header_conflicts()) {
    SCOPED_TRACE(c.name);
    auto parsed = toml::parse(c.text);
    const auto* doc = std::get_if<toml::Document>(&parsed);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->root().holds_deferred());
    auto e = doc->first_deferred();
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->render(c.text), c.error);
  }
  // The lines below a conflicting header go nowhere; the walk stops at the
  // conflict, which stands after what was read before it.
  std::string text = "[a]\nx = 1\n[a]\ny = 2\n";
  auto parsed = toml::parse(text);
  EXPECT_EQ(describe(text),
            "a@1:2 = table/header@1:1\n"
            "  x@2:1 = integer@2:5 1\n"
            "  -@3:1 = deferred@3:1 \"redefinition of table `a`\"\n");
}

// The error of a document, whether it stops the reading or is deferred.
std::optional<toml::Error> error_of(const std::string& text) {
  auto parsed = toml::parse(text);
  if (auto* e = std::get_if<toml::Error>(&parsed)) return *e;
  return std::get<toml::Document>(parsed).first_deferred();
}

// Keys are looked up one by one in small tables and through an index in large
// ones: after thousands of other keys or tables (the root grown large, its
// index grown several times) every error is the same, moved by the text put
// in front. Tables go in front only of a text that begins with a header, whose
// lines would otherwise land in the last of them.
TEST(TomlModel, ErrorsAreTheSameInLargeTables) {
  std::string keys, tables;
  for (int i = 0; i < 3000; ++i) {
    keys += "f" + std::to_string(i) + " = 0\n";
    tables += "[f" + std::to_string(i) + "]\n";
  }
  std::vector<ErrorCase> cases = syntax_errors();
  cases.insert(cases.end(), header_conflicts().begin(), header_conflicts().end());
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<toml::Error> small = error_of(c.text);
    ASSERT_TRUE(small.has_value());
    for (const std::string* front : {&keys, &tables}) {
      if (front == &tables && c.text[0] != '[') continue;
      const std::optional<toml::Error> large = error_of(*front + c.text);
      ASSERT_TRUE(large.has_value());
      EXPECT_EQ(large->message, small->message);
      EXPECT_EQ(large->keys, small->keys);
      ASSERT_TRUE(large->offset.has_value());
      EXPECT_EQ(*large->offset, *small->offset + front->size());
    }
  }
  // A table defined again far after its first header.
  const std::string text = tables + "[f5]\n";
  EXPECT_EQ(error_of(text)->render(text), "redefinition of table `f5` for key `f5` at line 3001 column 1");
}

TEST(TomlModel, LastTableOffsetIsTheLastHeader) {
  struct Case {
    std::string text;
    std::optional<std::size_t> offset;
  } cases[] = {
      {"", std::nullopt},
      {"# only a comment\n\n", std::nullopt},
      {"a = 1\n", 0},
      {"a = 1\n[t]\n  [[u]]\n", 12},
      {"[t]\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = toml::parse(c.text);
    ASSERT_TRUE(std::holds_alternative<toml::Document>(parsed));
    EXPECT_EQ(std::get<toml::Document>(parsed).last_table_offset(), c.offset);
  }
}

TEST(TomlModel, NestingIsLimited) {
  const std::string limit = "nesting deeper than 128 tables and arrays";
  auto fails_with_limit = [&](const std::string& text) {
    auto parsed = toml::parse(text);
    const auto* e = std::get_if<toml::Error>(&parsed);
    return e != nullptr && e->message == limit;
  };
  EXPECT_TRUE(fails_with_limit("a = " + std::string(1000000, '[')));
  std::string tables;
  for (int i = 0; i < 1000000; ++i) tables += "{b = ";
  EXPECT_TRUE(fails_with_limit("a = " + tables));
  std::string dotted = "a";
  for (int i = 0; i < 200; ++i) dotted += ".a";
  EXPECT_TRUE(fails_with_limit(dotted + " = 1\n"));
  EXPECT_TRUE(fails_with_limit("[" + dotted + "]\n"));
  // The value of `a` is one level deep, so 128 arrays reach the limit exactly.
  std::string at_limit = "a = " + std::string(128, '[') + std::string(128, ']') + "\n";
  EXPECT_TRUE(std::holds_alternative<toml::Document>(toml::parse(at_limit)));
  EXPECT_TRUE(fails_with_limit("a = " + std::string(129, '[') + std::string(129, ']') + "\n"));
}

TEST(TomlModel, StringsDecode) {
  struct Case {
    std::string text;
    std::string value;
  } cases[] = {
      {R"(a = "t\t\"q\" \\ \u00e9 \U0001F600")", "t\t\"q\" \\ \xC3\xA9 \xF0\x9F\x98\x80"},
      {"a = 'C:\\path'", "C:\\path"},
      {"a = \"\"\"\nline1\r\nline2\"\"\"", "line1\nline2"},
      {"a = \"\"\"one \\\n     two\"\"\"\"\"", "one two\"\""},
      {"a = '''\n'quoted' '''''", "'quoted' ''"},
      {"a = \"\"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = toml::parse(c.text);
    ASSERT_TRUE(std::holds_alternative<toml::Document>(parsed));
    toml::Entry e = *std::get<toml::Document>(parsed).root().entries().begin();
    EXPECT_EQ(e.value().text(), c.value);
  }
}

TEST(TomlModel, NumbersDecode) {
  struct Case {
    std::string text;
    toml::Kind kind;
    double value;
  } cases[] = {
      {"a = +1_000", toml::Kind::Integer, 1000},
      {"a = -9223372036854775808", toml::Kind::Integer, -9223372036854775808.0},
      {"a = 0xDEAD_beef", toml::Kind::Integer, 3735928559.0},
      {"a = 0o755", toml::Kind::Integer, 493},
      {"a = 0b1101", toml::Kind::Integer, 13},
      {"a = 6.626e-34", toml::Kind::Float, 6.626e-34},
      {"a = -1_0.5E+1_0", toml::Kind::Float, -10.5e10},
      {"a = -inf", toml::Kind::Float, -INFINITY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = toml::parse(c.text);
    ASSERT_TRUE(std::holds_alternative<toml::Document>(parsed));
    toml::Value v = (*std::get<toml::Document>(parsed).root().entries().begin()).value();
    ASSERT_EQ(v.kind(), c.kind);
    if (c.kind == toml::Kind::Integer) {
      EXPECT_EQ(static_cast<double>(v.integer()), c.value);
    } else {
      EXPECT_EQ(v.floating(), c.value);
    }
  }
}

TEST(TomlModel, LineAndColumn) {
  const std::string text = "ab\ncd\r\n\nx";
  struct Case {
    std::size_t offset, line, column;
  } cases[] = {{0, 1, 1}, {2, 1, 3}, {3, 2, 1}, {5, 2, 3}, {7, 3, 1}, {8, 4, 1}, {9, 4, 2}};
  for (const Case& c : cases) {
    toml::LineCol lc = toml::line_col(text, c.offset);
    EXPECT_EQ(lc.line, c.line) << c.offset;
    EXPECT_EQ(lc.column, c.column) << c.offset;
  }
  EXPECT_EQ(toml::line_col("a\n", 2).line, 2u);
  toml::Error e{"invalid type: integer `24`, expected a string", {}, 7};
  e.add_key("mask");
  e.add_key("virtual_servers");
  e.fix_offset(0);  // an inner offset is kept
  EXPECT_EQ(e.render("x = 1\n  mask = 24"),
            "invalid type: integer `24`, expected a string for key `virtual_servers.mask` at line 2 column 2");
}

// ---------------------------------------------------------------------------
// The printer.

toml::Item table(std::vector<std::pair<std::string, toml::Item>> members) {
  toml::Item t = toml::Item::table();
  for (auto& [k, v] : members) t.insert(k, std::move(v));
  return t;
}
toml::Item str(std::string s) { return toml::Item::string(std::move(s)); }

std::string printed(const toml::Item& item) {
  std::string out;
  EXPECT_TRUE(toml::print(item, out));
  return out;
}

TEST(TomlPrint, GroupsAndByteOrder) {
  struct Case {
    const char* name;
    toml::Item item;
    std::string text;
  };
  std::vector<Case> cases;
  cases.push_back({"keys in byte order, a prefix first", table({{"type", str("snat")}, {"pool", str("p")},
                                                                {"Z", toml::Item::integer(1)},
                                                                {"pool-x", toml::Item::boolean(true)}}),
                   "Z = 1\npool = \"p\"\npool-x = true\ntype = \"snat\"\n"});
  cases.push_back({"plain entries, arrays of tables, then tables",
                   table({{"source-address-translation", table({{"type", str("automap")}})},
                          {"profiles", toml::Item::array({table({{"name", str("tcp")}}),
                                                          table({{"name", str("http")}, {"context", str("all")}})})},
                          {"name", str("vs")},
                          {"vlans", toml::Item::array()},
                          {"policies", toml::Item::array({toml::Item::array({str("p1"), toml::Item::array({str("a"), str("b")})})})}}),
                   "name = \"vs\"\n"
                   "policies = [[\"p1\", [\"a\", \"b\"]]]\n"
                   "vlans = []\n"
                   "\n[[profiles]]\nname = \"tcp\"\n"
                   "\n[[profiles]]\ncontext = \"all\"\nname = \"http\"\n"
                   "\n[source-address-translation]\ntype = \"automap\"\n"});
  cases.push_back({"nested arrays of tables and sub-tables; headers of tables without plain entries left out",
                   table({{"pools", toml::Item::array({table(
                                        {{"name", str("p")},
                                         {"members", toml::Item::array({table({{"name", str("m")},
                                                                              {"fqdn", table({{"name", str("f")}})}})})}})})},
                          {"partitions", toml::Item::array({table({{"name", str("Common")}})})},
                          {"t", table({{"u", table({{"v", toml::Item::integer(1)}})}, {"w", table({})}})}}),
                   "[[partitions]]\nname = \"Common\"\n"
                   "\n[[pools]]\nname = \"p\"\n"
                   "\n[[pools.members]]\nname = \"m\"\n"
                   "\n[pools.members.fqdn]\nname = \"f\"\n"
                   "[t.u]\nv = 1\n"
                   "\n[t.w]\n"});
  cases.push_back({"array of tables whose table holds only tables",
                   table({{"a", toml::Item::array({table({{"b", table({{"c", toml::Item::integer(1)}})}}),
                                                   table({})})}}),
                   "[[a]]\n[a.b]\nc = 1\n\n[[a]]\n"});
  cases.push_back({"a header gets a blank line only when its parent table printed something before it",
                   table({{"a", toml::Item::integer(1)}, {"t", table({{"u", table({{"v", toml::Item::integer(2)}})}})}}),
                   "a = 1\n[t.u]\nv = 2\n"});
  cases.push_back({"escapes and quoted keys",
                   table({{"k y", str("q\"b\\\n\t\x01\x1f\x7f\xC3\xA9")}, {"", toml::Item::integer(0)},
                          {"x", toml::Item::floating(1.5)}, {"y", toml::Item::floating(1e21)},
                          {"z", toml::Item::floating(-2.0)}}),
                   "\"\" = 0\n\"k y\" = \"q\\\"b\\\\\\n\\t\\u0001\\u001F\\u007F\xC3\xA9\"\n"
                   "x = 1.5\ny = 1000000000000000000000.0\nz = -2.0\n"});
  cases.push_back({"tables inside inline arrays print inline",
                   table({{"mixed", toml::Item::array({toml::Item::integer(1), table({{"a", toml::Item::integer(2)}}),
                                                       table({})})}}),
                   "mixed = [1, { a = 2 }, {}]\n"});
  cases.push_back({"an empty table", table({}), ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(printed(c.item), c.text);
  }
}

TEST(TomlPrint, PrintedTextReadsBack) {
  toml::Item item = table({{"name", str("a \"b\"\n")},
                           {"profiles", toml::Item::array({table({{"name", str("tcp")}})})},
                           {"sat", table({{"pool", str("\x1f")}})}});
  std::string text = printed(item);
  auto parsed = toml::parse(text);
  ASSERT_TRUE(std::holds_alternative<toml::Document>(parsed)) << std::get<toml::Error>(parsed).render(text);
  EXPECT_EQ(describe(text),
            "name@1:1 = string@1:8 \"a \"b\"\n\"\n"
            "profiles@3:3 = array/tables@3:1\n"
            "  -@3:1 = table/array-table@3:1\n"
            "    name@4:1 = string@4:8 \"tcp\"\n"
            "sat@6:2 = table/header@6:1\n"
            "  pool@7:1 = string@7:8 \"\x1f\"\n");
}

TEST(TomlPrint, NonTablesAreNotPrinted) {
  std::string out = "keep";
  EXPECT_FALSE(toml::print(toml::Item::integer(1), out));
  EXPECT_EQ(out, "keep");
}

TEST(TomlPrint, FromJson) {
  namespace json = qv::json;
  json::Value v = json::Object{{"type", json::Value("snat")},
                               {"n", json::Value(std::uint64_t{5})},
                               {"list", json::Array{json::Value(true), json::Value(-3.5)}},
                               {"type", json::Value("automap")}};
  auto item = toml::from_json(v);
  ASSERT_TRUE(std::holds_alternative<toml::Item>(item));
  EXPECT_EQ(printed(std::get<toml::Item>(item)), "list = [true, -3.5]\nn = 5\ntype = \"automap\"\n");

  struct Bad {
    json::Value value;
    std::string message, debug;
  } bad[] = {
      {json::Object{{"a", json::Array{json::Value(nullptr)}}}, "unsupported Rust type", "UnsupportedType"},
      {json::Object{{"a", json::Value(std::uint64_t{1} << 63)}}, "u64 value was too large",
       "Custom(\"u64 value was too large\")"},
  };
  for (const Bad& b : bad) {
    auto r = toml::from_json(b.value);
    const auto* e = std::get_if<qv::formats::WriteError>(&r);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->message, b.message);
    EXPECT_EQ(e->debug, b.debug);
  }
}

}  // namespace
