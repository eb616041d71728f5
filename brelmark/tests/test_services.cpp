#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "brelmark/services.hpp"

namespace {

using brelmark::service_count;
using brelmark::service_port;
using brelmark::service_row;
using brelmark::ServiceRow;

constexpr std::uint16_t kNoPort = 65535;

std::vector<ServiceRow> all_rows() {
  std::vector<ServiceRow> rows;
  for (std::size_t i = 0; i < service_count(); ++i) rows.push_back(service_row(i));
  return rows;
}

// Every row is found through the lookup, under its own name only.
TEST(ServiceTable, EveryRowIsFound) {
  const auto rows = all_rows();
  ASSERT_EQ(rows.size(), 4886u);
  for (const ServiceRow& r : rows) ASSERT_EQ(service_port(r.name), r.port) << r.name;
}

TEST(ServiceTable, ShapeOfTheRows) {
  const auto rows = all_rows();
  std::set<std::string_view> names;
  std::set<std::uint16_t> ports;
  std::size_t below_1024 = 0;
  std::vector<std::uint16_t> above_49151;
  std::vector<std::pair<std::string_view, std::uint16_t>> capitalised, two_letters;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ServiceRow& r = rows[i];
    names.insert(r.name);
    ports.insert(r.port);
    if (i > 0) {
      EXPECT_LT(rows[i - 1].port, r.port);  // ascending port order
    }
    below_1024 += r.port < 1024 ? 1 : 0;
    if (r.port > 49151) above_49151.push_back(r.port);
    ASSERT_GE(r.name.size(), 2u) << r.name;
    ASSERT_LE(r.name.size(), 15u) << r.name;
    ASSERT_NE(r.name.front(), '-') << r.name;
    ASSERT_NE(r.name.back(), '-') << r.name;
    for (char c : r.name) ASSERT_TRUE(std::isalpha(static_cast<unsigned char>(c)) || c == '-') << r.name;
    if (std::any_of(r.name.begin(), r.name.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); }))
      capitalised.emplace_back(r.name, r.port);
    if (r.name.size() == 2) two_letters.emplace_back(r.name, r.port);
  }
  EXPECT_EQ(names.size(), rows.size());
  EXPECT_EQ(ports.size(), rows.size());
  EXPECT_EQ(*ports.begin(), 1);
  EXPECT_EQ(*ports.rbegin(), 60179);
  EXPECT_EQ(below_1024, 605u);
  EXPECT_EQ(above_49151, (std::vector<std::uint16_t>{60177, 60179}));
  const std::vector<std::pair<std::string_view, std::uint16_t>> expected_capitalised = {
      {"CAIlic", 216},      {"tnETOS", 377},        {"dsETOS", 378},        {"warmspotMgmt", 1074},
      {"XSIP-network", 1354}, {"BESApi", 3408},     {"iRAPP", 4073},        {"PowerAlert-nsa", 4150},
      {"MaxumSP", 4179},    {"prRegister", 4457},   {"SunVTS-RMI", 6483},   {"joaJewelSuite", 6583},
      {"MobilitySrv", 6997}, {"XmlIpcRegSvc", 9092}, {"Mon", 9255},         {"MOS-lower", 10540},
      {"MOS-upper", 10541}, {"MOS-aux", 10542},     {"MOS-soap", 10543},    {"MOS-soap-opt", 10544},
      {"WibuKey", 22347},   {"CodeMeter", 22350},   {"DMExpress", 32636}};
  EXPECT_EQ(capitalised, expected_capitalised);
  const std::vector<std::pair<std::string_view, std::uint16_t>> expected_two = {
      {"ph", 481}, {"af", 1411}, {"bb", 1984},   {"gf", 3530},  {"pk", 5272},
      {"cm", 5910}, {"sd", 9876}, {"ea", 17729}, {"ap", 47806}};
  EXPECT_EQ(two_letters, expected_two);
  EXPECT_EQ(service_row(0).name, "tcpmux");
  EXPECT_EQ(service_row(service_count() - 1).name, "fido");
}

struct LookupCase {
  std::string_view name;
  std::uint16_t port;
};

class ServiceLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ServiceLookup, Port) { EXPECT_EQ(service_port(GetParam().name), GetParam().port); }

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceLookup,
    ::testing::Values(
        LookupCase{"tcpmux", 1}, LookupCase{"ftp-data", 20}, LookupCase{"ftp", 21},
        LookupCase{"ssh", 22}, LookupCase{"telnet", 23}, LookupCase{"smtp", 25},
        LookupCase{"domain", 53}, LookupCase{"http", 80}, LookupCase{"snmp", 161},
        LookupCase{"ldap", 389}, LookupCase{"https", 443}, LookupCase{"mysql", 3306},
        LookupCase{"matahari", 49000}, LookupCase{"tfido", 60177}, LookupCase{"fido", 60179},
        LookupCase{"mon", 2583}, LookupCase{"Mon", 9255}, LookupCase{"MON", kNoPort},
        LookupCase{"SSH", kNoPort}, LookupCase{"Ssh", kNoPort}, LookupCase{" ssh", kNoPort},
        LookupCase{"ssh ", kNoPort}, LookupCase{"ssh\n", kNoPort}, LookupCase{"", kNoPort},
        LookupCase{"s", kNoPort}, LookupCase{"ss", kNoPort}, LookupCase{"sshh", kNoPort},
        LookupCase{"ssh\0"sv, kNoPort}, LookupCase{"80", kNoPort}, LookupCase{"http2", kNoPort},
        LookupCase{"/ssh", kNoPort}, LookupCase{"ssh:", kNoPort},
        LookupCase{"MOS-soap-opt", 10544}, LookupCase{"MOS-soap-op", kNoPort},
        LookupCase{"aaaaaaaaaaaaaaaa", kNoPort}, LookupCase{"\xff\xfe", kNoPort},
        // the wildcard port, which no row holds
        LookupCase{"any", 0}, LookupCase{"Any", kNoPort}, LookupCase{"any ", kNoPort},
        LookupCase{"anyx", kNoPort}));

// Prefixes and extensions of every name are either rows of their own or not found.
TEST(ServiceTable, NearMissesAreNotFound) {
  const auto rows = all_rows();
  std::set<std::string_view> names;
  for (const ServiceRow& r : rows) names.insert(r.name);
  for (const ServiceRow& r : rows) {
    const std::string longer = std::string(r.name) + "x";
    const std::string shorter(r.name.substr(0, r.name.size() - 1));
    std::string flipped(r.name);
    flipped[0] = static_cast<char>(std::isupper(static_cast<unsigned char>(flipped[0]))
                                       ? std::tolower(static_cast<unsigned char>(flipped[0]))
                                       : std::toupper(static_cast<unsigned char>(flipped[0])));
    for (const std::string& t : {longer, shorter, flipped}) {
      if (names.count(t)) continue;
      ASSERT_EQ(service_port(t), kNoPort) << t;
    }
  }
}

TEST(ServiceTable, LooksUpOnManyThreads) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20000; ++i)
        wrong[t] += (service_port("ssh") == 22 && service_port("Mon") == 9255 &&
                     service_port("nope") == kNoPort)
                        ? 0
                        : 1;
    });
  for (auto& th : threads) th.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

}  // namespace
