// Records read from TOML documents and written as TOML: the shared test records
// and a few of this file's own (a record with a required port and members, keys
// that cannot be written bare, nested records of tables only, an optional text
// written even when unset).
// The record writer is checked against the value-tree road (JSON value tree ->
// TOML table -> printer), whose output it must reproduce byte for byte.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "formats/json.hpp"
#include "formats/toml.hpp"
#include "oracles/json_value.hpp"
#include "oracles/toml_item.hpp"
#include "record/record.hpp"
#include "test_records.hpp"

namespace {

using qv::record::Text;
using qv::record::TextPair;
using qv::test::Fqdn;
using qv::test::Tag;
using qv::test::Translation;

struct Member {
  Text name;
  std::uint16_t ratio = 0;
  Fqdn fqdn;
};

struct Box {
  Text name;
  std::uint16_t port = 0;
  bool enabled = false;
  qv::record::TextList vlans;
  std::vector<Tag> tags;
  Translation sat;
  qv::record::PairList policies;
  std::vector<Member> members;
  std::optional<Text> created;
};

struct Whole {
  std::vector<Box> boxes;
  std::vector<Tag> tags;
};

// Keys that cannot be written bare.
struct Quoted {
  Text spaced;
  Text dotted;
  Text quote;
  Text empty;
  Text accented;
  std::vector<Tag> tags;
};

// A record whose nested record may hold only tables and arrays of tables.
struct Wrap {
  std::vector<Tag> tags;
  Translation xlat;
};

struct Shell {
  Text name;
  Wrap wrap;
  Wrap second;
};

// An optional text written even when unset: a null in the value tree.
struct Loose {
  Text name;
  std::optional<Text> stamp;
  std::vector<Tag> tags;
};

}  // namespace

namespace qv::record {

template <>
struct RecordTable<Member> {
  static constexpr std::string_view name = "Member";
  static constexpr FieldDef fields[] = {
      field<&Member::name>("name").required(),
      field<&Member::ratio>("ratio"),
      field<&Member::fqdn>("fqdn").absent_with<&qv::test::fqdn_default>(),
  };
};

template <>
struct RecordTable<Box> {
  static constexpr std::string_view name = "Box";
  static constexpr FieldDef fields[] = {
      field<&Box::name>("name").required(),
      field<&Box::port>("port").required(),
      field<&Box::enabled>("enabled").when(WrittenWhen::True),
      field<&Box::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&Box::tags>("tags").when(WrittenWhen::NotEmpty),
      field<&Box::sat>("source-address-translation"),
      field<&Box::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&Box::members>("members").when(WrittenWhen::NotEmpty),
      field<&Box::created>("creation-time").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<Whole> {
  static constexpr std::string_view name = "Whole";
  static constexpr FieldDef fields[] = {
      field<&Whole::boxes>("boxes").required(),
      field<&Whole::tags>("tags").required(),
  };
};

template <>
struct RecordTable<Quoted> {
  static constexpr std::string_view name = "Quoted";
  static constexpr FieldDef fields[] = {
      field<&Quoted::spaced>("two words"),
      field<&Quoted::dotted>("a.b"),
      field<&Quoted::quote>("say \"hi\"\\"),
      field<&Quoted::empty>(""),
      field<&Quoted::accented>("cl\xc3\xa9"),
      field<&Quoted::tags>("tag list").when(WrittenWhen::NotEmpty),
  };
};

template <>
struct RecordTable<Wrap> {
  static constexpr std::string_view name = "Wrap";
  static constexpr FieldDef fields[] = {
      field<&Wrap::tags>("tags").when(WrittenWhen::NotEmpty),
      field<&Wrap::xlat>("xlat").written_if<&qv::test::translation_written>(),
  };
};

template <>
struct RecordTable<Shell> {
  static constexpr std::string_view name = "Shell";
  static constexpr FieldDef fields[] = {
      field<&Shell::wrap>("wrap"),
      field<&Shell::name>("name"),
      field<&Shell::second>("Second"),
  };
};

template <>
struct RecordTable<Loose> {
  static constexpr std::string_view name = "Loose";
  static constexpr FieldDef fields[] = {
      field<&Loose::name>("name"),
      field<&Loose::tags>("tags").when(WrittenWhen::NotEmpty),
      field<&Loose::stamp>("stamp"),
  };
};

}  // namespace qv::record

namespace {

namespace toml = qv::toml;
namespace json = qv::json;

// The record read from `text` as compact JSON, or "error: " and the message.
template <class T>
std::string read_as_json(const std::string& text) {
  auto r = qv::formats::read<T>(toml::read_record, text);
  if (!r.ok()) return "error: " + r.error();
  return qv::formats::write(json::write_record, r.value()).value();
}

struct Case {
  const char* name;
  std::string text;
  std::string result;
};

void run(const std::vector<Case>& cases, std::string (*read)(const std::string&)) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(read(c.text), c.result);
  }
}

const std::string kSat = R"("source-address-translation":{"type":""})";

TEST(TomlRecord, KeyedDocuments) {
  run(
      {
          {"the required keys alone; absent keys take their absent values",
           "name = \" a \"\nport = 80\n",
           R"({"name":" a ","port":80,)" + kSat + "}"},
          {"an empty document names the first missing key without a position", "",
           "error: missing field `name`"},
          {"a document of comments only", "# nothing\n\n", "error: missing field `name`"},
          {"key/value lines without a header are placed at line 1 column 1", "\n\nname = \"a\"\n",
           "error: missing field `port` at line 1 column 1"},
          {"a repeated key", "name = \"a\"\nport = 1\nname = \"b\"\n",
           "error: duplicate field `name` at line 1 column 1"},
          {"a repeated key is reported before its value is read", "name = \"a\"\nname = 5\n",
           "error: duplicate field `name` at line 1 column 1"},
          {"keys match case-sensitively; unknown keys, tables and arrays of tables are skipped",
           "Name = \"x\"\nname = \"a\"\nport = 2\nother = [1, {x = 2}]\n[unknown]\nname = 1\n[[more]]\nport = \"q\"\n",
           R"({"name":"a","port":2,)" + kSat + "}"},
          {"a quoted key counts by its text", "\"name\" = 'a'\n'port' = 3\n",
           R"({"name":"a","port":3,)" + kSat + "}"},
          {"a text given an integer names the key and the value's position", "port = 1\nname = 24\n",
           "error: invalid type: integer `24`, expected a string for key `name` at line 2 column 8"},
          {"a flag given a string", "name = \"a\"\nport = 1\nenabled = \"true\"\n",
           "error: invalid type: string \"true\", expected a boolean for key `enabled` at line 3 column 11"},
          {"an optional text given an unquoted date-time", "name = \"a\"\nport = 1\ncreation-time = 1979-05-27\n",
           "error: invalid type: map, expected a string for key `creation-time` at line 3 column 17"},
          {"an optional text given a string is set, also when empty", "name = \"a\"\nport = 1\ncreation-time = ''\n",
           R"({"name":"a","port":1,)" + kSat + R"(,"creation-time":""})"},
          {"a list of texts given a string", "name = \"a\"\nport = 1\nvlans = \"v\"\n",
           "error: invalid type: string \"v\", expected a sequence for key `vlans` at line 3 column 9"},
          {"an element of a list of texts given an integer", "name = \"a\"\nport = 1\nvlans = [\"v\", 5]\n",
           "error: invalid type: integer `5`, expected a string for key `vlans` at line 3 column 15"},
      },
      &read_as_json<Box>);
}

TEST(TomlRecord, Numbers) {
  run(
      {
          {"65535 is read", "name = \"a\"\nport = 65535\n", R"({"name":"a","port":65535,)" + kSat + "}"},
          {"above the range", "name = \"a\"\nport = 65536\n",
           "error: invalid value: integer `65536`, expected u16 for key `port` at line 2 column 8"},
          {"negative", "name = \"a\"\nport = -1\n",
           "error: invalid value: integer `-1`, expected u16 for key `port` at line 2 column 8"},
          {"a float", "name = \"a\"\nport = 1.5\n",
           "error: invalid type: floating point `1.5`, expected u16 for key `port` at line 2 column 8"},
          {"a boolean", "name = \"a\"\nport = true\n",
           "error: invalid type: boolean `true`, expected u16 for key `port` at line 2 column 8"},
          {"a string", "name = \"a\"\nport = \"5\"\n",
           "error: invalid type: string \"5\", expected u16 for key `port` at line 2 column 8"},
      },
      &read_as_json<Box>);
}

TEST(TomlRecord, NestedRecordsInTableContext) {
  const std::string head = "name = \"a\"\nport = 1\n";
  const std::string p = R"({"name":"a","port":1,)";
  run(
      {
          {"a sub-table", head + "[source-address-translation]\ntype = \"snat\"\npool = \"p\"\n",
           p + R"("source-address-translation":{"type":"snat","pool":"p"}})"},
          {"an inline table", head + "source-address-translation = { pool = \"p\", type = \"automap\" }\n",
           p + R"("source-address-translation":{"type":"automap","pool":"p"}})"},
          {"dotted keys", head + "source-address-translation.type = \"snat\"\n",
           p + R"("source-address-translation":{"type":"snat"}})"},
          {"a positional array of one value", head + "source-address-translation = [\"snat\"]\n",
           p + R"("source-address-translation":{"type":"snat"}})"},
          {"a positional array too long",
           head + "source-address-translation = [\"snat\", \"p\", \"x\"]\n",
           "error: invalid length 3, expected 2 elements in sequence for key `source-address-translation` at line 3 "
           "column 30"},
          {"a record given an integer", head + "source-address-translation = 5\n",
           "error: invalid type: integer `5`, expected struct Translation for key `source-address-translation` "
           "at line 3 column 30"},
          {"a record given a date-time misses its required key", head + "source-address-translation = 07:00:00\n",
           "error: missing field `type` for key `source-address-translation` at line 3 column 30"},
          {"an array of tables is read by position and its first table is not a text",
           head + "[[source-address-translation]]\ntype = \"snat\"\n",
           "error: invalid type: map, expected a string for key `source-address-translation` at line 3 column 1"},
          {"a key rule inside a sub-table names the table and takes the last header",
           head + "[source-address-translation]\ntype = \"a\"\ntype = \"b\"\n[other]\n",
           "error: duplicate field `type` for key `source-address-translation` at line 6 column 1"},
          {"a key rule inside an inline table takes the inline table's start",
           head + "source-address-translation = { pool = \"p\" }\n",
           "error: missing field `type` for key `source-address-translation` at line 3 column 30"},
          {"a failure inside dotted keys takes the innermost value's start",
           head + "source-address-translation.type = 5\n",
           "error: invalid type: integer `5`, expected a string for key `source-address-translation` at line 3 "
           "column 35"},
          {"arrays of tables and inline arrays of records in document order",
           head + "tags = [{name = \"x\"}, [\"y\", \"ctx\"]]\n",
           p + R"("tags":[{"name":"x"},{"name":"y","context":"ctx"}],)" + kSat + "}"},
          {"an array of tables", head + "[[tags]]\nname = \"x\"\n[[tags]]\nname = \"y\"\ncontext = \"\"\n",
           p + R"("tags":[{"name":"x"},{"name":"y","context":""}],)" + kSat + "}"},
          {"a single table where a list is needed", head + "[tags]\nname = \"x\"\n",
           "error: invalid type: map, expected a sequence for key `tags` at line 3 column 1"},
          {"a positional element too long names only the outer key",
           head + "tags = [[\"a\", \"b\", \"c\"]]\n",
           "error: invalid length 3, expected 2 elements in sequence for key `tags` at line 3 column 9"},
          {"an empty positional element", head + "tags = [[]]\n",
           "error: invalid length 0, expected struct Tag with 2 elements for key `tags` at line 3 column 9"},
      },
      [](const std::string& t) { return read_as_json<Box>(t); });
}

TEST(TomlRecord, Pairs) {
  const std::string head = "name = \"a\"\nport = 1\n";
  run(
      {
          {"a pair of a name and texts", head + "policies = [[\"p\", [\"x\", \"y\"]], ['q', []]]\n",
           R"({"name":"a","port":1,)" + kSat + R"(,"policies":[["p",["x","y"]],["q",[]]]})"},
          {"a pair holding only the name", head + "policies = [[\"p\"]]\n",
           "error: invalid length 1, expected a tuple of size 2 for key `policies` at line 3 column 13"},
          {"a pair with a third value", head + "policies = [[\"p\", [], 3]]\n",
           "error: invalid length 3, expected 2 elements in sequence for key `policies` at line 3 column 13"},
          {"a pair that is not an array", head + "policies = [\"p\"]\n",
           "error: invalid type: string \"p\", expected a tuple of size 2 for key `policies` at line 3 column 13"},
          {"an array of tables for pairs", head + "[[policies]]\n",
           "error: invalid type: map, expected a tuple of size 2 for key `policies` at line 3 column 1"},
          {"a text of a pair", head + "policies = [[\"p\", [1]]]\n",
           "error: invalid type: integer `1`, expected a string for key `policies` at line 3 column 20"},
      },
      [](const std::string& t) { return read_as_json<Box>(t); });
}

TEST(TomlRecord, MembersAndTheirFqdn) {
  const std::string head = "name = \"a\"\nport = 1\n";
  const std::string p = R"({"name":"a","port":1,)" + kSat + R"(,"members":)";
  run(
      {
          {"a sub-table of a table of an array of tables; an absent record takes its defaults",
           head + "[[members]]\nname = \"m1\"\n[members.fqdn]\nautopopulate = \"enabled\"\n[[members]]\nname = \"m2\"\n",
           p + R"([{"name":"m1","ratio":0,"fqdn":{"autopopulate":"enabled","name":""}},)"
               R"({"name":"m2","ratio":0,"fqdn":{"autopopulate":"disabled","name":"none"}}]})"},
          {"positional members and fqdn", head + "members = [[\"m1\"], [\"m2\", 3, [\"on\", \"f\"]], [\"m3\", 0, []]]\n",
           p + R"([{"name":"m1","ratio":0,"fqdn":{"autopopulate":"disabled","name":"none"}},)"
               R"({"name":"m2","ratio":3,"fqdn":{"autopopulate":"on","name":"f"}},)"
               R"({"name":"m3","ratio":0,"fqdn":{"autopopulate":"","name":""}}]})"},
          {"a date-time for fqdn reads as a table without known keys",
           head + "members = [{name = \"m\", fqdn = 1979-05-27T00:00:00Z}]\n",
           p + R"([{"name":"m","ratio":0,"fqdn":{"autopopulate":"","name":""}}]})"},
          {"a date-time for a member misses its name", head + "members = [1979-05-27]\n",
           "error: missing field `name` for key `members` at line 3 column 12"},
          {"the key path names tables only: dotted keys of a member table",
           head + "[[members]]\nname = \"m\"\nfqdn.name = 5\n",
           "error: invalid type: integer `5`, expected a string for key `members.fqdn` at line 5 column 13"},
          {"a repeated key of a sub-table of an array-of-tables table",
           head + "[[members]]\nname = \"m\"\n[members.fqdn]\nname = \"a\"\nname = \"b\"\n",
           "error: duplicate field `name` for key `members.fqdn` at line 5 column 1"},
          {"an array of tables for fqdn is read by position",
           head + "[[members]]\nname = \"m\"\n[[members.fqdn]]\n",
           "error: invalid type: map, expected a string for key `members.fqdn` at line 5 column 1"},
          {"a member array too long", head + "members = [[\"m\", 1, [], 4]]\n",
           "error: invalid length 4, expected 3 elements in sequence for key `members` at line 3 column 12"},
          {"a record given a string", head + "members = [\"m\"]\n",
           "error: invalid type: string \"m\", expected struct Member for key `members` at line 3 column 12"},
      },
      [](const std::string& t) { return read_as_json<Box>(t); });
}

// A list of records is made room for by steps as it is read: every length
// around the steps reads whole and in order, and a record that fails last in a
// long list fails as it would in a short one.
TEST(TomlRecord, ListsOfRecordsOfAnyLength) {
  for (std::size_t n : {1, 7, 8, 9, 64, 65, 600}) {
    SCOPED_TRACE(n);
    Box box;
    box.name = "b";
    for (std::size_t i = 0; i < n; ++i) {
      box.members.push_back({"m" + std::to_string(i), static_cast<std::uint16_t>(i % 7), {"enabled", "f"}});
    }
    EXPECT_EQ(read_as_json<Box>(qv::formats::write(toml::write_record, box).value()),
              qv::formats::write(json::write_record, box).value());
    std::string text = "name = \"a\"\nport = 1\n";
    for (std::size_t i = 0; i < n; ++i) text += "[[members]]\nname = \"m\"\n";
    text += "[[members]]\nratio = 2\n";
    EXPECT_EQ(read_as_json<Box>(text),
              "error: missing field `name` for key `members` at line " + std::to_string(3 + 2 * n) + " column 1");
  }
}

TEST(TomlRecord, WholeDocuments) {
  run(
      {
          {"empty lists as inline arrays", "boxes = []\ntags = []\n", R"({"boxes":[],"tags":[]})"},
          {"the first missing list", "boxes = []\n", "error: missing field `tags` at line 1 column 1"},
          {"arrays of tables with their nested tables",
           "tags = []\n[[boxes]]\nname = \"b1\"\nport = 1\n[[boxes.tags]]\nname = \"t\"\n[boxes.source-address-translation]\n"
           "type = \"snat\"\n[[boxes]]\nname = \"b2\"\nport = 2\n",
           R"({"boxes":[{"name":"b1","port":1,"tags":[{"name":"t"}],"source-address-translation":{"type":"snat"}},)"
           R"({"name":"b2","port":2,)" + kSat + R"(}],"tags":[]})"},
          {"a key rule inside a table of an array of tables", "tags = []\n[[boxes]]\nname = \"b1\"\n[x]\n",
           "error: missing field `port` for key `boxes` at line 4 column 1"},
          {"a positional box too short", "tags = []\nboxes = [[\"b\"]]\n",
           "error: invalid length 1, expected struct Box with 9 elements for key `boxes` at line 2 column 10"},
          {"a positional box", "tags = []\nboxes = [[\"b\", 7, true, [\"v\"]]]\n",
           R"({"boxes":[{"name":"b","port":7,"enabled":true,"vlans":["v"],)" + kSat + R"(}],"tags":[]})"},
      },
      [](const std::string& t) { return read_as_json<Whole>(t); });
}

TEST(TomlRecord, ErrorsOfTheDocumentComeInWalkOrder) {
  run(
      {
          {"syntax errors come first", "name = 5\nport = \n",
           "error: expected a value, found a newline at line 2 column 8"},
          {"a key rule met before a table defined twice", "name = 5\nport = 1\n[t]\n[t]\n",
           "error: invalid type: integer `5`, expected a string for key `name` at line 1 column 8"},
          {"a table defined twice met before a key rule", "[t]\n[t]\n[source-address-translation]\ntype = 5\n",
           "error: redefinition of table `t` for key `t` at line 2 column 1"},
          {"a table defined twice below an unknown key is still met",
           "name = \"a\"\nport = 1\n[u.v]\n[u.v]\n",
           "error: redefinition of table `u.v` for key `u.v` at line 4 column 1"},
      },
      [](const std::string& t) { return read_as_json<Box>(t); });
}

TEST(TomlRecord, WrittenDocumentsReadBack) {
  Box box;
  box.name = "vs \"1\"";
  box.port = 80;
  box.tags = {{"tcp", std::nullopt}, {"http", "all"}};
  box.sat = {"snat", "p"};
  box.policies = {{"p1", {"a", "b"}}};
  box.members = {{"m", 2, {"enabled", "f"}}};
  const std::string text = qv::formats::write(toml::write_record, box).value();
  EXPECT_EQ(text,
            "name = \"vs \\\"1\\\"\"\n"
            "policies = [[\"p1\", [\"a\", \"b\"]]]\n"
            "port = 80\n"
            "\n[[members]]\nname = \"m\"\nratio = 2\n"
            "\n[members.fqdn]\nautopopulate = \"enabled\"\nname = \"f\"\n"
            "\n[[tags]]\nname = \"tcp\"\n"
            "\n[[tags]]\ncontext = \"all\"\nname = \"http\"\n"
            "\n[source-address-translation]\npool = \"p\"\ntype = \"snat\"\n");
  EXPECT_EQ(read_as_json<Box>(text), qv::formats::write(json::write_record, box).value());

  Translation sat{"automap", "  "};
  EXPECT_EQ(qv::formats::write(toml::write_record, sat).value(), "type = \"automap\"\n");
}

// The value-tree road: the record's JSON value tree, converted and printed;
// "error: " and the debug text when the tree has no TOML form.
template <class T>
std::string by_tree(const T& record) {
  auto item = toml::from_json(json::to_json_value(record));
  if (auto* e = std::get_if<qv::formats::WriteError>(&item)) return "error: " + e->debug;
  std::string out;
  EXPECT_TRUE(toml::print(std::get<toml::Item>(item), out));
  return out;
}

// The record writer, appending to a text that it must keep; on failure it must
// append nothing.
template <class T>
std::string by_writer(const T& record) {
  const std::string before = "# kept\n";
  std::string out = before;
  auto error = toml::write_record(out, qv::record::record_def<T>, &record);
  EXPECT_EQ(out.substr(0, before.size()), before);
  if (error) {
    EXPECT_EQ(out, before);
    EXPECT_EQ(error->message, "unsupported Rust type");
    return "error: " + error->debug;
  }
  return out.substr(before.size());
}

template <class T>
struct WriterCase {
  const char* name;
  T record;
};

template <class T>
void expect_same_as_tree(const std::vector<WriterCase<T>>& cases) {
  for (const WriterCase<T>& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = by_tree(c.record);
    EXPECT_EQ(by_writer(c.record), expected);
    if (expected.rfind("error: ", 0) != 0) {
      // The text is a valid document (absent values make exact read-backs differ).
      auto parsed = toml::parse(expected);
      EXPECT_TRUE(std::holds_alternative<toml::Document>(parsed)) << expected;
    }
  }
}

qv::test::Item full_item() {
  qv::test::Item item;
  item.name = "web";
  item.note = "front end";
  item.stamp = "";  // set, although empty
  item.tags = {{"tcp", std::nullopt}, {"http", "clientside"}};
  item.mask = "255.255.255.255";
  item.translation = {"snat", "pool_a"};
  item.words = {"vlan1", "", "vlan2"};
  item.enabled = true;
  item.rules = {{"rule_a", {"x", "y"}}, {"rule_b", {}}};
  item.count = 65535;
  item.ratio = 7;
  item.monitor = "http";
  item.mode = "least-connections";
  item.zone = "dmz";
  item.setting = {"enabled", "www.example.test"};
  item.source = "0.0.0.0/0";
  return item;
}

TEST(TomlRecordWriter, ItemsAsTheTreeRoadPrintsThem) {
  qv::test::Item blank;  // blank texts, an unset optional, empty lists, zero numbers
  qv::test::Item escapes = full_item();
  escapes.name = "quote \" backslash \\ tab \t newline \n cr \r bs \b ff \f";
  constexpr char kControls[] = "nul \0 unit \x1f del \x7f";
  escapes.note = std::string(kControls, sizeof kControls - 1);
  escapes.words = {"caf\xc3\xa9", "\xe2\x82\xac"};
  escapes.rules = {{"\"", {"\\", "\x01"}}};
  escapes.tags = {{"t", "\n"}};
  qv::test::Item keyword = full_item();
  keyword.monitor = " DEFAULT ";
  keyword.mode = "Round-Robin";
  keyword.ratio = 1;
  keyword.setting = {" disabled ", "x"};
  keyword.translation = {"", "p"};  // a nested record with only some fields written
  qv::test::Item only_tables;
  only_tables.translation = {"automap", ""};
  only_tables.tags = {{"a", std::nullopt}};
  expect_same_as_tree<qv::test::Item>({
      {"blank record", blank},
      {"every field written", full_item()},
      {"texts needing escapes", escapes},
      {"keyword and default values left out", keyword},
      {"arrays of tables before sub-tables", only_tables},
  });
}

TEST(TomlRecordWriter, NestedRecordsAndRecordLists) {
  qv::test::Node leaf{"leaf", {}};
  qv::test::Node tree{"root", {{"a", {leaf, leaf}}, {"b", {}}, {"c", {{"d", {leaf}}}}}};
  expect_same_as_tree<qv::test::Node>({
      {"a node without children", leaf},
      {"arrays of tables below arrays of tables", tree},
  });

  qv::test::Item second = full_item();
  second.tags.clear();
  second.setting = {"disabled", "none"};
  expect_same_as_tree<qv::test::Batch>({
      {"an empty list of records is an inline array", {"b", {}}},
      {"a list of records, each with its own tables", {"b", {full_item(), qv::test::Item{}, second}}},
  });
}

TEST(TomlRecordWriter, HeadersOfTablesHoldingOnlyTables) {
  Shell none;
  Shell only_list;
  only_list.wrap.tags = {{"t1", std::nullopt}, {"t2", "c"}};
  Shell only_table;
  only_table.wrap.xlat = {"snat", "p"};
  only_table.second.tags = {{"s", std::nullopt}};
  Shell both;
  both.name = "n";
  both.wrap.tags = {{"t", std::nullopt}};
  both.wrap.xlat = {"snat", ""};
  expect_same_as_tree<Shell>({
      {"empty tables get their headers", none},
      {"a table of an array of tables only", only_list},
      {"a table of a sub-table only, and upper-case keys first", only_table},
      {"a table of both", both},
  });
}

TEST(TomlRecordWriter, KeysThatNeedQuoting) {
  Quoted q{"1", "2", "3", "4", "5", {{"x", "y"}}};
  expect_same_as_tree<Quoted>({
      {"quoted keys, also in headers", q},
      {"without the array of tables", {"", "", "", "", "", {}}},
  });
}

TEST(TomlRecordWriter, AnUnsetOptionalThatIsWrittenHasNoTomlForm) {
  Loose set{"n", "s", {{"t", std::nullopt}}};
  Loose unset{"n", std::nullopt, {{"t", std::nullopt}}};
  expect_same_as_tree<Loose>({
      {"set", set},
      {"unset, after an array of tables was begun", unset},
  });
  EXPECT_EQ(by_writer(unset), "error: UnsupportedType");
  EXPECT_EQ(qv::formats::write(toml::write_record, unset).error().debug, "UnsupportedType");
}

}  // namespace
