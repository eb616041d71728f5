#include "record/arena.hpp"

#include <algorithm>

namespace qv::formats {

namespace arena_detail {
thread_local RecordArena* current = nullptr;
}  // namespace arena_detail

using arena_detail::Block;
using arena_detail::Head;

namespace {

constexpr std::size_t kAlign = alignof(Head);

std::atomic<std::size_t> blocks_live{0};

void free_block(Block* block) noexcept {
  blocks_live.fetch_sub(1, std::memory_order_relaxed);
  block->~Block();
  ::operator delete(static_cast<void*>(block));
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

std::size_t record_arena_blocks() noexcept { return blocks_live.load(std::memory_order_relaxed); }

bool record_arena_carves() noexcept { return kCarving; }

void* RecordArena::carve(std::size_t bytes) {
  const std::size_t need = sizeof(Head) + (bytes + kAlign - 1) / kAlign * kAlign;
  if (static_cast<std::size_t>(end_ - next_) < need) {
    const std::size_t block_bytes = next_block_bytes_;
    char* room = static_cast<char*>(::operator new(block_bytes));
    leave_block();
    next_block_bytes_ = std::min(2 * block_bytes, kLargestBlockBytes);
    block_ = ::new (room) Block();
    blocks_live.fetch_add(1, std::memory_order_relaxed);
    next_ = room + (sizeof(Block) + kAlign - 1) / kAlign * kAlign;
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
