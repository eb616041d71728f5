#pragma once
// Running a few pieces of work at the same time.
#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace brelmark {

// The threads worth giving the pieces of one piece of work: one per core, at most eight.
inline std::size_t worker_count() noexcept {
  static const std::size_t count = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
  return count;
}

// Calls run(k) for every k in [0, count) at the same time: run(0) on the calling thread, each
// other on a thread of its own, or on the calling thread after run(0) where no thread can be
// started. Returns once every call has returned. `run` must not throw.
template <class Run>
void run_at_once(std::size_t count, Run&& run) {
  std::vector<std::thread> threads;
  std::vector<std::size_t> here;
  threads.reserve(count);
  here.reserve(count);
  for (std::size_t k = 1; k < count; ++k) {
    try {
      threads.emplace_back([&run, k] { run(k); });
    } catch (const std::system_error&) {
      here.push_back(k);
    }
  }
  if (count > 0) run(0);
  for (std::size_t k : here) run(k);
  for (std::thread& t : threads) t.join();
}

}  // namespace brelmark
