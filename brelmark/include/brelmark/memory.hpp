#pragma once
// Large buffers: backed by huge pages where the system offers them.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace brelmark {

// Buffers of at least this many bytes ask for huge pages.
inline constexpr std::size_t kHugePageMinimum = std::size_t{4} << 20;

// Asks the system to back the whole huge pages inside [data, data + bytes) with huge pages, so that
// the first touch of the buffer takes one page fault per huge page instead of one per small page
// (on virtual machines a fault costs microseconds: a large buffer filled once spends more in its
// faults than in the work). Nothing for ranges smaller than kHugePageMinimum, nor where the system
// has none to give; the memory stays as it was in every other way.
void prefer_huge_pages(const void* data, std::size_t bytes) noexcept;

// Room in `v` for `count` elements, the whole room then asking for huge pages (what the reserve
// moved into it is written already; the rest takes one fault per huge page).
template <class T, class A>
void reserve_preferring_huge_pages(std::vector<T, A>& v, std::size_t count) {
  v.reserve(count);
  prefer_huge_pages(v.data(), v.capacity() * sizeof(T));
}

// std::allocator, with huge pages asked for every buffer of kHugePageMinimum bytes or more before
// anything is written to it (a growing vector's elements are moved into memory already advised).
template <class T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() noexcept = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
  T* allocate(std::size_t count) {
    T* data = std::allocator<T>{}.allocate(count);
    prefer_huge_pages(data, count * sizeof(T));
    return data;
  }
  void deallocate(T* data, std::size_t count) noexcept { std::allocator<T>{}.deallocate(data, count); }
  friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) noexcept { return true; }
};

// Grows the room of `text` to at least `capacity` bytes, its contents kept. A room of
// kHugePageMinimum bytes or more is made as a new buffer that asks for huge pages before the
// contents are copied into it (std::string::reserve would copy them first).
void reserve_preferring_huge_pages(std::string& text, std::size_t capacity);

// Room in `text` for `needed` bytes in all, through reserve_preferring_huge_pages: where the room is
// short it grows to the need, and at least doubles, as the string's own growth would.
inline void grow_preferring_huge_pages(std::string& text, std::size_t needed) {
  if (needed > text.capacity()) reserve_preferring_huge_pages(text, std::max(needed, 2 * text.capacity()));
}

// A vector that may grow large.
template <class T>
using LargeVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace brelmark
