// YAML: libyaml's bare event parse of a generated document of about 8 MB,
// beside the loading of the same text into the document model, a walk of
// every event, the reading into records and the writing of the records, in
// bytes per second.
#include <benchmark/benchmark.h>
#include <yaml.h>

#include <string>

#include "formats/yaml.hpp"
#include "test_records.hpp"  // tests/cpp
#include "steady.hpp"

namespace {

using namespace qv;
using qv::test::Config;

// Servers and members of mixed shapes: texts that need quotes now and then,
// lists, nested records and policies.
Config make_config(std::size_t target_bytes) {
  Config c;
  std::size_t size = 0;
  for (std::size_t i = 0; size < target_bytes; ++i) {
    const std::string n = std::to_string(i);
    qv::test::Server v;
    v.name = "/Common/app-" + n + "_vs";
    v.destination = "/Common/10.1." + std::to_string(i % 256) + ".7:443";
    v.description = (i % 7 == 0) ? "line one\nline \"two\" caf\u00e9" : "frontend service " + n;
    if (i % 3 == 0) v.creation = "2024-01-02T03:04:05Z";
    v.profiles = {{"/Common/tcp", std::nullopt}, {"/Common/http", "clientside"}};
    v.snat = {"automap", (i % 2 == 0) ? "" : "/Common/snat-" + n};
    v.vlans = {"/Common/vlan" + std::to_string(i % 10), "/Common/external"};
    v.vlans_enabled = i % 2 == 0;
    if (i % 4 == 0) v.policies = {{"/Common/asm_policy", {"rule-a", "rule-b"}}};
    v.source = "10." + std::to_string(i % 256) + ".0.0/16";
    qv::test::Member m{"/Common/10.2." + std::to_string(i % 256) + ".9:80", static_cast<std::uint16_t>(i % 9),
                  {(i % 6 == 0) ? "enabled" : "disabled", "app" + n + ".example.com"},
                  (i % 5 == 0) ? "default" : "/Common/http_head"};
    size += formats::write(yaml::write_record, v).value().size() + 2 * v.profiles.size();
    size += formats::write(yaml::write_record, m).value().size();
    c.servers.push_back(std::move(v));
    c.members.push_back(std::move(m));
  }
  return c;
}

const Config& config() {
  static const Config c = make_config(8u << 20);
  return c;
}

const std::string& document() {
  static const std::string text = formats::write(yaml::write_record, config()).value();
  return text;
}

void set_rate(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_LibyamlEvents(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
    std::size_t events = 0;
    for (;;) {
      yaml_event_t e;
      if (!yaml_parser_parse(&parser, &e)) {
        state.SkipWithError("libyaml failed");
        break;
      }
      const bool end = e.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&e);
      ++events;
      if (end) break;
    }
    yaml_parser_delete(&parser);
    benchmark::DoNotOptimize(events);
  }
  set_rate(state, text.size());
}
BENCHMARK(BM_LibyamlEvents)->Apply(qv::bench::steady);

void BM_YamlLoad(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    yaml::Document d = yaml::load(text);
    if (d.error) state.SkipWithError(d.error->text().c_str());
    benchmark::DoNotOptimize(d.events.size());
  }
  set_rate(state, text.size());
}
BENCHMARK(BM_YamlLoad)->Apply(qv::bench::steady);

void BM_YamlLoadAndSkip(benchmark::State& state) {
  // The document model walked whole, as the values of unknown keys are.
  const std::string& text = document();
  for (auto _ : state) {
    yaml::Status st = yaml::read_document(text, [](yaml::Walker& w, const yaml::Path&) {
      return w.skip();
    });
    if (st) state.SkipWithError(st->text().c_str());
  }
  set_rate(state, text.size());
}
BENCHMARK(BM_YamlLoadAndSkip)->Apply(qv::bench::steady);

void BM_YamlRead(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    auto r = formats::read<Config>(yaml::read_record, text);
    if (!r) state.SkipWithError(r.error().c_str());
    benchmark::DoNotOptimize(r);
  }
  set_rate(state, text.size());
}
BENCHMARK(BM_YamlRead)->Apply(qv::bench::steady);

void BM_YamlWrite(benchmark::State& state) {
  const Config& c = config();
  const std::size_t size = document().size();
  for (auto _ : state) {
    std::string out;
    out.reserve(size);
    if (auto error = yaml::write_record(out, record::record_def<Config>, &c)) {
      state.SkipWithError(error->message.c_str());
    }
    benchmark::DoNotOptimize(out.data());
  }
  set_rate(state, size);
}
BENCHMARK(BM_YamlWrite)->Apply(qv::bench::steady);

}  // namespace

BENCHMARK_MAIN();
