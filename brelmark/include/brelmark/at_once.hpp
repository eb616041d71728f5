#pragma once
// Running a few pieces of work at the same time.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

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

// Calls call(context, k) for every k in [0, count) at the same time: k = 0 on the calling thread,
// each other on a worker thread, or on the calling thread after k = 0 where no worker is free and
// none can be started. Returns once every call has returned. `call` must not throw.
//
// The workers are kept for later calls. A worker makes every per-thread block of the loaded
// modules (the C++ runtime's exception state among them) when it starts, with memory it has just
// found free, so that a piece that runs out of memory on it can throw and be caught there: a block
// the C library made on first use would end the process if memory ran out at that moment. A worker
// that finds no memory free ends before touching any, and its pieces run on the calling thread.
// A forked child starts workers of its own.
void run_pieces(std::size_t count, void (*call)(void* context, std::size_t k), void* context);

// Makes the calling thread's per-thread blocks as a worker makes its own when it starts, once per
// thread: true once they are made; false, with none touched, where the memory for them is not free.
// Code that must report running out of memory rather than end the process calls it before
// anything that may throw.
bool thread_blocks_made() noexcept;

// run_pieces() with run(k): `run` must not throw.
template <class Run>
void run_at_once(std::size_t count, Run&& run) {
  using Callable = std::remove_reference_t<Run>;
  void* context = const_cast<void*>(static_cast<const void*>(std::addressof(run)));
  run_pieces(count, [](void* c, std::size_t k) { (*static_cast<Callable*>(c))(k); }, context);
}

}  // namespace brelmark
