// Real configuration listings (tests/data, see SOURCES.md there): object counts and a
// few objects checked field by field.
#include <gtest/gtest.h>

#include <map>

#include "brelmark/grammar.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using test::opt;
using test::read_listing;
using test::strings;
using Strings = std::vector<std::string>;

// Kept alive for the whole test program: the records view these texts.
const std::string& listing(const std::string& name) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, read_listing(name)).first;
  return it->second;
}

ParsedConfig parse_listing(const std::string& name) {
  auto r = parse_config(listing(name));
  EXPECT_TRUE(r.ok()) << r.error().to_string();
  if (!r) return {};
  EXPECT_EQ(r.rest(), "");
  return std::move(r).value();
}

TEST(Listings, ObjectCounts) {
  struct Case {
    const char* file;
    std::size_t virtuals, pools, snat_pools, partitions;
  };
  // No listing has an "auth partition" object: each gets the appended "Common" only.
  const Case cases[] = {
      {"dns-dos.conf", 1, 1, 0, 1},
      {"mcp-proxy.conf", 1, 1, 0, 1},
      {"proxy-map-rules.conf", 4, 0, 0, 1},
      {"lab-full.conf", 1, 1, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ParsedConfig config = parse_listing(c.file);
    EXPECT_EQ(config.virtuals.size(), c.virtuals);
    EXPECT_EQ(config.pools.size(), c.pools);
    EXPECT_EQ(config.snat_pools.size(), c.snat_pools);
    ASSERT_EQ(config.partitions.size(), c.partitions);
    EXPECT_EQ(config.partitions.back().name, "Common");
  }
}

TEST(Listings, DnsVirtualServerAndPool) {
  ParsedConfig config = parse_listing("dns-dos.conf");
  ASSERT_EQ(config.virtuals.size(), 1u);
  const ParsedVirtual& v = config.virtuals[0];
  EXPECT_EQ(v.name.text(), "dns");
  EXPECT_EQ(v.destination.text(), "10.1.10.53:domain");
  EXPECT_EQ(v.ip_protocol, "udp");
  EXPECT_EQ(v.mask, "255.255.255.255");
  EXPECT_EQ(v.pool.text(), "dns-backends");
  ASSERT_EQ(v.profiles.size(), 1u);
  EXPECT_EQ(v.profiles[0].name, "udp");
  EXPECT_FALSE(v.profiles[0].context);
  EXPECT_EQ(v.source, "0.0.0.0/0");
  EXPECT_EQ(v.source_address_translation.type, "snat");
  EXPECT_EQ(v.source_address_translation.pool, "server-side-snat");
  EXPECT_EQ(v.translate_address, "enabled");
  EXPECT_EQ(v.translate_port, "enabled");
  EXPECT_EQ(strings(v.vlans), (Strings{"client-side"}));
  EXPECT_TRUE(v.vlans_enabled);
  EXPECT_FALSE(v.disabled);
  EXPECT_FALSE(v.creation_time);

  ASSERT_EQ(config.pools.size(), 1u);
  const ParsedPool& p = config.pools[0];
  EXPECT_EQ(p.name.text(), "dns-backends");
  EXPECT_EQ(p.description, "\"dns service backends\"");
  EXPECT_EQ(p.monitor, "gateway_icmp");
  EXPECT_EQ(p.load_balancing_mode, "round-robin");
  ASSERT_EQ(p.members.size(), 1u);
  EXPECT_EQ(p.members[0].name.text(), "dns-backend:53");
  EXPECT_EQ(p.members[0].address, "10.1.20.53");
  EXPECT_EQ(p.members[0].session, "monitor-enabled");
  EXPECT_EQ(p.members[0].state, "up");
  EXPECT_EQ(p.members[0].monitor, "default");
}

TEST(Listings, McpVirtualServerAndPool) {
  ParsedConfig config = parse_listing("mcp-proxy.conf");
  ASSERT_EQ(config.virtuals.size(), 1u);
  const ParsedVirtual& v = config.virtuals[0];
  EXPECT_EQ(v.name.text(), "mcp_virtual");
  EXPECT_EQ(opt(v.creation_time), "2025-07-17:08:41:44");
  EXPECT_EQ(opt(v.last_modified_time), "2025-07-18:09:19:19");
  EXPECT_EQ(v.destination.text(), "10.0.2.50:http");
  std::vector<std::string> profiles;
  for (const auto& pr : v.profiles) profiles.emplace_back(pr.name);
  EXPECT_EQ(profiles, (Strings{"mcp_http", "mcp_oneconnect", "mcp_tcp", "mcp_websocket"}));
  EXPECT_EQ(strings(v.rules), (Strings{"mcp_proxy"}));
  EXPECT_EQ(v.source_address_translation.type, "automap");
  EXPECT_EQ(v.source_address_translation.pool, "");
  EXPECT_TRUE(v.vlans.empty());
  EXPECT_FALSE(v.vlans_enabled);

  ASSERT_EQ(config.pools.size(), 1u);
  const ParsedPool& p = config.pools[0];
  EXPECT_EQ(p.monitor, "http");
  ASSERT_EQ(p.members.size(), 2u);
  EXPECT_EQ(p.members[1].name.text(), "10.0.3.202:webcache");
  EXPECT_EQ(p.members[1].address, "10.0.3.202");
  EXPECT_EQ(p.members[1].state, "down");
}

TEST(Listings, ProxyMapVirtualServersWrittenOnOneLine) {
  ParsedConfig config = parse_listing("proxy-map-rules.conf");
  ASSERT_EQ(config.virtuals.size(), 4u);
  std::vector<std::string> names;
  for (const auto& v : config.virtuals) names.emplace_back(v.name.text());
  EXPECT_EQ(names, (Strings{"mainListener", "monitor_response", "web_api", "webproxyForwarder"}));

  const ParsedVirtual& main = config.virtuals[0];
  EXPECT_EQ(main.destination.text(), "__VS_ADDR__:0");
  ASSERT_EQ(main.profiles.size(), 1u);
  EXPECT_EQ(main.profiles[0].name, "BBRprof");
  EXPECT_EQ(strings(main.rules), (Strings{"proxy_v2_handler", "bastionIRule-retry"}));
  EXPECT_EQ(main.source_address_translation.type, "automap");
  EXPECT_EQ(strings(main.vlans), (Strings{"external"}));
  EXPECT_TRUE(main.vlans_enabled);

  const ParsedVirtual& web = config.virtuals[2];
  ASSERT_EQ(web.profiles.size(), 2u);
  EXPECT_EQ(web.profiles[1].name, "http_proxy-retry");

  const ParsedVirtual& fwd = config.virtuals[3];
  EXPECT_EQ(fwd.mask, "any");
  EXPECT_EQ(fwd.translate_address, "disabled");
  EXPECT_EQ(strings(fwd.vlans), (Strings{"proxy_tunnel"}));
}

TEST(Listings, LabPoolSnatPoolAndVirtualServer) {
  ParsedConfig config = parse_listing("lab-full.conf");
  ASSERT_EQ(config.pools.size(), 1u);
  const ParsedPool& p = config.pools[0];
  EXPECT_EQ(p.name.text(), "/Common/Adobe-test-pool");
  EXPECT_EQ(p.monitor, "/Common/tcp ");  // the listing's trailing blank stays
  ASSERT_EQ(p.members.size(), 1u);
  EXPECT_EQ(p.members[0].name.text(), "/Common/10.90.63.18:80");
  EXPECT_EQ(p.members[0].address, "10.90.63.18");
  EXPECT_EQ(p.members[0].session, "");

  ASSERT_EQ(config.snat_pools.size(), 1u);
  EXPECT_EQ(config.snat_pools[0].name.text(), "/Common/snatdemo");
  EXPECT_EQ(strings(config.snat_pools[0].members), (Strings{"/Common/1.1.1.1"}));
  EXPECT_EQ(config.snat_pools[0].partition, "");

  ASSERT_EQ(config.virtuals.size(), 1u);
  const ParsedVirtual& v = config.virtuals[0];
  EXPECT_EQ(v.name.text(), "/Common/Adobe-test-VS");
  EXPECT_EQ(v.destination.text(), "/Common/1.1.1.1:80");
  EXPECT_EQ(v.pool.text(), "/Common/Adobe-test-pool");
  EXPECT_EQ(v.source_address_translation.pool, "/Common/snatdemo");
  EXPECT_EQ(v.source_address_translation.type, "snat");
  ASSERT_EQ(v.profiles.size(), 1u);
  EXPECT_EQ(v.profiles[0].name, "/Common/tcp");
}

}  // namespace
}  // namespace brelmark
