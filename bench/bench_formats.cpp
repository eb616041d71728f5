// Document formats: reading a generated document of about 8 MB into records
// and writing the records back, in bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "formats/json.hpp"
#include "oracles/json_value.hpp"  // tests/cpp
#include "test_records.hpp"  // tests/cpp
#include "steady.hpp"

namespace {

using namespace qv;
using qv::test::Batch;
using qv::test::Item;

// Items of mixed shapes: short and long texts, an escape or a non-ASCII
// letter now and then, lists, nested records and pairs.
Batch make_batch(std::size_t target_bytes) {
  Batch b;
  b.name = "bench";
  std::size_t size = 0;
  for (std::size_t i = 0; size < target_bytes; ++i) {
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
    size += formats::write(json::write_record, it).value().size() + 1;
    b.items.push_back(std::move(it));
  }
  return b;
}

const Batch& batch() {
  static const Batch b = make_batch(8u << 20);
  return b;
}

const std::string& document() {
  static const std::string text = formats::write(json::write_record, batch()).value();
  return text;
}

void BM_JsonRead(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto r = formats::read<Batch>(json::read_record, text);
    if (!r) state.SkipWithError(r.error().c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_JsonRead)->Apply(qv::bench::steady);

// Reading alone: each result is released outside the clock, so the figure is the reader's and
// not the allocator's work of freeing the previous result (BM_JsonRead counts both).
void BM_JsonReadOnly(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto r = formats::read<Batch>(json::read_record, text);
    if (!r) state.SkipWithError(r.error().c_str());
    benchmark::DoNotOptimize(r);
    state.PauseTiming();
    { auto released = std::move(r); }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_JsonReadOnly)->Apply(qv::bench::steady);

void BM_JsonValidate(benchmark::State& state) {
  // The path that skips values of unknown keys.
  const std::string& text = document();
  std::string error;
  for (auto _ : state) benchmark::DoNotOptimize(json::validate(text, error));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_JsonValidate)->Apply(qv::bench::steady);

void BM_JsonWrite(benchmark::State& state) {
  const Batch& b = batch();
  const std::size_t size = document().size();
  for (auto _ : state) {
    std::string out;
    out.reserve(size);
    (void)json::write_record(out, record::record_def<Batch>, &b);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_JsonWrite)->Apply(qv::bench::steady);

// Writing as the module's to_json does: the text's room is the writer's own to find.
void BM_JsonToJson(benchmark::State& state) {
  const Batch& b = batch();
  const std::size_t size = document().size();
  for (auto _ : state) benchmark::DoNotOptimize(formats::write(json::write_record, b));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_JsonToJson)->Apply(qv::bench::steady);

void BM_JsonValueTree(benchmark::State& state) {
  const Batch& b = batch();
  for (auto _ : state) benchmark::DoNotOptimize(json::to_json_value(b));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(BM_JsonValueTree)->Apply(qv::bench::steady);

}  // namespace

BENCHMARK_MAIN();
