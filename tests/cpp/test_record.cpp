// The record framework: tables, written-when rules, key rules and messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "record/record.hpp"
#include "test_records.hpp"

namespace {

using namespace qv::record;
using qv::test::Item;

const FieldDef& item_field(std::string_view key) {
  const RecordDef& def = record_def<Item>;
  const int i = find_field(def, key);
  EXPECT_GE(i, 0) << key;
  return def.fields[static_cast<std::size_t>(i)];
}

TEST(RecordTable, KindsFollowTheMemberTypes) {
  const RecordDef& def = record_def<Item>;
  EXPECT_EQ(def.name, "Item");
  EXPECT_EQ(def.expecting(), "struct Item");
  EXPECT_EQ(def.expecting_positional(), "struct Item with 16 elements");
  const std::pair<std::string_view, FieldKind> kinds[] = {
      {"name", FieldKind::Text},       {"stamp", FieldKind::OptionalText}, {"tags", FieldKind::RecordList},
      {"x-lat", FieldKind::Record},    {"words", FieldKind::TextList},     {"enabled", FieldKind::Bool},
      {"rules", FieldKind::PairList},  {"count", FieldKind::U16},
  };
  for (const auto& [key, kind] : kinds) EXPECT_EQ(item_field(key).kind, kind) << key;
  EXPECT_EQ(&item_field("tags").nested(), &record_def<qv::test::Tag>);
  EXPECT_EQ(&item_field("x-lat").nested(), &record_def<qv::test::Translation>);
  // A record may hold a list of its own kind.
  EXPECT_EQ(&record_def<qv::test::Node>.fields[1].nested(), &record_def<qv::test::Node>);
}

TEST(RecordTable, AccessorsReachTheMembers) {
  Item it;
  value_as<qv::record::Text>(item_field("mask").in(&it)) = "m";
  value_as<std::uint16_t>(item_field("count").in(&it)) = 7;
  auto& tags = item_field("tags");
  value_as<qv::test::Tag>(tags.list->append(tags.in(&it))).name = "t";
  EXPECT_EQ(it.mask, "m");
  EXPECT_EQ(it.count, 7);
  ASSERT_EQ(it.tags.size(), 1U);
  EXPECT_EQ(it.tags[0].name, "t");
  EXPECT_EQ(tags.list->size(tags.in(&it)), 1U);
  EXPECT_EQ(tags.list->at(tags.in(&it), 0), &it.tags[0]);
}

// A written-when case: a change to a default Item and whether the field is then written.
struct WrittenCase {
  std::string_view key;
  std::function<void(Item&)> change;
  bool written;
};

class WrittenWhenRules : public ::testing::TestWithParam<WrittenCase> {};

TEST_P(WrittenWhenRules, DecideFromTheValue) {
  Item it;
  GetParam().change(it);
  const FieldDef& f = item_field(GetParam().key);
  EXPECT_EQ(is_written(f, f.in(&it)), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrittenWhenRules,
    ::testing::Values(
        WrittenCase{"name", [](Item&) {}, true},
        WrittenCase{"note", [](Item& i) { i.note = ""; }, false},
        WrittenCase{"note", [](Item& i) { i.note = " \t\u00a0\u3000"; }, false},
        WrittenCase{"note", [](Item& i) { i.note = " x "; }, true},
        WrittenCase{"stamp", [](Item&) {}, false},
        WrittenCase{"stamp", [](Item& i) { i.stamp = ""; }, true},
        WrittenCase{"tags", [](Item&) {}, false},
        WrittenCase{"tags", [](Item& i) { i.tags.push_back({}); }, true},
        WrittenCase{"x-lat", [](Item& i) { i.translation = {" ", "\u2003"}; }, false},
        WrittenCase{"x-lat", [](Item& i) { i.translation = {"", "p"}; }, true},
        WrittenCase{"words", [](Item& i) { i.words = {""}; }, true},
        WrittenCase{"enabled", [](Item&) {}, false},
        WrittenCase{"enabled", [](Item& i) { i.enabled = true; }, true},
        WrittenCase{"rules", [](Item& i) { i.rules = {{"p", {}}}; }, true},
        WrittenCase{"count", [](Item&) {}, false},
        WrittenCase{"count", [](Item& i) { i.count = 1; }, true},
        WrittenCase{"ratio", [](Item& i) { i.ratio = 1; }, false},
        WrittenCase{"ratio", [](Item& i) { i.ratio = 0; }, true},
        WrittenCase{"ratio", [](Item& i) { i.ratio = 65535; }, true},
        // unless blank or the keyword
        WrittenCase{"monitor", [](Item& i) { i.monitor = ""; }, false},
        WrittenCase{"monitor", [](Item& i) { i.monitor = "DEFAULT"; }, false},
        WrittenCase{"monitor", [](Item& i) { i.monitor = " default\u00a0"; }, false},
        WrittenCase{"monitor", [](Item& i) { i.monitor = "tcp "; }, true},
        WrittenCase{"monitor", [](Item& i) { i.monitor = "default2"; }, true},
        // unless the keyword (blank written)
        WrittenCase{"mode", [](Item& i) { i.mode = ""; }, true},
        WrittenCase{"mode", [](Item& i) { i.mode = "Round-Robin "; }, false},
        WrittenCase{"mode", [](Item& i) { i.mode = "round-robin-x"; }, true},
        // not empty: no trimming
        WrittenCase{"zone", [](Item& i) { i.zone = ""; }, false},
        WrittenCase{"zone", [](Item& i) { i.zone = " "; }, true},
        WrittenCase{"setting", [](Item& i) { i.setting = {"Disabled", "x"}; }, false},
        WrittenCase{"setting", [](Item& i) { i.setting = {"  ", "x"}; }, false},
        WrittenCase{"setting", [](Item& i) { i.setting = {"enabled", ""}; }, true},
        WrittenCase{"source", [](Item&) {}, true}));

TEST(RecordWalk, VisitsTheWrittenFieldsInTableOrder) {
  Item it;
  it.enabled = true;
  it.note = "n";
  std::vector<std::string_view> keys;
  for_each_written(record_def<Item>, &it, [&](const FieldDef& f, const void*) { keys.push_back(f.key); });
  EXPECT_EQ(keys, (std::vector<std::string_view>{"name", "note", "mask", "enabled", "ratio", "mode", "source"}));
  EXPECT_EQ(count_written(record_def<Item>, &it), keys.size());
}

TEST(RecordKeywords, TrimUnicodeWhiteSpaceAndFoldOnlyAscii) {
  EXPECT_TRUE(equals_keyword("\u2028DeFaUlT\t", "default"));
  EXPECT_FALSE(equals_keyword("defaul", "default"));
  EXPECT_FALSE(equals_keyword("d efault", "default"));
  // Only A-Z fold: the Kelvin sign does not equal k.
  EXPECT_FALSE(equals_keyword("\u212A", "k"));
}

TEST(RecordLookup, MatchesKeysByteForByte) {
  const RecordDef& def = record_def<Item>;
  EXPECT_EQ(find_field(def, "name"), 0);
  EXPECT_EQ(find_field(def, "source"), 15);
  EXPECT_EQ(find_field(def, "source", 15), 15);
  EXPECT_EQ(find_field(def, "name", 15), 0);  // the search wraps around
  for (std::string_view other : {"Name", "name ", "x_lat", "", "nam"}) EXPECT_EQ(find_field(def, other), -1) << other;
}

TEST(RecordReader, KeyedRules) {
  Item it;
  it.note = "stale";
  RecordReader rr(record_def<Item>, &it);
  EXPECT_EQ(rr.lookup("unknown"), RecordReader::kUnknown);
  const int mask = rr.lookup("mask");
  ASSERT_EQ(mask, 4);
  rr.mark_set(mask);
  EXPECT_EQ(rr.lookup("mask"), RecordReader::kDuplicate);
  EXPECT_EQ(rr.lookup("unknown"), RecordReader::kUnknown);
  std::string error;
  // "name" is the first required field that is not set.
  EXPECT_FALSE(rr.finish_keyed(error));
  EXPECT_EQ(error, "missing field `name`");

  rr.mark_set(rr.lookup("name"));
  it.name = "a";
  it.mask = "m";
  ASSERT_TRUE(rr.finish_keyed(error));
  // Unset fields take their absent values; set ones are kept.
  EXPECT_EQ(it.name, "a");
  EXPECT_EQ(it.note, "");
  EXPECT_EQ(it.count, 3);
  EXPECT_EQ(it.zone, "lan");
  EXPECT_EQ(it.setting, qv::test::fqdn_default());
}

TEST(RecordReader, PositionalRules) {
  const std::pair<std::size_t, std::string_view> cases[] = {
      {0, "invalid length 0, expected struct Item with 16 elements"},
      {1, "invalid length 4, expected struct Item with 16 elements"},
      {4, "invalid length 4, expected struct Item with 16 elements"},
      {5, ""},
      {16, ""},
  };
  for (const auto& [count, message] : cases) {
    Item it;
    RecordReader rr(record_def<Item>, &it);
    std::string error;
    EXPECT_EQ(rr.finish_positional(count, error), message.empty()) << count;
    EXPECT_EQ(error, message) << count;
  }
  Item it;
  it.ratio = 9;
  RecordReader rr(record_def<Item>, &it);
  std::string error;
  ASSERT_TRUE(rr.finish_positional(10, error));
  EXPECT_EQ(it.ratio, 0);  // field 10 onwards: absent
}

TEST(RecordAbsent, WholeRecordTakesItsAbsentValues) {
  Item it = {};
  it.words = {"w"};
  it.tags = {{"t", "c"}};
  it.enabled = true;
  it.translation = {"a", "b"};
  set_record_absent(record_def<Item>, &it);
  Item expected;
  expected.count = 3;
  expected.zone = "lan";
  expected.setting = qv::test::fqdn_default();
  EXPECT_EQ(it, expected);
}

TEST(RecordMessages, Texts) {
  EXPECT_EQ(missing_field("ip-protocol"), "missing field `ip-protocol`");
  EXPECT_EQ(duplicate_field("name"), "duplicate field `name`");
  EXPECT_EQ(invalid_length(8, "struct Virtual with 21 elements"), "invalid length 8, expected struct Virtual with 21 elements");
  EXPECT_EQ(invalid_type("null", kExpectString), "invalid type: null, expected a string");
  EXPECT_EQ(invalid_value(unexpected_unsigned(70000), kExpectU16), "invalid value: integer `70000`, expected u16");
  EXPECT_EQ(expected_text(item_field("x-lat")), "struct Translation");
  EXPECT_EQ(expected_text(item_field("stamp")), "a string");
  EXPECT_EQ(expected_text(item_field("rules")), "a sequence");
  EXPECT_EQ(expected_text(item_field("enabled")), "a boolean");
  EXPECT_EQ(expected_text(item_field("count")), "u16");
}

TEST(RecordMessages, UnexpectedValues) {
  EXPECT_EQ(unexpected_bool(false), "boolean `false`");
  EXPECT_EQ(unexpected_signed(-3), "integer `-3`");
  EXPECT_EQ(unexpected_str("a\"b\n\u0085"), R"(string "a\"b\n\u{85}")");
  const std::pair<double, std::string_view> floats[] = {
      {1.0, "floating point `1.0`"},        {1.5, "floating point `1.5`"},
      {-0.0, "floating point `-0.0`"},      {1e20, "floating point `100000000000000000000.0`"},
      {1e-7, "floating point `0.0000001`"}, {123.456, "floating point `123.456`"},
  };
  for (const auto& [d, text] : floats) EXPECT_EQ(unexpected_float(d), text);
}

}  // namespace
