// The CSV writer: quoting, row terminators, equal field counts, and the
// header walk's failures for lists and nested records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/csv.hpp"

namespace c = qv::csv;

namespace {

// One header row of `names` and one record row of `values` through the
// header/record machinery.
std::string write(const std::vector<std::string>& names, const std::vector<std::string>& values) {
  std::string out;
  c::Status st = c::write_walks(
      out,
      [&](c::HeaderSink& h) {
        for (const auto& n : names) h.name(n);
        return c::Status();
      },
      [&](c::Writer& w) {
        for (const auto& v : values) w.field(v);
        return c::Status();
      });
  return st ? "error: " + st->message : out;
}

}  // namespace

TEST(Csv, ExactOutput) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> values;
    const char* out;
  } cases[] = {
      {{"type"}, {""}, "type\n\"\"\n"},
      {{"name", "context"}, {"tcp", "all"}, "name,context\ntcp,all\n"},
      {{"name"}, {"a,b"}, "name\n\"a,b\"\n"},
      {{"name"}, {"say \"hi\""}, "name\n\"say \"\"hi\"\"\"\n"},
      {{"name"}, {"two\nlines"}, "name\n\"two\nlines\"\n"},
      {{"name"}, {"cr\rhere"}, "name\n\"cr\rhere\"\n"},
      {{"name"}, {" spaced ", }, "name\n spaced \n"},
      {{"name"}, {"semi;colon\ttab 'single' \\back"}, "name\nsemi;colon\ttab 'single' \\back\n"},
      {{"a", "b", "c", "d", "e", "f", "g"}, {"", "", "", "", "", "", ""},
       "a,b,c,d,e,f,g\n,,,,,,\n"},
      {{"a", "b"}, {"", "x"}, "a,b\n,x\n"},
      {{"x,y"}, {"1"}, "\"x,y\"\n1\n"},
      // no field names: no header row
      {{}, {"only"}, "only\n"},
      {{}, {}, "\"\"\n"},
      {{"a", "b"}, {"1"}, "error: CSV error: found record with 1 fields, but the previous record has 2 fields"},
  };
  for (const Case& k : cases) EXPECT_EQ(write(k.names, k.values), k.out) << k.out;
}

TEST(Csv, NumbersAndFlags) {
  std::string out;
  c::Writer w(out);
  w.field(uint64_t{65535});
  w.field(true);
  w.field(false);
  w.field("lit");
  ASSERT_FALSE(w.end_row());
  EXPECT_EQ(out, "65535,true,false,lit\n");
}

TEST(Csv, HeaderWalkRefusesContainers) {
  struct Case {
    bool sequence;
    const char* record;
    const char* text;
  } cases[] = {
      {true, "", "CSV write error: cannot serialize sequence container inside struct when writing headers from structs"},
      {false, "Snat", "CSV write error: cannot serialize Snat container inside struct when writing headers from structs"},
      {false, "MemberFqdn", "CSV write error: cannot serialize MemberFqdn container inside struct when writing headers from structs"},
  };
  for (const Case& k : cases) {
    std::string out;
    bool record_walked = false;
    c::Status st = c::write_walks(
        out,
        [&](c::HeaderSink& h) {
          h.name("name");
          return c::Status(k.sequence ? h.sequence() : h.record(k.record));
        },
        [&](c::Writer&) {
          record_walked = true;
          return c::Status();
        });
    ASSERT_TRUE(st);
    EXPECT_EQ(st->message, k.text);
    EXPECT_FALSE(record_walked);
  }
}

TEST(Csv, HeaderIsWrittenOncePerWriter) {
  std::string out;
  c::RecordWriter w(out);
  auto header = [](c::HeaderSink& h) {
    h.name("n");
    return c::Status();
  };
  ASSERT_FALSE(w.row(header, [](c::Writer& r) { r.field("1"); return c::Status(); }));
  ASSERT_FALSE(w.row(header, [](c::Writer& r) { r.field("2"); return c::Status(); }));
  EXPECT_EQ(out, "n\n1\n2\n");
  c::Status st = w.row(header, [](c::Writer& r) {
    r.field("3");
    r.field("4");
    return c::Status();
  });
  ASSERT_TRUE(st);
  EXPECT_EQ(st->message, "CSV error: found record with 2 fields, but the previous record has 1 fields");
}

// ---------------------------------------------------------------- record walks

#include "test_records.hpp"

namespace {

template <class T>
std::string csv_of(const T& value) {
  qv::formats::WriteResult r = qv::formats::write(c::write_record, value);
  return r ? r.value() : "error: " + r.error().message;
}

}  // namespace

TEST(CsvRecord, HeaderAndRecordRows) {
  EXPECT_EQ(csv_of(qv::test::Server{}), "name,destination,source\n,,\n");
  qv::test::Server v;
  v.name = "a,b";
  v.destination = "d";
  v.creation = "";
  v.vlans_enabled = true;
  v.description = "say \"x\"";
  EXPECT_EQ(csv_of(v),
            "name,destination,description,creation-time,vlans_enabled,source\n"
            "\"a,b\",d,\"say \"\"x\"\"\",,true,\n");
  EXPECT_EQ(csv_of(qv::test::Translation{"", " "}), "type\n\"\"\n");
  EXPECT_EQ(csv_of(qv::test::Tag{"tcp", "all"}), "name,context\ntcp,all\n");
  EXPECT_EQ(csv_of(qv::test::Member{"m", 1, {"disabled", "x"}, "default"}), "name\nm\n");
  EXPECT_EQ(csv_of(qv::test::Member{"m", 5, {"", ""}, "tcp"}), "name,ratio,monitor\nm,5,tcp\n");
  EXPECT_EQ(csv_of(qv::test::Fqdn{"enabled", "n"}), "autopopulate,name\nenabled,n\n");
}

TEST(CsvRecord, ListsAndNestedRecordsFailInTheHeader) {
  const std::string prefix = "error: CSV write error: cannot serialize ";
  const std::string suffix = " container inside struct when writing headers from structs";
  qv::test::Server with_vlan;
  with_vlan.vlans = {"x"};
  qv::test::Server with_snat;
  with_snat.snat = {"automap", ""};
  qv::test::Server both = with_snat;
  both.profiles = {{"tcp", std::nullopt}};
  qv::test::Server policy;
  policy.policies = {{"p", {}}};
  struct Case {
    std::string got;
    std::string kind;
  } cases[] = {
      {csv_of(with_vlan), "sequence"},
      {csv_of(with_snat), "Translation"},
      {csv_of(both), "sequence"},  // profiles come first
      {csv_of(policy), "sequence"},
      {csv_of(qv::test::Member{"m", 0, {"enabled", "x"}, ""}), "Fqdn"},
      {csv_of(qv::test::Config{}), "sequence"},
  };
  for (const Case& k : cases) EXPECT_EQ(k.got, prefix + k.kind + suffix);
}

TEST(CsvRecord, RecordWalkFlattensNestedValues) {
  // The record walk alone, as it would run after a header with no containers.
  qv::test::Server v;
  v.name = "n";
  v.profiles = {{"tcp", std::nullopt}, {"http", "c"}};
  v.snat = {"snat", " "};
  v.policies = {{"p", {"a", "b"}}};
  std::string out;
  c::Writer w(out);
  c::record_walk(w, qv::record::record_def<qv::test::Server>, &v);
  ASSERT_FALSE(w.end_row());
  EXPECT_EQ(out, "n,,tcp,http,c,snat,p,a,b,\n");
}
