// JSON reading and writing of records.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "formats/json.hpp"
#include "oracles/json_value.hpp"
#include "test_records.hpp"

namespace {

using namespace qv;
using qv::record::Text;
using qv::test::Item;
using qv::test::Node;

// A reading case: the document and either the record it reads to, written
// back as JSON, or the error text.
struct ReadCase {
  std::string_view input;
  std::string_view expected;  // "OK " + to_json of the value, or the error
};

std::string read_outcome(std::string_view input) {
  auto r = formats::read<Item>(json::read_record, input);
  if (!r) return r.error();
  return "OK " + formats::write(json::write_record, r.value()).value();
}

// The written form of an Item holding only the two required keys "a" and "m":
// the absent values are count 3, ratio 0, mode "", zone "lan", setting
// disabled/none.
#define BASE R"({"name":"a","mask":"m")"
#define BASE_OUT R"("ratio":0,"mode":"","zone":"lan","source":""})"

class JsonReadSyntax : public ::testing::TestWithParam<ReadCase> {};

TEST_P(JsonReadSyntax, MessageAndPosition) {
  EXPECT_EQ(read_outcome(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonReadSyntax,
    ::testing::Values(
        ReadCase{"", "EOF while parsing a value at line 1 column 0"},
        ReadCase{"   ", "EOF while parsing a value at line 1 column 3"},
        ReadCase{"{", "EOF while parsing an object at line 1 column 1"},
        ReadCase{"[", "EOF while parsing a list at line 1 column 1"},
        ReadCase{R"({"name")", "EOF while parsing an object at line 1 column 7"},
        ReadCase{R"({"name":)", "EOF while parsing a value at line 1 column 8"},
        ReadCase{R"({"name" 1})", "expected `:` at line 1 column 9"},
        ReadCase{R"({"name":"a" "mask":"m"})", "expected `,` or `}` at line 1 column 13"},
        ReadCase{R"({"name":"a",})", "trailing comma at line 1 column 13"},
        ReadCase{R"({,"name":"a"})", "key must be a string at line 1 column 2"},
        ReadCase{R"({1:2})", "key must be a string at line 1 column 2"},
        ReadCase{BASE "}x", "trailing characters at line 1 column 24"},
        ReadCase{BASE "} {}", "trailing characters at line 1 column 25"},
        ReadCase{BASE "} \n\t\r ", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        ReadCase{"{\"name\":\"a\x01\"}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 11"},
        ReadCase{R"({"name":"\x"})", "invalid escape at line 1 column 11"},
        ReadCase{R"({"name":"\u12"})", "invalid escape at line 1 column 14"},
        ReadCase{R"({"name":"\u12)", "EOF while parsing a string at line 1 column 13"},
        ReadCase{R"({"name":"\ud800"})", "unexpected end of hex escape at line 1 column 16"},
        ReadCase{R"({"name":"\ud800\n"})", "unexpected end of hex escape at line 1 column 17"},
        ReadCase{R"({"name":"\udc00"})", "lone leading surrogate in hex escape at line 1 column 15"},
        ReadCase{R"({"name":"\ud800\u0041"})", "lone leading surrogate in hex escape at line 1 column 21"},
        ReadCase{R"({"name":"ab)", "EOF while parsing a string at line 1 column 11"},
        ReadCase{R"({"name":"a\)", "EOF while parsing a string at line 1 column 11"},
        ReadCase{"{\"name\":\"\xff\"}", "invalid unicode code point at line 1 column 10"},
        ReadCase{"{\"name\":\"\xed\xa0\x80\"}", "invalid unicode code point at line 1 column 10"},
        ReadCase{R"({"name":tru})", "expected ident at line 1 column 12"},
        ReadCase{R"({"name":nul)", "EOF while parsing a value at line 1 column 11"},
        ReadCase{R"({"name":x})", "expected value at line 1 column 9"},
        ReadCase{R"({"name":"a","mask":"m","count":01})", "invalid number at line 1 column 33"},
        ReadCase{R"({"name":"a","mask":"m","count":1.})", "invalid number at line 1 column 34"},
        ReadCase{R"({"name":"a","mask":"m","count":1e})", "invalid number at line 1 column 34"},
        ReadCase{R"({"name":"a","mask":"m","count":-})", "invalid number at line 1 column 33"},
        ReadCase{R"({"name":"a","mask":"m","count":1e400})", "number out of range at line 1 column 36"},
        ReadCase{"{\n  \"name\": \"a\",\n  \"name\": 1\n}", "duplicate field `name` at line 3 column 8"},
        ReadCase{"{\n\"name\":\"a\"\n}", "missing field `mask` at line 3 column 1"},
        ReadCase{"\n\n   null", "invalid type: null, expected struct Item at line 3 column 7"},
        // Unknown keys: any well-formed value, checked fully, however deep.
        ReadCase{BASE R"(,"zzz":[1,-2.5e+3,true,false,null,"s\n\u00e9",{"k":[{}]}]})",
                 "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        ReadCase{BASE R"(,"zzz":1,"zzz":{"a":null}})", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        ReadCase{BASE R"(,"zzz":[1,]})", "expected value at line 1 column 33"},
        ReadCase{BASE R"(,"zzz":{"a" 1}})", "expected `:` at line 1 column 35"},
        ReadCase{BASE R"(,"zzz":{"a":1,}})", "key must be a string at line 1 column 37"},
        ReadCase{BASE R"(,"zzz":[1 2]})", "expected `,` or `]` at line 1 column 33"},
        ReadCase{BASE R"(,"zzz":[1)", "EOF while parsing a list at line 1 column 31"},
        ReadCase{BASE R"(,"zzz":"\ud800"})", "unexpected end of hex escape at line 1 column 37"},
        ReadCase{BASE R"(,"zzz":"\udfff"})", "lone leading surrogate in hex escape at line 1 column 36"},
        ReadCase{BASE ",\"zzz\":\"\xc3\"}", "invalid unicode code point at line 1 column 31"},
        ReadCase{BASE ",\"zzz\":\"a\tb\"}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 31"},
        ReadCase{BASE R"(,"zzz":1e400})", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT}));

class JsonReadRecord : public ::testing::TestWithParam<ReadCase> {};

TEST_P(JsonReadRecord, Rules) { EXPECT_EQ(read_outcome(GetParam().input), GetParam().expected) << GetParam().input; }

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonReadRecord,
    ::testing::Values(
        // Required keys, checked in table order once the object ends.
        ReadCase{"{}", "missing field `name` at line 1 column 2"},
        ReadCase{R"({"mask":"m"})", "missing field `name` at line 1 column 12"},
        ReadCase{R"({"name":"a"})", "missing field `mask` at line 1 column 12"},
        ReadCase{R"({"Name":"a","mask":"m"})", "missing field `name` at line 1 column 23"},
        ReadCase{R"({"name":"","mask":""})", R"(OK {"name":"","mask":"","count":3,)" BASE_OUT},
        // Repeated keys fail before their value is read.
        ReadCase{R"({"name":"a","name":1})", "duplicate field `name` at line 1 column 18"},
        ReadCase{R"({"name":"a","name" :1})", "duplicate field `name` at line 1 column 19"},
        ReadCase{BASE R"(,"stamp":null,"stamp":"x"})", "duplicate field `stamp` at line 1 column 43"},
        // Texts: only strings, stored as they are.
        ReadCase{R"({"name":null})", "invalid type: null, expected a string at line 1 column 12"},
        ReadCase{R"({"name":[1]})", "invalid type: sequence, expected a string at line 1 column 8"},
        ReadCase{R"({"name":{}})", "invalid type: map, expected a string at line 1 column 8"},
        ReadCase{R"({"name":5})", "invalid type: integer `5`, expected a string at line 1 column 9"},
        ReadCase{R"({"name":true})", "invalid type: boolean `true`, expected a string at line 1 column 12"},
        ReadCase{R"({"name":"  a\t\"q\"/\/é\u00e9\ud83d\ude00 ","mask":"m"})",
                 "OK {\"name\":\"  a\\t\\\"q\\\"//éé😀 \",\"mask\":\"m\",\"count\":3," BASE_OUT},
        // Optional texts: null is none, a string (even empty) is set.
        ReadCase{BASE R"(,"stamp":null})", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        ReadCase{BASE R"(,"stamp":""})", R"(OK {"name":"a","stamp":"","mask":"m","count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"stamp":false})", "invalid type: boolean `false`, expected a string at line 1 column 36"},
        // Booleans: only true and false.
        ReadCase{BASE R"(,"enabled":true})", R"(OK {"name":"a","mask":"m","enabled":true,"count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"enabled":"true"})", "invalid type: string \"true\", expected a boolean at line 1 column 39"},
        ReadCase{BASE R"(,"enabled":1})", "invalid type: integer `1`, expected a boolean at line 1 column 34"},
        ReadCase{BASE R"(,"enabled":null})", "invalid type: null, expected a boolean at line 1 column 37"},
        // Unsigned 16-bit numbers: integers 0 to 65535.
        ReadCase{BASE R"(,"count":65535})", R"(OK {"name":"a","mask":"m","count":65535,)" BASE_OUT},
        ReadCase{BASE R"(,"count":0})", R"(OK {"name":"a","mask":"m",)" BASE_OUT},
        ReadCase{BASE R"(,"count":65536})", "invalid value: integer `65536`, expected u16 at line 1 column 36"},
        ReadCase{BASE R"(,"count":70000})", "invalid value: integer `70000`, expected u16 at line 1 column 36"},
        ReadCase{BASE R"(,"count":-1})", "invalid value: integer `-1`, expected u16 at line 1 column 33"},
        ReadCase{BASE R"(,"count":-0})", "invalid type: floating point `-0.0`, expected u16 at line 1 column 33"},
        ReadCase{BASE R"(,"count":1.0})", "invalid type: floating point `1.0`, expected u16 at line 1 column 34"},
        ReadCase{BASE R"(,"count":1.5})", "invalid type: floating point `1.5`, expected u16 at line 1 column 34"},
        ReadCase{BASE R"(,"count":1e2})", "invalid type: floating point `100.0`, expected u16 at line 1 column 34"},
        ReadCase{BASE R"(,"count":1E20})", "invalid type: floating point `1e20`, expected u16 at line 1 column 35"},
        ReadCase{BASE R"(,"count":25e-7})", "invalid type: floating point `2.5e-6`, expected u16 at line 1 column 36"},
        ReadCase{BASE R"(,"count":18446744073709551616})",
                 "invalid type: floating point `1.8446744073709552e19`, expected u16 at line 1 column 51"},
        ReadCase{BASE R"(,"count":18446744073709551615})",
                 "invalid value: integer `18446744073709551615`, expected u16 at line 1 column 51"},
        ReadCase{BASE R"(,"count":"7"})", "invalid type: string \"7\", expected u16 at line 1 column 34"},
        ReadCase{BASE R"(,"count":null})", "invalid type: null, expected u16 at line 1 column 35"},
        // Lists of texts.
        ReadCase{BASE R"(,"words":["b","a","b"]})", R"(OK {"name":"a","mask":"m","words":["b","a","b"],"count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"words":null})", "invalid type: null, expected a sequence at line 1 column 35"},
        ReadCase{BASE R"(,"words":"a"})", "invalid type: string \"a\", expected a sequence at line 1 column 34"},
        ReadCase{BASE R"(,"words":["a",1]})", "invalid type: integer `1`, expected a string at line 1 column 37"},
        ReadCase{BASE R"(,"words":["a",]})", "trailing comma at line 1 column 37"},
        ReadCase{BASE R"(,"words":["a" "b"]})", "expected `,` or `]` at line 1 column 37"},
        // Lists of records, each element in either form.
        ReadCase{BASE R"(,"tags":[["t"],{"name":"u","context":null},["v","c"]]})",
                 R"(OK {"name":"a","tags":[{"name":"t"},{"name":"u"},{"name":"v","context":"c"}],"mask":"m","count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"tags":[null]})", "invalid type: null, expected struct Tag at line 1 column 35"},
        ReadCase{BASE R"(,"tags":[[]]})", "invalid length 0, expected struct Tag with 2 elements at line 1 column 33"},
        ReadCase{BASE R"(,"tags":[{}]})", "missing field `name` at line 1 column 33"},
        ReadCase{BASE R"(,"tags":[{"name":"t","context":null,"context":"c"}]})",
                 "duplicate field `context` at line 1 column 67"},
        ReadCase{BASE R"(,"tags":[["t","c","d"]]})", "trailing characters at line 1 column 41"},
        ReadCase{BASE R"(,"tags":{}})", "invalid type: map, expected a sequence at line 1 column 30"},
        // Nested records.
        ReadCase{BASE R"(,"x-lat":{"type":"t"}})", R"(OK {"name":"a","mask":"m","x-lat":{"type":"t"},"count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"x-lat":["",""]})", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        ReadCase{BASE R"(,"x-lat":["t"]})", R"(OK {"name":"a","mask":"m","x-lat":{"type":"t"},"count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"x-lat":{}})", "missing field `type` at line 1 column 33"},
        ReadCase{BASE R"(,"x-lat":[]})", "invalid length 0, expected struct Translation with 2 elements at line 1 column 33"},
        ReadCase{BASE R"(,"x-lat":null})", "invalid type: null, expected struct Translation at line 1 column 35"},
        ReadCase{BASE R"(,"x-lat":"t"})", "invalid type: string \"t\", expected struct Translation at line 1 column 34"},
        // A nested record with defaults of its own when absent; present, it
        // takes its own absent values.
        ReadCase{BASE R"(,"setting":{"autopopulate":"on"}})",
                 R"(OK {"name":"a","mask":"m","count":3,"ratio":0,"mode":"","zone":"lan","setting":{"autopopulate":"on","name":""},"source":""})"},
        ReadCase{BASE R"(,"setting":[]})", "OK {\"name\":\"a\",\"mask\":\"m\",\"count\":3," BASE_OUT},
        // Pairs: exactly a text and a list of texts.
        ReadCase{BASE R"(,"rules":[["p",["w","v"]],["q",[]]]})",
                 R"(OK {"name":"a","mask":"m","rules":[["p",["w","v"]],["q",[]]],"count":3,)" BASE_OUT},
        ReadCase{BASE R"(,"rules":[["p"]]})", "invalid length 1, expected a tuple of size 2 at line 1 column 37"},
        ReadCase{BASE R"(,"rules":[[]]})", "invalid length 0, expected a tuple of size 2 at line 1 column 34"},
        ReadCase{BASE R"(,"rules":[["p",[],1]]})", "trailing characters at line 1 column 41"},
        ReadCase{BASE R"(,"rules":[["p",[],]]})", "trailing comma at line 1 column 41"},
        ReadCase{BASE R"(,"rules":[{}]})", "invalid type: map, expected a tuple of size 2 at line 1 column 32"},
        ReadCase{BASE R"(,"rules":[["p","w"]]})", "invalid type: string \"w\", expected a sequence at line 1 column 40"},
        ReadCase{BASE R"(,"rules":[[1,[]]]})", "invalid type: integer `1`, expected a string at line 1 column 34"},
        // The record itself: an object or an array.
        ReadCase{"null", "invalid type: null, expected struct Item at line 1 column 4"},
        ReadCase{R"("x")", "invalid type: string \"x\", expected struct Item at line 1 column 3"},
        ReadCase{"5", "invalid type: integer `5`, expected struct Item at line 1 column 1"},
        ReadCase{"-5.0", "invalid type: floating point `-5.0`, expected struct Item at line 1 column 4"},
        // The positional form: fields in table order; a missing required
        // field fails at its position, the others take their absent values.
        ReadCase{"[]", "invalid length 0, expected struct Item with 16 elements at line 1 column 2"},
        ReadCase{R"(["a"])", "invalid length 4, expected struct Item with 16 elements at line 1 column 5"},
        ReadCase{R"(["a","n",null,[]])", "invalid length 4, expected struct Item with 16 elements at line 1 column 17"},
        ReadCase{R"(["a","n",null,[],"m"])", R"(OK {"name":"a","note":"n","mask":"m","count":3,)" BASE_OUT},
        ReadCase{R"([ "a" , "n" , null , [ ] , "m" ])", R"(OK {"name":"a","note":"n","mask":"m","count":3,)" BASE_OUT},
        ReadCase{R"(["a","n",null,[],"m",])", "trailing comma at line 1 column 22"},
        ReadCase{R"(["a","n",null,[],"m" "x"])", "expected `,` or `]` at line 1 column 22"},
        ReadCase{R"(["a","",null,[],"m",["t","p"],["w"],true,[["p",[]]],5,1,"tcp","rr","z",["on","n"],"s"])",
                 R"(OK {"name":"a","mask":"m","x-lat":{"type":"t","pool":"p"},"words":["w"],"enabled":true,"rules":[["p",[]]],"count":5,"monitor":"tcp","mode":"rr","zone":"z","setting":{"autopopulate":"on","name":"n"},"source":"s"})"},
        ReadCase{R"(["a","",null,[],"m",["t","p"],["w"],true,[["p",[]]],5,1,"tcp","rr","z",["on","n"],"s",1])",
                 "trailing characters at line 1 column 87"},
        ReadCase{R"(["a","",null,[],"m",["t","p"],["w"],true,[["p",[]]],5,1,"tcp","rr","z",["on","n"],"s",])",
                 "trailing comma at line 1 column 87"}));

// A record at each depth: a record and its list each take one level of the
// allowance of 128 containers open at once.
std::string nested_nodes(int records) {
  std::string s;
  for (int i = 0; i < records; ++i) s += i + 1 < records ? R"({"name":"n","kids":[)" : R"({"name":"n"})";
  for (int i = 1; i < records; ++i) s += "]}";
  return s;
}

TEST(JsonNesting, RecordsAndListsCountTowardsTheAllowance) {
  // 64 records and their 63 lists: 127 containers.
  auto ok = formats::read<Node>(json::read_record, nested_nodes(64));
  ASSERT_TRUE(ok) << ok.error();
  std::string round = formats::write(json::write_record, ok.value()).value();
  EXPECT_EQ(round, nested_nodes(64));

  // One more record: the 128th container is the list of the 64th record.
  auto deep = formats::read<Node>(json::read_record, nested_nodes(65));
  ASSERT_FALSE(deep);
  const std::size_t column = 63 * std::string_view(R"({"name":"n","kids":[)").size() + 19 + 1;
  EXPECT_EQ(deep.error(), "recursion limit exceeded at line 1 column " + std::to_string(column));

  // The positional form counts the same way.
  std::string pos;
  for (int i = 0; i < 65; ++i) pos += R"(["n",[)";
  EXPECT_EQ(formats::read<Node>(json::read_record, pos).error(), "recursion limit exceeded at line 1 column " + std::to_string(63 * 6 + 5 + 1));
}

TEST(JsonNesting, SkippedValuesDoNotCountAndNeverRecurse) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  auto r = formats::read<Item>(json::read_record, BASE R"(,"zzz":)" + deep + "}");
  ASSERT_TRUE(r) << r.error();
  EXPECT_EQ(r.value().name, "a");

  const std::string objects = [] {
    std::string s;
    for (int i = 0; i < 100000; ++i) s += R"({"k":)";
    s += "1";
    for (int i = 0; i < 100000; ++i) s += "}";
    return s;
  }();
  std::string error;
  EXPECT_TRUE(json::validate(objects, error)) << error;
  EXPECT_FALSE(json::validate(std::string(100000, '['), error));
  EXPECT_EQ(error, "EOF while parsing a list at line 1 column 100000");
}

TEST(JsonRead, ReadingIntoAUsedRecordReplacesEveryField) {
  Item it;
  it.words = {"old"};
  it.tags = {{"old", "c"}};
  it.rules = {{"old", {"w"}}};
  it.note = "old";
  it.stamp = "old";
  std::string error;
  ASSERT_TRUE(json::read_record(R"({"name":"a","mask":"m","words":["new"],"tags":[],"rules":[["p",[]]]})",
                                record::record_def<Item>, &it, error))
      << error;
  EXPECT_EQ(it.words, qv::record::TextList{"new"});
  EXPECT_TRUE(it.tags.empty());
  EXPECT_EQ(it.rules, (qv::record::PairList{{"p", {}}}));
  EXPECT_EQ(it.note, "");
  EXPECT_EQ(it.stamp, std::nullopt);
}

// A long list is written in pieces at the same time: the text is that of its elements
// written one by one, in order, whatever the number of pieces.
TEST(JsonWrite, LongListsInPiecesGiveTheTextOfTheElementsInOrder) {
  for (std::size_t count : {1023, 1024, 1025, 5000, 40001}) {
    SCOPED_TRACE(count);
    qv::test::Batch batch;
    batch.name = "b";
    for (std::size_t i = 0; i < count; ++i) {
      Item& it = batch.items.emplace_back();
      it.name = "item-" + std::to_string(i);
      it.mask = i % 3 == 0 ? "m\u00e9\n" : "m";
      it.words = {std::to_string(i * 7)};
      it.count = static_cast<std::uint16_t>(i);
    }
    std::string expected = R"({"name":"b","items":[)";
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) expected += ',';
      expected += formats::write(json::write_record, batch.items[i]).value();
    }
    expected += "]}";
    EXPECT_EQ(formats::write(json::write_record, batch).value(), expected);
  }
}

TEST(JsonRead, TextListsMixPlainAndEscapedTexts) {
  // Plain texts are taken from the document as they stand, escaped ones decoded; both kinds
  // keep their places in the list, also in the lists of a policy.
  Item it;
  std::string error;
  ASSERT_TRUE(json::read_record(
                  R"({"name":"a","mask":"m","words":["p","e\n","","\u00e9t\u00e9","long plain text","\"q\""],)"
                  R"("rules":[["r\u0031",["x","y\/z"]]]})",
                  record::record_def<Item>, &it, error))
      << error;
  EXPECT_EQ(it.words, (qv::record::TextList{"p", "e\n", "", "\xc3\xa9t\xc3\xa9",
                                                "long plain text", "\"q\""}));
  EXPECT_EQ(it.rules, (qv::record::PairList{{"r1", {"x", "y/z"}}}));
}

// A text read into a string: one that fits the string's room is copied into
// it, a longer one is made at its length; plain and escaped texts alike, into a
// new record and into one whose texts were short, empty or long.
struct TextCase {
  std::string_view json;  // the JSON string, quotation marks included
  std::string_view text;  // what it reads as
};

class JsonReadText : public ::testing::TestWithParam<TextCase> {};

TEST_P(JsonReadText, ReplacesTheOldTextWhateverItsRoom) {
  const std::string doc = R"({"name":)" + std::string(GetParam().json) + R"(,"mask":"m","words":[)" +
                          std::string(GetParam().json) + "]}";
  for (std::string_view old : {"", "short", "an old text far longer than the short-string room of a string"}) {
    SCOPED_TRACE(old);
    Item it;
    it.name = std::string(old);
    it.words = {std::string(old)};
    std::string error;
    ASSERT_TRUE(json::read_record(doc, record::record_def<Item>, &it, error)) << error;
    EXPECT_EQ(it.name, GetParam().text);
    EXPECT_EQ(it.words, qv::record::TextList{std::string_view(GetParam().text)});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonReadText,
    ::testing::Values(TextCase{R"("")", ""}, TextCase{R"("fifteen bytes..")", "fifteen bytes.."},
                      TextCase{R"("sixteen bytes...")", "sixteen bytes..."},
                      TextCase{R"("a text of forty bytes, made for the test")", "a text of forty bytes, made for the test"},
                      TextCase{R"("escaped \"q\" and \u00e9, beyond the short room")",
                               "escaped \"q\" and \xc3\xa9, beyond the short room"},
                      TextCase{R"("\n")", "\n"}));

// Lists of records of every length read back as written: short ones, long ones
// that run to the end of the document, and long ones that are followed by much
// more text (their room is projected from the rest of the document).
struct ListCase {
  std::size_t count;
  std::size_t padding;  // bytes of the text that follows the list
};

class JsonReadRecordList : public ::testing::TestWithParam<ListCase> {};

TEST_P(JsonReadRecordList, ReadsBackEveryElementInOrder) {
  qv::test::Batch batch;
  batch.name = std::string(GetParam().padding, 'p');
  for (std::size_t i = 0; i < GetParam().count; ++i) {
    Item& it = batch.items.emplace_back();
    it.name = "item-" + std::to_string(i);
    it.mask = "m";
    it.tags = {{"t" + std::to_string(i), std::nullopt}};
    it.count = static_cast<std::uint16_t>(i + 1);
    it.zone = "z";
    it.setting = qv::test::fqdn_default();
  }
  // The items first, then the name that pads the document.
  std::string doc = R"({"items":[)";
  for (std::size_t i = 0; i < batch.items.size(); ++i) {
    if (i != 0) doc += ',';
    doc += formats::write(json::write_record, batch.items[i]).value();
  }
  doc += R"(],"name":")" + std::string(batch.name.view()) + "\"}";
  auto back = formats::read<qv::test::Batch>(json::read_record, doc);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(back.value(), batch);
}

INSTANTIATE_TEST_SUITE_P(Cases, JsonReadRecordList,
                         ::testing::Values(ListCase{0, 0}, ListCase{1, 0}, ListCase{8, 0}, ListCase{9, 0},
                                           ListCase{100, 0}, ListCase{5000, 0}, ListCase{5000, 100},
                                           ListCase{5000, 1000000}, ListCase{100, 1000000}));

TEST(JsonRead, NestedFailuresKeepTheirOwnPosition) {
  // A failing field of a nested record reports where that value ended, not
  // where the enclosing records end.
  auto r = formats::read<qv::test::Batch>(json::read_record, "{\"name\":\"b\",\"items\":[\n{\"name\":\"a\",\"mask\":\"m\"},\n"
                                          "{\"name\":\"c\",\"mask\":\"m\",\"count\":99999}]}");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), "invalid value: integer `99999`, expected u16 at line 3 column 36");
}

// ---------------------------------------------------------------------------
// Writing.

struct EscapeCase {
  std::string_view text;
  std::string_view json;
};

class JsonEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscape, EscapesOnlyWhatJsonRequires) {
  std::string out;
  json::append_escaped(out, GetParam().text);
  EXPECT_EQ(out, GetParam().json);
  // What is written reads back unchanged.
  Item item;
  item.name = std::string(GetParam().text);
  auto back = formats::read<Item>(json::read_record, formats::write(json::write_record, item).value());
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(back.value().name, GetParam().text);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonEscape,
    ::testing::Values(EscapeCase{"", R"("")"}, EscapeCase{"plain", R"("plain")"},
                      EscapeCase{"q\"b\\s/", R"("q\"b\\s/")"},
                      EscapeCase{"\b\f\n\r\t", R"("\b\f\n\r\t")"},
                      EscapeCase{"\x01\x1f\x7f"sv, R"("\u0001\u001f)" "\x7f\""},
                      EscapeCase{"nul\0!"sv, R"("nul\u0000!")"},
                      EscapeCase{"é😀\u2028", "\"é😀\u2028\""},
                      EscapeCase{"0123456789abcdef0123456789\n0123456789abcdef\"",
                                 R"("0123456789abcdef0123456789\n0123456789abcdef\"")"},
                      EscapeCase{"0123456789abcdefg\x0b", R"("0123456789abcdefg\u000b")"}));

TEST(JsonWrite, DefaultRecordWritesOnlyTheAlwaysWrittenAndPassingFields) {
  // A value-initialised Item: ratio 0 (not 1) and mode "" (not the keyword)
  // are written; a blank monitor and setting are not.
  EXPECT_EQ(formats::write(json::write_record, Item{}).value(), R"({"name":"","mask":"","ratio":0,"mode":"","source":""})");
}

Item full_item() {
  Item it;
  it.name = " web ";
  it.note = " n ";
  it.stamp = "";
  it.tags = {{"t", std::nullopt}, {"u", "ctx"}};
  it.mask = "255.255.255.0";
  it.translation = {"", "p"};
  it.words = {"b", "a", "b"};
  it.enabled = true;
  it.rules = {{"r1", {"x", "y"}}, {"r2", {}}};
  it.count = 65535;
  it.ratio = 1;
  it.monitor = "tcp ";
  it.mode = "least";
  it.zone = "   ";
  it.setting = {"enabled", ""};
  it.source = "0.0.0.0/0";
  return it;
}

TEST(JsonWrite, EveryKindInTableOrder) {
  EXPECT_EQ(formats::write(json::write_record, full_item()).value(),
            R"({"name":" web ","note":" n ","stamp":"","tags":[{"name":"t"},{"name":"u","context":"ctx"}],)"
            R"("mask":"255.255.255.0","x-lat":{"type":"","pool":"p"},"words":["b","a","b"],"enabled":true,)"
            R"("rules":[["r1",["x","y"]],["r2",[]]],"count":65535,"monitor":"tcp ","mode":"least","zone":"   ",)"
            R"("setting":{"autopopulate":"enabled","name":""},"source":"0.0.0.0/0"})");
}

TEST(JsonWrite, WrittenRecordsReadBackEqual) {
  // Every field of full_item is written (ratio 1 is not, but reads back as
  // the absent 0); the rest reads back as it was.
  Item it = full_item();
  auto back = formats::read<Item>(json::read_record, formats::write(json::write_record, it).value());
  ASSERT_TRUE(back) << back.error();
  it.ratio = 0;
  EXPECT_EQ(back.value(), it);
}

// ---------------------------------------------------------------------------
// Value trees.

TEST(JsonValue, RecordTreeKeepsTableOrderAndKinds) {
  const json::Value v = json::to_json_value(full_item());
  ASSERT_TRUE(v.is_object());
  std::vector<std::string> keys;
  for (const auto& [k, _] : v.as_object()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "note", "stamp", "tags", "mask", "x-lat", "words", "enabled",
                                            "rules", "count", "monitor", "mode", "zone", "setting", "source"}));
  EXPECT_EQ(*v.find("count"), json::Value(std::uint64_t{65535}));
  EXPECT_EQ(*v.find("enabled"), json::Value(true));
  EXPECT_EQ(*v.find("rules"),
            json::Value(json::Array{json::Array{"r1", json::Array{"x", "y"}}, json::Array{"r2", json::Array{}}}));
  EXPECT_EQ(*v.find("x-lat"), json::Value(json::Object{{"type", ""}, {"pool", "p"}}));
  EXPECT_EQ(v.find("absent"), nullptr);
}

TEST(JsonValue, TreePrintsLikeTheDirectWriter) {
  for (const Item& it : {Item{}, full_item()}) {
    std::string out;
    json::write_value(out, json::to_json_value(it));
    EXPECT_EQ(out, formats::write(json::write_record, it).value());
  }
  std::string out;
  json::write_value(out, json::Value(json::Array{nullptr, std::int64_t{-3}, 0.5, 1e21}));
  EXPECT_EQ(out, "[null,-3,0.5,1e21]");
}

}  // namespace
