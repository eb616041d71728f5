// Throughput of parse_config on a large listing, beside a plain newline count of the same
// buffer (the memory-speed floor).
//
//   python3 gen_config.py --megabytes 9.2 > /tmp/listing-8mb.conf     (about 8 MB)
//   BRELMARK_BENCH_LISTING=/tmp/listing-8mb.conf bench_parse
//   bench_parse /tmp/listing-8mb.conf [benchmark flags]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "brelmark/grammar.hpp"

namespace {

std::string g_listing;

void BM_NewlineCount(benchmark::State& state) {
  for (auto _ : state) {
    auto lines = std::count(g_listing.begin(), g_listing.end(), '\n');
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(g_listing.size()));
}

void BM_ParseConfig(benchmark::State& state) {
  std::size_t objects = 0;
  for (auto _ : state) {
    auto parsed = brelmark::parse_config(g_listing);
    if (!parsed) {
      state.SkipWithError("parse_config failed");
      return;
    }
    const auto& c = parsed.value();
    objects = c.partitions.size() + c.virtuals.size() + c.pools.size() + c.snat_pools.size();
    benchmark::DoNotOptimize(objects);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(g_listing.size()));
  state.counters["objects"] = static_cast<double>(objects);
}

BENCHMARK(BM_NewlineCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseConfig)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* path = std::getenv("BRELMARK_BENCH_LISTING");
  if (argc > 1) path = argv[1];
  if (!path) {
    std::cerr << "usage: bench_parse LISTING (or set BRELMARK_BENCH_LISTING); make one with\n"
                 "  python3 gen_config.py --megabytes 9.2 > /tmp/listing-8mb.conf\n";
    return 2;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "bench_parse: cannot read " << path << '\n';
    return 2;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  g_listing = buffer.str();
  std::cerr << "listing: " << path << ", " << g_listing.size() << " bytes\n";
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
