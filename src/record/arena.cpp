#include "record/arena.hpp"

#include <pthread.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>

namespace qv::record {

namespace arena_detail {
thread_local RecordArena* current = nullptr;
std::atomic<bool> blocks_kept{false};
}  // namespace arena_detail

using arena_detail::Block;
using arena_detail::Head;

namespace {

constexpr std::size_t kAlign = alignof(Head);

constexpr std::size_t aligned(std::size_t bytes) noexcept { return (bytes + kAlign - 1) / kAlign * kAlign; }

// The blocks given back, kept for the next parses: their memory is then written again where it
// is. Given back to the heap, it would soon be returned to the system (the C library hands back
// the top of its heap once enough of it is free), and every page of it would cost a fault when
// next used, microseconds each on a virtual machine: a large parse's blocks, freed all at once,
// are just such a top. At most as many bytes are kept as the arenas had in blocks at once over the
// last uses (RecordArenaBytes::cap), so that a process that read one large text returns its
// memory once smaller ones follow: when a use ends and the cap falls, the kept blocks beyond it
// are freed, their pages returned to the system.
class BlockCache {
 public:
  static constexpr std::size_t kSizes = 5;  // kFirstBlockBytes, twice that, ... kLargestBlockBytes
  static_assert(RecordArena::kFirstBlockBytes << (kSizes - 1) == RecordArena::kLargestBlockBytes);
  // A release of this much or more asks the C library to return all its free pages.
  static constexpr std::size_t kTrimAfter = std::size_t{1} << 20;

  // A block of `bytes` (one of the sizes), kept or new, for an arena; `first`: its first, which
  // counts it among the arenas holding blocks until end_use(). Throws std::bad_alloc.
  void* take(std::size_t bytes, bool first) {
    const std::size_t k = size_index(bytes);
    {
      std::lock_guard hold(lock_);
      if (first) ++open_arenas_;
      live_bytes_ += bytes;
      use_most_ = std::max(use_most_, live_bytes_);
      cap_ = std::max(cap_, live_bytes_);
      if (Kept* kept = kept_[k]) {
        kept_[k] = kept->next;
        kept_bytes_ -= bytes;
        note_kept();
        return kept;
      }
    }
    try {
      return ::operator new(bytes);
    } catch (...) {
      std::lock_guard hold(lock_);
      if (first) --open_arenas_;
      live_bytes_ -= bytes;
      throw;
    }
  }

  // Keeps a block that take() gave, or frees it.
  void give(void* room, std::size_t bytes) noexcept {
    {
      std::lock_guard hold(lock_);
      live_bytes_ -= bytes;
      if (kept_bytes_ + bytes + live_bytes_ <= cap_) {
        const std::size_t k = size_index(bytes);
        kept_[k] = ::new (room) Kept{kept_[k]};
        kept_bytes_ += bytes;
        note_kept();
        return;
      }
      freed_bytes_ += bytes;
    }
    free_room(room, bytes);
  }

  // An arena has ended (`opened`: it took a block). Once no arena holds a block, a use has ended:
  // the cap follows the last uses, and the kept blocks beyond it are freed, the largest first.
  void end_use(bool opened) noexcept {
    std::array<Kept*, kSizes> release{};
    {
      std::lock_guard hold(lock_);
      if (opened && open_arenas_ > 0) --open_arenas_;  // none open in a child after fork()
      if (open_arenas_ > 0) return;
      uses_[next_use_] = use_most_;
      next_use_ = (next_use_ + 1) % uses_.size();
      use_most_ = live_bytes_;
      cap_ = std::max(live_bytes_, *std::max_element(uses_.begin(), uses_.end()));
      for (std::size_t k = kSizes; k-- > 0 && live_bytes_ + kept_bytes_ > cap_;) {
        const std::size_t bytes = RecordArena::kFirstBlockBytes << k;
        while (kept_[k] && live_bytes_ + kept_bytes_ > cap_) {
          Kept* block = kept_[k];
          kept_[k] = block->next;
          block->next = release[k];
          release[k] = block;
          kept_bytes_ -= bytes;
          freed_bytes_ += bytes;
        }
      }
      note_kept();
    }
    std::size_t released = 0;
    for (std::size_t k = 0; k < kSizes; ++k) {
      while (Kept* block = release[k]) {
        release[k] = block->next;
        free_room(block, RecordArena::kFirstBlockBytes << k);
        released += RecordArena::kFirstBlockBytes << k;
      }
    }
#if defined(__GLIBC__)
    // What the large use's records took from the heap besides (their lists of objects, say), freed
    // with them, is also free memory among other allocations: returned with the blocks.
    if (released >= kTrimAfter) malloc_trim(0);
#endif
  }

  RecordArenaBytes bytes() noexcept {
    std::lock_guard hold(lock_);
    return {live_bytes_, kept_bytes_, cap_, freed_bytes_};
  }

  // Held across fork(), so that a child finds the lists whole.
  void lock() noexcept { lock_.lock(); }
  void unlock() noexcept { lock_.unlock(); }
  // In a child after fork(): the other threads' arenas are gone with them.
  void unlock_in_child() noexcept {
    open_arenas_ = 0;
    lock_.unlock();
  }

 private:
  struct Kept {
    Kept* next;
  };
  // Returns a block's memory to the heap, and its whole pages to the system first: the heap keeps
  // the free memory among its other allocations, and that at the top of a thread's heap, resident.
  static void free_room(void* room, std::size_t bytes) noexcept {
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(room);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1), end = (start + bytes) & ~(page - 1);
    if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
    ::operator delete(room);
  }
  static std::size_t size_index(std::size_t bytes) noexcept {
    std::size_t k = 0;
    while ((RecordArena::kFirstBlockBytes << k) < bytes) ++k;
    return k;
  }
  // Written only when it changes: every arena's end reads it, on any thread.
  void note_kept() noexcept {
    const bool any = kept_bytes_ != 0;
    if (arena_detail::blocks_kept.load(std::memory_order_relaxed) != any) {
      arena_detail::blocks_kept.store(any, std::memory_order_relaxed);
    }
  }

  std::mutex lock_;
  std::array<Kept*, kSizes> kept_{};
  std::size_t kept_bytes_ = 0;
  std::size_t live_bytes_ = 0;  // in blocks given out and not yet given back
  std::size_t open_arenas_ = 0;  // that took a block and have not ended
  std::size_t use_most_ = 0;     // the most live_bytes_ has been in the use under way
  std::array<std::size_t, RecordArena::kUsesRemembered> uses_{};  // the same, of the last uses
  std::size_t next_use_ = 0;     // the oldest of uses_
  std::size_t cap_ = 0;          // the most of use_most_ and uses_
  std::size_t freed_bytes_ = 0;  // in blocks returned to the heap
};

BlockCache* make_cache() {
  static BlockCache* cache;  // leaked on purpose: blocks may be given back while the process ends
  cache = new BlockCache();
  pthread_atfork([] { cache->lock(); }, [] { cache->unlock(); }, [] { cache->unlock_in_child(); });
  return cache;
}

BlockCache& block_cache() {
  static BlockCache* const cache = make_cache();
  return *cache;
}

void free_block(Block* block) noexcept {
  const std::size_t bytes = block->bytes;
  block->~Block();
  block_cache().give(block, bytes);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ARENA_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QV_ARENA_UNDER_ASAN)
constexpr bool kCarving = false;
#else
constexpr bool kCarving = true;
#endif

}  // namespace

void* record_allocate(std::size_t bytes) {
  if (RecordArena* arena = arena_detail::current; kCarving && arena && bytes <= RecordArena::kLargest) {
    return arena->carve(bytes);
  }
  auto* head = static_cast<Head*>(::operator new(sizeof(Head) + bytes));
  head->block = nullptr;
  return head + 1;
}

void record_deallocate(void* p) noexcept {
  if (!p) return;
  Head* head = static_cast<Head*>(p) - 1;
  Block* block = head->block;
  if (!block) {
    ::operator delete(static_cast<void*>(head));
  } else if (block->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    free_block(block);
  }
}

bool record_arena_carves() noexcept { return kCarving; }

RecordArenaBytes record_arena_bytes() noexcept { return block_cache().bytes(); }

void* RecordArena::carve(std::size_t bytes) {
  const std::size_t need = sizeof(Head) + aligned(bytes);
  if (static_cast<std::size_t>(end_ - next_) < need) {
    const std::size_t block_bytes = next_block_bytes_;
    char* room = static_cast<char*>(block_cache().take(block_bytes, !opened_));
    opened_ = true;
    leave_block();
    next_block_bytes_ = std::min(2 * block_bytes, kLargestBlockBytes);
    block_ = ::new (room) Block(block_bytes);
    next_ = room + aligned(sizeof(Block));
    end_ = room + block_bytes;
  }
  Head* head = ::new (next_) Head{block_};
  next_ += need;
  ++carved_;
  return head + 1;
}

void RecordArena::leave_block() noexcept {
  if (!block_) return;
  const std::size_t unused = Block::kOpen - carved_;
  if (block_->live.fetch_sub(unused, std::memory_order_acq_rel) == unused) free_block(block_);
  block_ = nullptr;
  next_ = end_ = nullptr;
  carved_ = 0;
}

void RecordArena::end_use() noexcept {
  block_cache().end_use(opened_);
  opened_ = false;
}

}  // namespace qv::record
