// The worker count: the CPUs the process may use, cgroup quotas, and the variable that sets it.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <optional>
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
  for (std::size_t count : {0, 1, 3, 8}) {
    std::vector<std::atomic<int>> runs(count);
    brelmark::run_at_once(count, [&](std::size_t k) { ++runs[k]; });
    for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(runs[k], 1) << count << " " << k;
  }
}

}  // namespace
