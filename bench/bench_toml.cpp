// TOML: reading a generated document of about 8 MB (an array of tables of
// realistic records) into the document model and into records, and writing
// the records back, in bytes per second; and reading documents of 10,000 to
// 1,280,000 table headers of four shapes, doubling, to show that the time
// grows with the number of tables and no faster.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <map>
#include <string>

#include "formats/toml.hpp"
#include "ltm/ltm.hpp"
#include "ltm/pool.hpp"
#include "test_records.hpp"  // tests/cpp
#include "steady.hpp"

namespace {

using namespace qv;
using qv::test::Batch;
using qv::test::Item;

// Records of mixed shapes: short and long texts, an escape or a non-ASCII
// letter now and then, lists, nested records (arrays of tables and
// sub-tables) and pairs.
Item make_item(std::size_t i) {
  Item it;
  const std::string n = std::to_string(i);
  it.name = "/Common/app-" + n + "_vs";
  it.note = (i % 7 == 0) ? "line one\nline \"two\" caf\u00e9" : "frontend service " + n;
  if (i % 3 == 0) it.stamp = "2024-01-02T03:04:05Z";
  it.tags = {{"/Common/tcp", std::nullopt}, {"/Common/http", "clientside"}};
  it.mask = "255.255.255.255";
  it.translation = {"automap", (i % 2 == 0) ? "" : "/Common/snat-" + n};
  it.words = {"/Common/vlan" + std::to_string(i % 10), "/Common/external"};
  it.enabled = i % 2 == 0;
  if (i % 4 == 0) it.rules = {{"/Common/asm_policy", {"rule-a", "rule-b"}}};
  it.count = static_cast<std::uint16_t>(i % 65536);
  it.ratio = static_cast<std::uint16_t>(1 + i % 5);
  it.monitor = (i % 5 == 0) ? "default" : "/Common/http_head";
  it.mode = "least-connections-member";
  it.zone = "dmz";
  it.setting = {(i % 6 == 0) ? "enabled" : "disabled", "app" + n + ".example.com"};
  it.source = "10." + std::to_string(i % 256) + ".0.0/16";
  return it;
}

// About 8 MiB of TOML text: a first guess from 1000 items, then scaled.
const Batch& batch() {
  static const Batch b = [] {
    constexpr std::size_t kTarget = 8u << 20;
    Batch out;
    out.name = "bench";
    for (std::size_t i = 0; i < 1000; ++i) out.items.push_back(make_item(i));
    const std::size_t first = formats::write(toml::write_record, out).value().size();
    const std::size_t count = out.items.size() * kTarget / first + 1;
    for (std::size_t i = out.items.size(); i < count; ++i) out.items.push_back(make_item(i));
    return out;
  }();
  return b;
}

const std::string& document() {
  static const std::string text = formats::write(toml::write_record, batch()).value();
  return text;
}

void BM_TomlParse(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto doc = toml::parse(text);
    if (std::holds_alternative<toml::Error>(doc)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TomlParse)->Apply(qv::bench::steady);

void BM_TomlRead(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto r = formats::read<Batch>(toml::read_record, text);
    if (!r) state.SkipWithError(r.error().c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TomlRead)->Apply(qv::bench::steady);

void BM_TomlWrite(benchmark::State& state) {
  const Batch& b = batch();
  const std::size_t size = document().size();
  for (auto _ : state) {
    formats::WriteResult out = formats::write(toml::write_record, b);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_TomlWrite)->Apply(qv::bench::steady);

// ---------------------------------------------------------------------------
// Many tables. Each document has state.range(0) table headers (realistic
// records as LTM.to_toml and Pool.to_toml write them, and plain headers):
//   ltm:    LTM.to_toml of pools of three members ([[pools]], then three [[pools.members]]);
//   pool:   Pool.to_toml of one pool of that many members ([[members]]);
//   tables: a pool's name, then distinct [tableN] headers of one key each;
//   dotted: the same with [a.b.cN] headers.

ltm::PoolMember make_member(std::size_t i) {
  ltm::PoolMember m = ltm::poolmember_default();
  const std::string address = "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." +
                              std::to_string(i & 255);
  m.name = address + ":80";
  m.destination = address;
  return m;
}

std::string pools_shape(std::size_t n) {
  ltm::LTM value;
  for (std::size_t p = 0; p < n / 4; ++p) {
    ltm::Pool& pool = value.pools.emplace_back();
    pool.name = "/Common/pool" + std::to_string(p);
    pool.monitor = "/Common/tcp";
    pool.lb_mode = "round-robin";
    pool.partition = "Common";
    for (std::size_t m = 0; m < 3; ++m) pool.members.push_back(make_member(3 * p + m));
  }
  return formats::write(toml::write_record, value).value();
}

std::string members_shape(std::size_t n) {
  ltm::Pool pool;
  pool.name = "/Common/big";
  pool.lb_mode = "round-robin";
  pool.partition = "Common";
  for (std::size_t m = 0; m < n; ++m) pool.members.push_back(make_member(m));
  return formats::write(toml::write_record, pool).value();
}

std::string headers_shape(std::size_t n, std::string_view prefix) {
  std::string out = "name = \"/Common/big\"\n";
  for (std::size_t i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    out += "\n[";
    out += prefix;
    out += k + "]\nname = \"t" + k + "\"\n";
  }
  return out;
}

enum class Shape { Ltm, Pool, Tables, Dotted };

// Documents are built once per shape and size.
const std::string& shaped(Shape shape, std::size_t n) {
  static std::map<std::pair<Shape, std::size_t>, std::string> made;
  auto [it, fresh] = made.try_emplace({shape, n});
  if (fresh) {
    switch (shape) {
      case Shape::Ltm: it->second = pools_shape(n); break;
      case Shape::Pool: it->second = members_shape(n); break;
      case Shape::Tables: it->second = headers_shape(n, "table"); break;
      case Shape::Dotted: it->second = headers_shape(n, "a.b.c"); break;
    }
  }
  return it->second;
}

// The page faults of this process so far: on these machines a fresh page costs more than reading
// the tables that fill it, so the figure per table tells reuse of memory from the reading's growth.
double page_faults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_minflt + usage.ru_majflt);
}

// What every series of tables reports beside its time.
void count_tables(benchmark::State& state, double faults_before) {
  const double tables = static_cast<double>(state.range(0)) * static_cast<double>(state.iterations());
  state.counters["faults_per_1k_tables"] = (page_faults() - faults_before) * 1000.0 / tables;
  state.counters["ns_per_table"] = benchmark::Counter(tables * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetComplexityN(state.range(0));
}

void table_counts(benchmark::internal::Benchmark* b) {
  qv::bench::steady(b);
  for (std::int64_t n = 10000; n <= 1280000; n *= 2) b->Arg(n);
  b->Complexity(benchmark::oN);
}

// The document model alone.
template <Shape S>
void BM_TomlParseTables(benchmark::State& state) {
  const std::string& text = shaped(S, static_cast<std::size_t>(state.range(0)));
  const double faults = page_faults();
  for (auto _ : state) {
    auto doc = toml::parse(text);
    if (std::holds_alternative<toml::Error>(doc)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc);
  }
  count_tables(state, faults);
}
BENCHMARK(BM_TomlParseTables<Shape::Ltm>)->Name("BM_TomlParseTables/ltm")->Apply(table_counts);
BENCHMARK(BM_TomlParseTables<Shape::Pool>)->Name("BM_TomlParseTables/pool")->Apply(table_counts);
BENCHMARK(BM_TomlParseTables<Shape::Tables>)->Name("BM_TomlParseTables/tables")->Apply(table_counts);
BENCHMARK(BM_TomlParseTables<Shape::Dotted>)->Name("BM_TomlParseTables/dotted")->Apply(table_counts);

// Into the records LTM.from_toml and Pool.from_toml read (the two header
// shapes into a Pool, whose reader passes over the unknown tables).
template <class T, Shape S>
void BM_TomlReadTables(benchmark::State& state) {
  const std::string& text = shaped(S, static_cast<std::size_t>(state.range(0)));
  const double faults = page_faults();
  for (auto _ : state) {
    auto r = formats::read<T>(toml::read_record, text);
    if (!r) state.SkipWithError(r.error().c_str());
    benchmark::DoNotOptimize(r);
  }
  count_tables(state, faults);
}
BENCHMARK(BM_TomlReadTables<ltm::LTM, Shape::Ltm>)->Name("BM_TomlReadTables/ltm")->Apply(table_counts);
BENCHMARK(BM_TomlReadTables<ltm::Pool, Shape::Pool>)->Name("BM_TomlReadTables/pool")->Apply(table_counts);
BENCHMARK(BM_TomlReadTables<ltm::Pool, Shape::Tables>)->Name("BM_TomlReadTables/tables")->Apply(table_counts);
BENCHMARK(BM_TomlReadTables<ltm::Pool, Shape::Dotted>)->Name("BM_TomlReadTables/dotted")->Apply(table_counts);

}  // namespace

BENCHMARK_MAIN();
