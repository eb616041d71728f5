#include "record/arena.hpp"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace qv::formats {

namespace arena_detail {
thread_local RecordArena* current = nullptr;
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
// are just such a top. At most as many bytes are kept as the process ever had in blocks at once.
class BlockCache {
 public:
  static constexpr std::size_t kSizes = 5;  // kFirstBlockBytes, twice that, ... kLargestBlockBytes
  static_assert(RecordArena::kFirstBlockBytes << (kSizes - 1) == RecordArena::kLargestBlockBytes);

  // A block of `bytes` (one of the sizes), kept or new; throws std::bad_alloc.
  void* take(std::size_t bytes) {
    const std::size_t k = size_index(bytes);
    {
      std::lock_guard hold(lock_);
      live_bytes_ += bytes;
      most_live_bytes_ = std::max(most_live_bytes_, live_bytes_);
      if (Kept* kept = kept_[k]) {
        kept_[k] = kept->next;
        kept_bytes_ -= bytes;
        return kept;
      }
    }
    try {
      return ::operator new(bytes);
    } catch (...) {
      std::lock_guard hold(lock_);
      live_bytes_ -= bytes;
      throw;
    }
  }

  // Keeps a block that take() gave, or frees it.
  void give(void* room, std::size_t bytes) noexcept {
    {
      std::lock_guard hold(lock_);
      live_bytes_ -= bytes;
      if (kept_bytes_ + bytes + live_bytes_ <= most_live_bytes_) {
        const std::size_t k = size_index(bytes);
        kept_[k] = ::new (room) Kept{kept_[k]};
        kept_bytes_ += bytes;
        return;
      }
    }
    ::operator delete(room);
  }

  RecordArenaBytes bytes() noexcept {
    std::lock_guard hold(lock_);
    return {live_bytes_, kept_bytes_, most_live_bytes_};
  }

  // Held across fork(), so that a child finds the lists whole.
  void lock() noexcept { lock_.lock(); }
  void unlock() noexcept { lock_.unlock(); }

 private:
  struct Kept {
    Kept* next;
  };
  static std::size_t size_index(std::size_t bytes) noexcept {
    std::size_t k = 0;
    while ((RecordArena::kFirstBlockBytes << k) < bytes) ++k;
    return k;
  }

  std::mutex lock_;
  std::array<Kept*, kSizes> kept_{};
  std::size_t kept_bytes_ = 0;
  std::size_t live_bytes_ = 0;       // in blocks given out and not yet given back
  std::size_t most_live_bytes_ = 0;  // the most live_bytes_ has been
};

BlockCache* make_cache() {
  static BlockCache* cache;  // leaked on purpose: blocks may be given back while the process ends
  cache = new BlockCache();
  pthread_atfork([] { cache->lock(); }, [] { cache->unlock(); }, [] { cache->unlock(); });
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
    char* room = static_cast<char*>(block_cache().take(block_bytes));
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

}  // namespace qv::formats
