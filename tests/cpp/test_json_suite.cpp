// Conformance with the JSON parsing test suite (tests/data/json-test-suite):
// every y_ file is accepted and every n_ file rejected, both as a whole
// document and as the value of a key that names no field of a record; i_
// files only have to be handled without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/json.hpp"
#include "test_records.hpp"

namespace {

namespace fs = std::filesystem;
using namespace qv;

struct SuiteFile {
  std::string name;
  std::string content;
};

std::vector<SuiteFile> suite_files() {
  std::vector<SuiteFile> files;
  const fs::path dir = fs::path(QV_TEST_DATA) / "json-test-suite" / "test_parsing";
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    files.push_back({entry.path().filename().string(), ss.str()});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

// The file as the value of an unknown key, between two fields of the record.
std::string embedded(const std::string& content) {
  return R"({"name":"a","zzz":)" + content + R"(,"mask":"m"})";
}

struct Outcome {
  bool as_document;
  bool as_value;
  std::string error;
};

Outcome read_both_ways(const std::string& content) {
  Outcome o;
  std::string error;
  o.as_document = json::validate(content, error);
  o.error = error;
  auto r = formats::read<qv::test::Item>(json::read_record, embedded(content));
  o.as_value = r.ok();
  if (r.ok()) {
    EXPECT_EQ(r.value().name, "a");
    EXPECT_EQ(r.value().mask, "m");
  } else {
    o.error += " | " + r.error();
  }
  return o;
}

TEST(JsonTestSuite, AcceptsEveryValidFile) {
  int seen = 0;
  for (const auto& f : suite_files()) {
    if (f.name.rfind("y_", 0) != 0) continue;
    ++seen;
    const Outcome o = read_both_ways(f.content);
    EXPECT_TRUE(o.as_document && o.as_value) << f.name << ": " << o.error;
  }
  EXPECT_GT(seen, 0) << "no y_ files found";
}

TEST(JsonTestSuite, RejectsEveryInvalidFile) {
  int seen = 0;
  for (const auto& f : suite_files()) {
    if (f.name.rfind("n_", 0) != 0) continue;
    ++seen;
    const Outcome o = read_both_ways(f.content);
    EXPECT_FALSE(o.as_document) << f.name << " accepted as a document";
    EXPECT_FALSE(o.as_value) << f.name << " accepted as a value";
  }
  EXPECT_GT(seen, 0) << "no n_ files found";
}

TEST(JsonTestSuite, ImplementationDefinedFilesGiveAnAnswer) {
  // Accepted or rejected, but the two ways agree, and a rejection has a
  // positioned message.
  for (const auto& f : suite_files()) {
    if (f.name.rfind("i_", 0) != 0) continue;
    const Outcome o = read_both_ways(f.content);
    EXPECT_EQ(o.as_document, o.as_value) << f.name << ": " << o.error;
    if (!o.as_document) {
      EXPECT_NE(o.error.find(" at line "), std::string::npos) << f.name;
    }
  }
}

TEST(JsonTestSuite, ValidFilesReadAsTextFieldsWhereTheyAreStrings) {
  // The y_string_ files that hold one string in an array: read as the list
  // of texts, the string decodes to valid UTF-8 that writes back to the same
  // value.
  int read = 0;
  for (const auto& f : suite_files()) {
    if (f.name.rfind("y_string_", 0) != 0) continue;
    auto r = formats::read<qv::test::Item>(json::read_record, R"({"name":"a","mask":"m","words":)" + f.content + "}");
    if (!r) continue;  // not an array of strings
    ++read;
    ASSERT_EQ(r.value().words.size(), 1U) << f.name;
    auto back = formats::read<qv::test::Item>(json::read_record, formats::write(json::write_record, r.value()).value());
    ASSERT_TRUE(back) << f.name << ": " << back.error();
    EXPECT_EQ(back.value().words, r.value().words) << f.name;
  }
  EXPECT_GT(read, 20);
}

}  // namespace
