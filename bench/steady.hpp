#pragma once
// The settings of the document benchmarks. Each runs for a second before it
// is timed: the first reads of a process touch memory the kernel has not yet
// given it, which on a virtual machine costs up to twice the read itself and
// would count only in the first repetitions. The figures are those of a
// process that has read before, as a program reading many documents does.
#include <benchmark/benchmark.h>

namespace qv::bench {

inline void steady(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
}

}  // namespace qv::bench
