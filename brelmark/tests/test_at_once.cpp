// The worker count: the CPUs the process may use, cgroup quotas, and the variable that sets it.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "brelmark/at_once.hpp"

namespace {

using brelmark::cgroup1_quota;
using brelmark::cgroup2_quota;
using brelmark::parse_thread_count;
using brelmark::worker_count;

TEST(WorkerCount, ThreadCountTexts) {
  const struct {
    const char* text;
    std::optional<std::size_t> count;
  } cases[] = {
      {"1", 1}, {"8", 8}, {" 3\n", 3}, {"64", 64}, {"0008", 8},
      {nullptr, std::nullopt}, {"", std::nullopt}, {"0", std::nullopt}, {"-2", std::nullopt},
      {"65", std::nullopt}, {"99999999999999999999999", std::nullopt}, {"4x", std::nullopt},
      {"two", std::nullopt}, {"2.5", std::nullopt}, {"+4", std::nullopt}, {"1 2", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_thread_count(c.text), c.count) << (c.text ? c.text : "(unset)");
}

TEST(WorkerCount, CgroupQuotaTexts) {
  EXPECT_EQ(cgroup2_quota("max 100000\n"), std::nullopt);
  EXPECT_EQ(cgroup2_quota("100000 100000\n"), 1u);
  EXPECT_EQ(cgroup2_quota("150000 100000"), 2u);  // one and a half CPUs: two threads
  EXPECT_EQ(cgroup2_quota("50000 100000"), 1u);
  EXPECT_EQ(cgroup2_quota("800000 100000"), 8u);
  EXPECT_EQ(cgroup2_quota(""), std::nullopt);
  EXPECT_EQ(cgroup2_quota("100000"), std::nullopt);
  EXPECT_EQ(cgroup2_quota("0 100000"), std::nullopt);
  EXPECT_EQ(cgroup1_quota("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(cgroup1_quota("200000\n", "100000\n"), 2u);
  EXPECT_EQ(cgroup1_quota("250000", "100000"), 3u);
  EXPECT_EQ(cgroup1_quota("x", "100000"), std::nullopt);
  EXPECT_EQ(cgroup1_quota("100000", "0"), std::nullopt);
}

// Sets the variable for the life of the object, and puts back what was there.
class ThreadsVariable {
 public:
  explicit ThreadsVariable(const char* value) {
    if (const char* old = std::getenv(brelmark::kThreadsVariable)) old_ = old;
    if (value) {
      setenv(brelmark::kThreadsVariable, value, 1);
    } else {
      unsetenv(brelmark::kThreadsVariable);
    }
  }
  ~ThreadsVariable() {
    if (old_) {
      setenv(brelmark::kThreadsVariable, old_->c_str(), 1);
    } else {
      unsetenv(brelmark::kThreadsVariable);
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(WorkerCount, TheVariableSetsItAndBadValuesAreIgnored) {
  std::size_t by_itself;
  {
    ThreadsVariable unset(nullptr);
    by_itself = worker_count();
  }
  EXPECT_GE(by_itself, 1u);
  EXPECT_LE(by_itself, brelmark::kDefaultMaxWorkers);
  EXPECT_EQ(by_itself, std::min(brelmark::usable_cpus(), brelmark::kDefaultMaxWorkers));
  for (const char* bad : {"", "0", "-1", "many", "1e3", "65"}) {
    ThreadsVariable v(bad);
    EXPECT_EQ(worker_count(), by_itself) << bad;
  }
  for (std::size_t n : {1, 2, 12, 64}) {
    ThreadsVariable v(std::to_string(n).c_str());
    EXPECT_EQ(worker_count(), n);
  }
}

TEST(WorkerCount, FollowsTheAffinityMask) {
  cpu_set_t old;
  ASSERT_EQ(sched_getaffinity(0, sizeof old, &old), 0);
  ThreadsVariable unset(nullptr);
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &old)) cpus.push_back(cpu);
  }
  for (std::size_t take : {std::size_t{1}, std::min<std::size_t>(2, cpus.size())}) {
    cpu_set_t some;
    CPU_ZERO(&some);
    for (std::size_t k = 0; k < take; ++k) CPU_SET(cpus[k], &some);
    ASSERT_EQ(sched_setaffinity(0, sizeof some, &some), 0);
    EXPECT_LE(brelmark::usable_cpus(), take);
    EXPECT_EQ(worker_count(), brelmark::usable_cpus());
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof old, &old), 0);
}

TEST(RunAtOnce, EveryPieceRunsOnce) {
  for (std::size_t count : {0, 1, 3, 8, 70}) {  // 70: more pieces than workers
    std::vector<std::atomic<int>> runs(count);
    brelmark::run_at_once(count, [&](std::size_t k) { ++runs[k]; });
    for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(runs[k], 1) << count << " " << k;
  }
}

// The threads of `count` pieces that wait for each other (for 10 seconds at most): one each when
// they ran at the same time.
std::vector<std::thread::id> meeting_threads(std::size_t count) {
  std::vector<std::thread::id> threads(count);
  std::atomic<std::size_t> arrived = 0;
  brelmark::run_at_once(count, [&](std::size_t k) {
    threads[k] = std::this_thread::get_id();
    ++arrived;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (arrived < count && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  });
  return threads;
}

TEST(RunAtOnce, PiecesRunAtTheSameTimeOnWorkersKeptForTheNextCall) {
  std::vector<std::thread::id> first = meeting_threads(4), second = meeting_threads(4);
  EXPECT_EQ(first[0], std::this_thread::get_id());
  EXPECT_EQ(std::set(first.begin(), first.end()).size(), 4u);
  EXPECT_EQ(std::set(first.begin() + 1, first.end()), std::set(second.begin() + 1, second.end()));
}

TEST(RunAtOnce, CallsFromSeveralThreadsShareTheWorkers) {
  std::atomic<std::size_t> runs = 0;
  std::vector<std::thread> callers;
  for (int t = 0; t < 8; ++t) {
    callers.emplace_back([&] {
      for (int round = 0; round < 50; ++round) brelmark::run_at_once(8, [&](std::size_t) { ++runs; });
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(runs, 8u * 50u * 8u);
}

TEST(RunAtOnce, AForkedChildStartsWorkersOfItsOwn) {
  std::vector<std::thread::id> parent = meeting_threads(4);  // the parent's workers exist
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    alarm(30);  // a piece handed to a parent's worker would wait for ever
    std::vector<std::thread::id> here = meeting_threads(4);
    _exit(std::set(here.begin(), here.end()).size() == 4 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(std::set(parent.begin(), parent.end()).size(), 4u);
}

}  // namespace
