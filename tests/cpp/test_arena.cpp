// The records' arenas: what is carved from them, and that every allocation may be freed anywhere,
// at any time, its block going back once the arena and all of its allocations are done.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "record/arena.hpp"
#include "record/record.hpp"
#include "record/text.hpp"

namespace {

using qv::formats::List;
using qv::formats::record_allocate;
using qv::formats::record_arena_bytes;
using qv::formats::record_arena_carves;
using qv::formats::record_deallocate;
using qv::formats::RecordArena;
using qv::formats::Text;
using qv::formats::TextList;

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

TEST(RecordArena, BlocksGivenBackAreKeptForTheNextArenasUpToTheMostEverInUse) {
  if (!record_arena_carves()) GTEST_SKIP() << "every allocation is the heap's under the address sanitizer";
  auto fill_and_free = [] {
    RecordArena arena;
    RecordArena::Use use(&arena);
    std::vector<void*> carved;
    for (std::size_t i = 0; i < 2000; ++i) carved.push_back(record_allocate(200));
    for (void* p : carved) record_deallocate(p);
  };
  fill_and_free();
  const std::size_t kept = record_arena_bytes().kept;
  EXPECT_GE(kept, 2000u * 200);  // the blocks of one arena, given back and kept
  EXPECT_LE(kept, record_arena_bytes().most);
  fill_and_free();  // the next arena takes them again: nothing more is kept
  EXPECT_EQ(record_arena_bytes().kept, kept);
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
