#pragma once
// The memory of the records' lists and long texts.
//
// A parse builds thousands of records, each with a few lists (profiles, members, VLANs) and the
// odd long text. Taken one by one from the heap they cost a malloc each, and on the workers of a
// parallel parse a locked one. While a RecordArena is in use on a thread, these allocations are
// instead carved in turn from the arena's blocks, with no lock and no search; everywhere else
// they come from the heap.
//
// Every allocation starts with a head naming its block (or none, for the heap), so that it can be
// freed on any thread, at any time, in any order, like any other: it does not live as long as the
// arena but as long as its owner. A block is given back once the arena is done with it and the
// last allocation carved from it is freed, and kept for the next parses while recent parses have
// needed that much (see RecordArenaBytes::cap). A freed allocation's room in a block is not
// reused, so only a parse's own results are carved: a parse's records are built once and then
// freed together, and a block outlives them only while one of its records is kept.
#include <atomic>
#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

namespace qv::record {

class RecordArena;

namespace arena_detail {

// The start of a block. `live` counts down from kOpen: each allocation freed takes one, and the
// arena, when it leaves the block, takes kOpen less the allocations it carved. The block is freed
// by whoever takes it to zero: the last allocation freed, or the arena where none is left.
struct Block {
  static constexpr std::size_t kOpen = std::size_t{1} << 62;
  explicit Block(std::size_t size) noexcept : bytes(size) {}
  std::atomic<std::size_t> live{kOpen};
  std::size_t bytes;  // the whole block's
};

// What precedes every allocation: its block, or nothing for one of its own on the heap.
struct alignas(16) Head {
  Block* block;
};

extern thread_local RecordArena* current;

// True while blocks are kept: then every arena's end counts as a use (see RecordArenaBytes::cap),
// and an arena that carved nothing asks the block cache whether to give some back.
extern std::atomic<bool> blocks_kept;

}  // namespace arena_detail

// Room for `bytes` from the arena in use on this thread, else from the heap; aligned as
// ::operator new aligns. Throws std::bad_alloc. Built with the address sanitizer, every allocation
// comes from the heap, so that the sanitizer sees each one's bounds.
void* record_allocate(std::size_t bytes);
// Frees what record_allocate() gave, on any thread.
void record_deallocate(void* p) noexcept;

// Whether allocations are carved at all (not under the address sanitizer), and the bytes of the
// arenas' blocks in the whole process. For tests and measurements.
bool record_arena_carves() noexcept;
struct RecordArenaBytes {
  std::size_t live;  // in blocks not yet given back
  std::size_t kept;  // in blocks given back and kept for the next parses
  // The most `live` has been over the last RecordArena::kUsesRemembered uses and the one under
  // way. A block given back is kept while `live` and `kept` stay within it, and when a use ends
  // the kept blocks beyond it are freed. A use ends when an arena ends while no other one holds a
  // block: the arenas of one parallel parse end together, as one use.
  std::size_t cap;
  std::size_t freed;  // in blocks returned to the heap (beyond the cap) since the process started
};
RecordArenaBytes record_arena_bytes() noexcept;

// The blocks that one parse carves its records' allocations from. Use one on a thread with a
// RecordArena::Use; the arena may be used by one thread at a time, from several in turn (each use
// ordered before the next, as a thread's start or a lock orders them). Destroying it leaves its
// last block; the allocations keep their blocks alive.
class RecordArena {
 public:
  RecordArena() noexcept = default;
  RecordArena(const RecordArena&) = delete;
  RecordArena& operator=(const RecordArena&) = delete;
  ~RecordArena() {
    leave_block();
    if (opened_ || arena_detail::blocks_kept.load(std::memory_order_relaxed)) end_use();
  }

  // Makes `arena` the calling thread's for its lifetime (and the previous one again after); with
  // nothing, the heap.
  class Use {
   public:
    explicit Use(RecordArena* arena) noexcept : previous_(arena_detail::current) { arena_detail::current = arena; }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    ~Use() { arena_detail::current = previous_; }

   private:
    RecordArena* previous_;
  };

  // The arena for reading a text of `text_bytes` into records, or nothing: only a large text's
  // records are carved, as an arena's first block is more than a small text's records take, and
  // a program may keep many of them.
  RecordArena* for_text(std::size_t text_bytes) noexcept { return text_bytes >= kSmallestText ? this : nullptr; }
  static constexpr std::size_t kSmallestText = std::size_t{64} << 10;

  // The most bytes an allocation is carved for; a larger one has a heap block of its own.
  static constexpr std::size_t kLargest = 2048;
  // The sizes of the blocks: the first is small, so that a small listing's result keeps little,
  // and each next one twice the last, up to the largest.
  static constexpr std::size_t kFirstBlockBytes = std::size_t{4} << 10;
  static constexpr std::size_t kLargestBlockBytes = std::size_t{64} << 10;
  // The uses whose most bytes in blocks the cap on the kept blocks follows (RecordArenaBytes::cap):
  // a large parse's blocks are kept through as many smaller ones after it, then freed.
  static constexpr std::size_t kUsesRemembered = 8;

 private:
  friend void* record_allocate(std::size_t bytes);
  void* carve(std::size_t bytes);
  void leave_block() noexcept;
  void end_use() noexcept;

  arena_detail::Block* block_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t carved_ = 0;  // allocations carved from block_
  std::size_t next_block_bytes_ = kFirstBlockBytes;
  bool opened_ = false;  // took a block: counted among the arenas holding blocks
};

// An arena of its own in use on the calling thread while this object lives, where a text of
// `text_bytes` is large enough for one (RecordArena::for_text): what a reader of a whole document
// holds while it reads it.
class TextArena {
 public:
  explicit TextArena(std::size_t text_bytes) noexcept : use_(arena_.for_text(text_bytes)) {}

 private:
  RecordArena arena_;
  RecordArena::Use use_;  // after arena_: made after it, ended before it
};

// The allocator of the records' lists: record_allocate() for every list.
template <class T>
struct RecordAllocator {
  using value_type = T;
  using is_always_equal = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;

  RecordAllocator() noexcept = default;
  template <class U>
  RecordAllocator(const RecordAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(std::size_t n) {
    constexpr std::size_t most = (std::numeric_limits<std::size_t>::max() - sizeof(arena_detail::Head)) / sizeof(T);
    if (n > most) throw std::bad_array_new_length();
    return static_cast<T*>(record_allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t) noexcept { record_deallocate(p); }

  template <class U>
  friend bool operator==(const RecordAllocator&, const RecordAllocator<U>&) noexcept {
    return true;
  }
};

// A record's list.
template <class T>
using List = std::vector<T, RecordAllocator<T>>;

}  // namespace qv::record
