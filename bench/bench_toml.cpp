// TOML: reading a generated document of about 8 MB (an array of tables of
// realistic records) into the document model and into records, and writing
// the records back, in bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "formats/toml.hpp"
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
  it.xlat = {"automap", (i % 2 == 0) ? "" : "/Common/snat-" + n};
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

}  // namespace

BENCHMARK_MAIN();
