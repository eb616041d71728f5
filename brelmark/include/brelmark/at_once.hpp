#pragma once
// Running a few pieces of work at the same time.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace brelmark {

// The environment variable that sets the number of threads of every parallel step (1: one pass on
// the calling thread). A value that is not a whole number from 1 to kMaxWorkers is ignored.
inline constexpr const char* kThreadsVariable = "QUILVARN_THREADS";
inline constexpr std::size_t kMaxWorkers = 64;
// The most threads worker_count() gives by itself, whatever the machine.
inline constexpr std::size_t kDefaultMaxWorkers = 8;

// The CPUs this process may run on: those of its affinity mask, fewer where a cgroup CPU quota
// allows less (rounded up to whole CPUs); at least 1.
std::size_t usable_cpus() noexcept;

// A CPU quota of a cgroup, as its files write it, in whole CPUs rounded up; nothing where the
// text sets no limit or does not read as one. v2: the "cpu.max" text ("max 100000", "150000
// 100000"); v1: "cpu.cfs_quota_us" and "cpu.cfs_period_us" (a quota of -1: no limit).
std::optional<std::size_t> cgroup2_quota(std::string_view cpu_max) noexcept;
std::optional<std::size_t> cgroup1_quota(std::string_view quota_us, std::string_view period_us) noexcept;

// The value of kThreadsVariable when it is a whole number from 1 to kMaxWorkers (blanks around
// it allowed), else nothing.
std::optional<std::size_t> parse_thread_count(const char* text) noexcept;

// The threads worth giving the pieces of one piece of work: kThreadsVariable when it is set to a
// valid count, else one per usable CPU, at most kDefaultMaxWorkers. Read at each call, so that a
// process may change either.
std::size_t worker_count() noexcept;

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
