// Records read from and written to YAML over their field tables.
#include <gtest/gtest.h>

#include <string>

#include "formats/json.hpp"
#include "formats/yaml.hpp"
#include "test_records.hpp"

namespace y = qv::yaml;
using qv::test::Config;
using qv::test::Member;
using qv::test::Node;
using qv::test::Server;

namespace {

// The record as compact JSON after a successful read, else the error text.
template <class T>
std::string read_as_json(const std::string& text) {
  auto r = qv::formats::read<T>(y::read_record, text);
  return r ? qv::formats::write(qv::json::write_record, r.value()).value() : r.error();
}

template <class T>
std::string write(const T& value) {
  qv::formats::WriteResult r = qv::formats::write(y::write_record, value);
  EXPECT_TRUE(r) << r.error().message;
  return r ? r.value() : "";
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

struct Case {
  std::string text;
  std::string result;
};

}  // namespace

TEST(YamlRecord, WholeDocuments) {
  const Case cases[] = {
      {"", "missing field `name`"},
      // no node at all: the place is where the stream ends
      {"# only a comment", "missing field `name` at line 2 column 1"},
      {"---", "missing field `name` at line 2 column 1"},
      {"~", "invalid type: unit value, expected struct Server"},
      {"web", "invalid type: string \"web\", expected struct Server"},
      {"''", "invalid type: string \"\", expected struct Server"},
      {"8080", "invalid type: integer `8080`, expected struct Server"},
      {"[a, b]", "invalid type: sequence, expected struct Server"},
      {"- a\n- b\n", "invalid type: sequence, expected struct Server"},
      {"name: a\n", "missing field `destination`"},
      {"x: 1\nname: a\n", "missing field `destination`"},
      {"name: a\ndestination: b\n---\nname: c\n",
       "deserializing from YAML containing more than one document is not supported"},
      // faults of the whole text come before the record's own
      {"name: a\n---\nname: c\n", "deserializing from YAML containing more than one document is not supported"},
      {"a: 1\n---\nb: 2\n", "deserializing from YAML containing more than one document is not supported"},
      {"name: a\ndestination: b\nx: [b\n",
       "did not find expected ',' or ']' at line 4 column 1, while parsing a flow sequence at line 3 "
       "column 4"},
      {"name: a\ndestination: [b\n",
       "did not find expected ',' or ']' at line 3 column 1, while parsing a flow sequence at line 2 column 14"},
      {"name: a\nratio: 1\n  bad: indent\n", "mapping values are not allowed in this context at line 3 column 6"},
      {"name: a\ndestination: b\n]\n", "did not find expected key at line 3 column 1, while parsing a block mapping"},
      {"name: a\ndestination: *b\n", "unknown anchor at line 2 column 14"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_as_json<Server>(c.text), c.result) << c.text;
}

TEST(YamlRecord, FieldValues) {
  const std::string base = "name: n\ndestination: d\n";
  const Case cases[] = {
      {"name:\ndestination:\n", R"({"name":"","destination":"","source":""})"},
      {"name: 6\ndestination: true\ndescription: ~\nsource: 0.0.0.0/0\n",
       R"({"name":"6","destination":"true","description":"~","source":"0.0.0.0/0"})"},
      {"'name': \"  x  \"\ndestination: !!str 1\n", R"({"name":"  x  ","destination":"1","source":""})"},
      {base + "creation-time: ~\n", R"({"name":"n","destination":"d","source":""})"},
      {base + "creation-time:\n", R"({"name":"n","destination":"d","source":""})"},
      {base + "creation-time: '~'\n", R"({"name":"n","destination":"d","creation-time":"~","source":""})"},
      {base + "creation-time: ''\n", R"({"name":"n","destination":"d","creation-time":"","source":""})"},
      {base + "vlans_enabled: true\n", R"({"name":"n","destination":"d","vlans_enabled":true,"source":""})"},
      {base + "vlans_enabled: yes\n",
       "vlans_enabled: invalid type: string \"yes\", expected a boolean at line 3 column 16"},
      {base + "vlans_enabled: 'true'\n",
       "vlans_enabled: invalid type: string \"true\", expected a boolean at line 3 column 16"},
      {base + "vlans:\n", R"({"name":"n","destination":"d","source":""})"},
      {base + "vlans: [a, 'b']\n", R"({"name":"n","destination":"d","vlans":["a","b"],"source":""})"},
      {base + "vlans: ~\n", "vlans: invalid type: unit value, expected a sequence at line 3 column 8"},
      {base + "vlans: [[a]]\n", "vlans[0]: invalid type: sequence, expected a string at line 3 column 9"},
      {base + "profiles:\n", R"({"name":"n","destination":"d","source":""})"},
      {base + "profiles:\n- name: tcp\n- {name: http, context: clientside}\n",
       R"({"name":"n","destination":"d","profiles":[{"name":"tcp"},{"name":"http","context":"clientside"}],"source":""})"},
      {base + "profiles:\n- name: tcp\n- context: x\n", "profiles[1]: missing field `name` at line 5 column 3"},
      {base + "profiles:\n- [tcp]\n", "profiles[0]: invalid type: sequence, expected struct Tag at line 4 column 3"},
      {base + "profiles:\n-\n", "profiles[0]: missing field `name` at line 4 column 2"},
      {base + "source-address-translation:\n",
       "source-address-translation: missing field `type` at line 3 column 28"},
      {base + "source-address-translation: {type: snat, pool: p}\n",
       R"({"name":"n","destination":"d","source-address-translation":{"type":"snat","pool":"p"},"source":""})"},
      {base + "policies: [[p1, [a, b]], [p2, []]]\n",
       R"({"name":"n","destination":"d","policies":[["p1",["a","b"]],["p2",[]]],"source":""})"},
      {base + "policies:\n- [p1]\n",
       "policies[0]: invalid length 1, expected a tuple of size 2 at line 4 column 3"},
      {base + "policies:\n- [p1, [a], x]\n",
       "policies[0]: invalid length 3, expected sequence of 2 elements at line 4 column 3"},
      {base + "policies:\n- [p1, a]\n",
       "policies[0][1]: invalid type: string \"a\", expected a sequence at line 4 column 8"},
      {base + "policies:\n-\n", "policies[0]: invalid length 0, expected a tuple of size 2 at line 4 column 2"},
      {"name: n\ndestination: [a]\n", "destination: invalid type: sequence, expected a string at line 2 column 14"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_as_json<Server>(c.text), c.result) << c.text;
}

TEST(YamlRecord, KeyRules) {
  const Case cases[] = {
      // a repeated key fails before its value, at the mapping
      {"name: a\nname: a\n", "duplicate field `name`"},
      {"profiles:\n- name: a\n  name: b\n", "profiles[0]: duplicate field `name` at line 2 column 3"},
      {"name: a\ndestination: b\nname: [x]\n", "duplicate field `name`"},
      // unknown keys are skipped, repeated or not, at any depth
      {"name: a\nother: 1\nother: {x: [1, 2]}\ndestination: b\n", R"({"name":"a","destination":"b","source":""})"},
      {"Name: a\nname: b\ndestination: c\n", R"({"name":"b","destination":"c","source":""})"},
      {"1: a\nname: b\ndestination: c\n", R"({"name":"b","destination":"c","source":""})"},
      {"name: a\ndestination: b\ndeep: " + repeat("[", 250) + repeat("]", 250) + "\n",
       R"({"name":"a","destination":"b","source":""})"},
      {"name: a\n[k]: v\n", "invalid type: sequence, expected field identifier at line 2 column 1"},
      {"name: a\n{k: v}: v\n", "invalid type: map, expected field identifier at line 2 column 1"},
      {"k: &k name\n*k : a\ndestination: b\n", R"({"name":"a","destination":"b","source":""})"},
      {"k: &k name\n*k : [a]\n", "?: invalid type: sequence, expected a string at line 2 column 6"},
      {"<<: {name: a}\nname: b\ndestination: c\n", R"({"name":"b","destination":"c","source":""})"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_as_json<Server>(c.text), c.result) << c.text;
}

TEST(YamlRecord, NumbersAndNestedDefaults) {
  const Case cases[] = {
      {"name: m\n", R"({"name":"m","ratio":0})"},
      {"name: m\nratio: 65535\n", R"({"name":"m","ratio":65535})"},
      {"name: m\nratio: 65536\n", "ratio: invalid value: integer `65536`, expected u16 at line 2 column 8"},
      {"name: m\nratio: -1\n", "ratio: invalid type: integer `-1`, expected u16 at line 2 column 8"},
      {"name: m\nratio: 1.5\n", "ratio: invalid type: floating point `1.5`, expected u16 at line 2 column 8"},
      {"name: m\nratio: five\n", "ratio: invalid type: string \"five\", expected u16 at line 2 column 8"},
      {"name: m\nratio:\n", "ratio: invalid type: unit value, expected u16 at line 2 column 7"},
      // an absent fqdn takes its defaults, an empty one empty texts
      {"name: m\nratio: 1\nfqdn: {autopopulate: enabled}\n",
       R"({"name":"m","fqdn":{"autopopulate":"enabled","name":""}})"},
      {"name: m\nfqdn:\nratio: 1\n", R"({"name":"m"})"},
      {"name: m\nfqdn: [a]\n", "fqdn: invalid type: sequence, expected struct Fqdn at line 2 column 7"},
      {"name: m\nmonitor: ' x '\nratio: 1\n", R"({"name":"m","monitor":" x "})"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_as_json<Member>(c.text), c.result) << c.text;

  auto absent = qv::formats::read<Member>(y::read_record, "name: m\n");
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent.value().fqdn, qv::test::fqdn_default());
  auto empty = qv::formats::read<Member>(y::read_record, "name: m\nfqdn: {}\n");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty.value().fqdn, qv::test::Fqdn{});
}

TEST(YamlRecord, ListsOfRecordsAndAliases) {
  const Case cases[] = {
      {"virtual_servers:\nmembers: []\n", R"({"virtual_servers":[],"members":[]})"},
      {"virtual_servers: []\n", "missing field `members`"},
      {"members: []\n", "missing field `virtual_servers`"},
      {"virtual_servers: ~\nmembers:\n", "virtual_servers: invalid type: unit value, expected a sequence at line 1 column 18"},
      {"virtual_servers:\n- &v {name: a, destination: b}\n- *v\nmembers:\n",
       R"({"virtual_servers":[{"name":"a","destination":"b","source":""},{"name":"a","destination":"b","source":""}],"members":[]})"},
      {"virtual_servers:\nmembers:\n- name: a\n- name: b\n  ratio: 70000\n",
       "members[1].ratio: invalid value: integer `70000`, expected u16 at line 5 column 10"},
      {"virtual_servers:\nmembers:\n- name: a\n  fqdn: {autopopulate: [x]}\n",
       "members[0].fqdn.autopopulate: invalid type: sequence, expected a string at line 4 column 24"},
      {"a: &m {name: x, ratio: 2}\nvirtual_servers: []\nmembers: [*m, *m]\n",
       R"({"virtual_servers":[],"members":[{"name":"x","ratio":2},{"name":"x","ratio":2}]})"},
      {"virtual_servers:\nmembers:\n-\n", "members[0]: missing field `name` at line 3 column 2"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_as_json<Config>(c.text), c.result) << c.text;
}

TEST(YamlRecord, NestingAllowance) {
  // Each record and each list spends a level: 64 records in 63 lists fit the
  // allowance of 128, one more does not.
  auto nested = [](int depth) {
    std::string s = "{name: k0";
    for (int i = 1; i < depth; ++i) s += ", kids: [{name: k" + std::to_string(i);
    for (int i = 1; i < depth; ++i) s += "}]";
    return s + "}";
  };
  EXPECT_TRUE(qv::formats::read<Node>(y::read_record, nested(64)));
  auto r = qv::formats::read<Node>(y::read_record, nested(65));
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), "recursion limit exceeded at line 1 column 1207");
}

TEST(YamlRecord, WrittenDocuments) {
  Server v;
  EXPECT_EQ(write(v), "name: ''\ndestination: ''\nsource: ''\n");
  v.name = "/Common/vs";
  v.destination = "10.0.0.1:80";
  v.description = "  ";
  v.creation = "";
  v.profiles = {{"tcp", std::nullopt}, {"http", "clientside"}};
  v.snat = {"snat", "p"};
  v.vlans = {"v1", "true"};
  v.vlans_enabled = true;
  v.policies = {{"p1", {"a"}}, {"p2", {}}};
  v.source = "0.0.0.0/0";
  EXPECT_EQ(write(v),
            "name: /Common/vs\n"
            "destination: 10.0.0.1:80\n"
            "creation-time: ''\n"
            "profiles:\n"
            "- name: tcp\n"
            "- name: http\n"
            "  context: clientside\n"
            "source-address-translation:\n"
            "  type: snat\n"
            "  pool: p\n"
            "vlans:\n"
            "- v1\n"
            "- 'true'\n"
            "vlans_enabled: true\n"
            "policies:\n"
            "- - p1\n"
            "  - - a\n"
            "- - p2\n"
            "  - []\n"
            "source: 0.0.0.0/0\n");
  Member m{"8080", 7, {"enabled", "x.example"}, "default"};
  EXPECT_EQ(write(m), "name: '8080'\nratio: 7\nfqdn:\n  autopopulate: enabled\n  name: x.example\n");
}

TEST(YamlRecord, WrittenDocumentsReadBack) {
  const char* texts[] = {"", "~", "null", "yes", "8080", "-1", "1e3", "a: b", "- x", "#", "two\nlines",
                         " pad ", "quote'\"", "tab\t", "\xE2\x80\xA8", "\r\n", "[x]", "*a", "!t"};
  for (const char* t : texts) {
    Server v;
    v.name = t;
    v.destination = t;
    v.description = std::string("d") + t;
    v.creation = t;
    v.profiles = {{t, t}};
    v.snat = {t, std::string("p") + t};
    v.vlans = {t, t};
    v.vlans_enabled = true;
    v.policies = {{t, {t}}};
    v.source = t;
    Config c{{v, v}, {{t, 3, {std::string("on") + t, t}, std::string("m") + t}}};
    std::string yaml = write(c);
    auto back = qv::formats::read<Config>(y::read_record, yaml);
    ASSERT_TRUE(back) << back.error() << "\n" << yaml;
    EXPECT_EQ(back.value(), c) << yaml;
  }
}
