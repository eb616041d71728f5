// The records' arenas: what is carved from them, that every allocation may be freed anywhere, at
// any time, its block going back once the arena and all of its allocations are done, and which of
// the blocks given back are kept.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "record/arena.hpp"
#include "record/record.hpp"
#include "record/text.hpp"

namespace {

using qv::record::List;
using qv::record::record_allocate;
using qv::record::record_arena_bytes;
using qv::record::record_arena_carves;
using qv::record::record_deallocate;
using qv::record::RecordArena;
using qv::record::Text;
using qv::record::TextList;

constexpr std::size_t kFirst = RecordArena::kFirstBlockBytes;  // an arena's first block

std::string sample(std::size_t n, char first) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 23);
  return s;
}

struct Piece {
  unsigned char* data;
  std::size_t size;
  unsigned char fill;
};

void expect_intact(const Piece& p) {
  for (std::size_t i = 0; i < p.size; ++i) ASSERT_EQ(p.data[i], p.fill) << "byte " << i << " of " << p.size;
}

// Sizes on both sides of the carving limit, and blocks' worth of them.
std::vector<Piece> allocate_many(std::size_t count) {
  const std::size_t sizes[] = {0, 1, 15, 16, 17, 100, RecordArena::kLargest - 1, RecordArena::kLargest,
                               RecordArena::kLargest + 1, 10000};
  std::vector<Piece> pieces;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = sizes[i % std::size(sizes)];
    auto* data = static_cast<unsigned char*>(record_allocate(size));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % alignof(std::max_align_t), 0u);
    const auto fill = static_cast<unsigned char>(i * 7 + 1);
    std::memset(data, fill, size);
    pieces.push_back({data, size, fill});
  }
  return pieces;
}

TEST(RecordArena, AllocationsOutlastTheirArenaAndAreFreedOnAnyThreadInAnyOrder) {
  const std::size_t before = record_arena_bytes().live;
  std::vector<Piece> pieces;
  {
    RecordArena arena;
    RecordArena::Use use(&arena);
    pieces = allocate_many(3000);  // several blocks, growing
    if (record_arena_carves()) EXPECT_GT(record_arena_bytes().live, before + 3 * kFirst);
    // Some freed while the arena still carves, the rest kept.
    for (std::size_t i = 0; i < pieces.size(); i += 3) record_deallocate(pieces[i].data);
    for (std::size_t i = 1; i < pieces.size(); i += 3) expect_intact(pieces[i]);
  }
  // The arena is gone: what is left is whole, and is freed by other threads, from the end.
  for (std::size_t i = 1; i < pieces.size(); i += 3) expect_intact(pieces[i]);
  std::vector<std::thread> threads;
  for (std::size_t t = 1; t <= 2; ++t) {
    threads.emplace_back([&pieces, t] {
      for (std::size_t i = pieces.size(); i-- > 0;) {
        if (i % 3 == t) record_deallocate(pieces[i].data);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(record_arena_bytes().live, before);
}

TEST(RecordArena, ABlockWhoseAllocationsAreAllFreedGoesBackWhenItsArenaIsDone) {
  const std::size_t before = record_arena_bytes().live;
  {
    RecordArena arena;
    RecordArena::Use use(&arena);
    for (const Piece& p : allocate_many(500)) record_deallocate(p.data);
  }
  EXPECT_EQ(record_arena_bytes().live, before);
  { RecordArena unused; }  // an arena that carved nothing holds nothing
  EXPECT_EQ(record_arena_bytes().live, before);
}

// One use of the arenas, as a parse is one: `arenas` arenas (the pieces of a parallel parse), each
// in use on a thread of its own, carve `bytes` between them in allocations of 200 bytes; the
// arenas end together, and the allocations, the parse's result, outlive them.
std::vector<void*> use_arenas(std::size_t bytes, std::size_t arenas = 1) {
  std::vector<RecordArena> pieces(arenas);
  std::vector<std::vector<void*>> carved(arenas);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < arenas; ++k) {
    threads.emplace_back([&, k] {
      RecordArena::Use use(&pieces[k]);
      for (std::size_t n = 0; n < bytes / arenas / 200; ++n) carved[k].push_back(record_allocate(200));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<void*> result;
  for (const auto& piece : carved) result.insert(result.end(), piece.begin(), piece.end());
  return result;
}

void free_all(const std::vector<void*>& result) {
  for (void* p : result) record_deallocate(p);
}

constexpr std::size_t kLargeUse = std::size_t{8} << 20;

TEST(RecordArena, BlocksGivenBackAreKeptForTheNextLargeUses) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  const std::size_t live = record_arena_bytes().live;
  free_all(use_arenas(kLargeUse, 4));
  const auto after_one = record_arena_bytes();
  EXPECT_GE(after_one.kept, kLargeUse);  // the blocks of one use, given back and kept
  EXPECT_LE(after_one.kept, after_one.cap);
  EXPECT_EQ(after_one.live, live);
  // Back to back, the next uses take them again: no block is freed, none more is kept.
  for (int n = 0; n < 3; ++n) {
    free_all(use_arenas(kLargeUse, 4));
    const auto after = record_arena_bytes();
    EXPECT_EQ(after.kept, after_one.kept) << n;
    EXPECT_EQ(after.freed, after_one.freed) << n;
  }
}

// What follows a large use, each use of the same size: arenas that carve nothing (small texts'),
// a block's worth, or a smaller use of many blocks.
class RecordArenaAfterLargeUse : public testing::TestWithParam<std::size_t> {};

TEST_P(RecordArenaAfterLargeUse, KeptBlocksShrinkToWhatTheLaterUsesTake) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  const std::size_t later = GetParam();
  const std::size_t live = record_arena_bytes().live;
  free_all(use_arenas(kLargeUse, 4));
  const auto large = record_arena_bytes();
  auto use_later = [later] { free_all(use_arenas(later)); };
  // Kept through a smaller use or two, for a large one coming back.
  use_later();
  EXPECT_GE(record_arena_bytes().kept, kLargeUse);
  // Then freed down to what the smaller uses take.
  for (std::size_t n = 0; n < 2 * RecordArena::kUsesRemembered; ++n) use_later();
  const auto after = record_arena_bytes();
  EXPECT_EQ(after.live, live);
  EXPECT_LE(after.kept, later ? later * 5 / 4 + RecordArena::kLargestBlockBytes : 0);  // with the heads
  EXPECT_GE(after.kept, later);  // still kept for the smaller uses
  EXPECT_GE(after.freed - large.freed, kLargeUse - after.kept);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RecordArenaAfterLargeUse, testing::Values(0, 200, 1 << 20));

TEST(RecordArena, UsesOnManyThreadsAtOnceKeepTheirCountsWhole) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  const std::size_t live = record_arena_bytes().live;
  // Large and small uses on four threads at once, each result freed by whichever thread takes it
  // from the queue next, mostly another one.
  std::mutex lock;
  std::vector<std::vector<void*>> queue;
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&lock, &queue, t] {
      for (std::size_t round = 0; round < 40; ++round) {
        std::vector<void*> mine = use_arenas(round % 5 == t % 5 ? std::size_t{1} << 20 : 400, 1 + round % 2);
        std::vector<void*> taken;
        {
          std::lock_guard hold(lock);
          queue.push_back(std::move(mine));
          if (queue.size() > 3) {
            taken = std::move(queue.front());
            queue.erase(queue.begin());
          }
        }
        free_all(taken);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& result : queue) free_all(result);
  for (std::size_t n = 0; n < 2 * RecordArena::kUsesRemembered; ++n) { RecordArena small; }
  const auto after = record_arena_bytes();
  EXPECT_EQ(after.live, live);
  EXPECT_EQ(after.kept, 0u);
}

// A child forked while another thread's arena holds blocks has no such arena: its uses end, and
// the blocks kept before the fork are freed as in any process.
TEST(RecordArena, AForkedChildFreesItsKeptBlocks) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  free_all(use_arenas(kLargeUse));
  ASSERT_GE(record_arena_bytes().kept, kLargeUse);
  std::mutex lock;
  std::condition_variable changed;
  bool carving = false, done = false;
  std::thread holder([&] {
    RecordArena arena;
    RecordArena::Use use(&arena);
    void* p = record_allocate(200);
    std::unique_lock hold(lock);
    carving = true;
    changed.notify_all();
    changed.wait(hold, [&] { return done; });
    record_deallocate(p);
  });
  {
    std::unique_lock hold(lock);
    changed.wait(hold, [&] { return carving; });
  }
  const pid_t child = fork();
  if (child == 0) {
    for (std::size_t n = 0; n < 2 * RecordArena::kUsesRemembered; ++n) { RecordArena small; }
    _exit(record_arena_bytes().kept == 0 ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  {
    std::lock_guard hold(lock);
    done = true;
  }
  changed.notify_all();
  holder.join();
}

TEST(RecordArena, OnlyTheThreadUsingAnArenaCarvesFromItAndUsesNest) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  const std::size_t before = record_arena_bytes().live;
  RecordArena outer, inner;
  void* heap_one = nullptr;
  void* carved = nullptr;
  {
    RecordArena::Use use(&outer);
    carved = record_allocate(8);
    EXPECT_EQ(record_arena_bytes().live, before + kFirst);
    std::thread other([&] { heap_one = record_allocate(8); });  // no arena in use there
    other.join();
    EXPECT_EQ(record_arena_bytes().live, before + kFirst);
    {
      RecordArena::Use nested(&inner);
      record_deallocate(record_allocate(8));
      EXPECT_EQ(record_arena_bytes().live, before + 2 * kFirst);
    }
    record_deallocate(record_allocate(8));  // the outer one again: no new block
    EXPECT_EQ(record_arena_bytes().live, before + 2 * kFirst);
    {
      RecordArena small;
      RecordArena::Use none(small.for_text(RecordArena::kSmallestText - 1));  // a small text: the heap
      EXPECT_EQ(small.for_text(RecordArena::kSmallestText), &small);
      record_deallocate(record_allocate(8));
      EXPECT_EQ(record_arena_bytes().live, before + 2 * kFirst);
    }
  }
  record_deallocate(record_allocate(8));  // no arena in use: the heap's
  EXPECT_EQ(record_arena_bytes().live, before + 2 * kFirst);
  record_deallocate(heap_one);
  record_deallocate(carved);
}

// Lists and long texts built while an arena is in use behave as any others: copied, moved,
// grown and compared, after the arena is gone too.
TEST(RecordArena, ListsAndTextsBuiltInAnArenaAreOrdinaryValues) {
  const std::size_t before = record_arena_bytes().live;
  List<TextList> lists;
  TextList copy;
  {
    RecordArena arena;
    RecordArena::Use use(&arena);
    for (std::size_t i = 0; i < 200; ++i) {
      TextList& list = lists.emplace_back();
      for (std::size_t j = 0; j <= i % 9; ++j) list.emplace_back(sample(j * 11, static_cast<char>('a' + i % 20)));
    }
    copy = lists[57];
  }
  TextList moved = std::move(lists[57]);
  EXPECT_EQ(moved, copy);
  EXPECT_TRUE(lists[57].empty());
  lists[58] = copy;  // copied from outside the arena into a list made in it
  EXPECT_EQ(lists[58], copy);
  for (std::size_t k = 0; k < 50; ++k) lists[3].emplace_back(sample(40 + k, 'z'));  // grows on the heap
  EXPECT_EQ(lists[3].back().view(), sample(89, 'z'));
  EXPECT_EQ(lists[120].size(), 120u % 9 + 1);
  EXPECT_EQ(lists[120][3].view(), sample(33, static_cast<char>('a' + 120 % 20)));
  lists.clear();
  lists.shrink_to_fit();
  moved.clear();
  moved.shrink_to_fit();
  // The copy made while the arena was in use is the last value carved: it keeps its block.
  if (record_arena_carves()) EXPECT_GT(record_arena_bytes().live, before);
  copy.clear();
  copy.shrink_to_fit();
  EXPECT_EQ(record_arena_bytes().live, before);
}

}  // namespace
