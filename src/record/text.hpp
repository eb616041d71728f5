#pragma once
// The text type of the records' fields.
//
// A configuration's texts are short: names, addresses, modes. A Text keeps up to
// kLocalCapacity bytes inside the object itself and only a longer text in a heap block of its
// own, so reading a listing or a document makes no allocation for almost every field (the blocks
// come from record_allocate(): a parse carves them from its arena). It holds any bytes, is always
// followed by a NUL, and converts to std::string_view, against which it compares; assignment
// takes anything that converts to std::string_view.
//
// The 32 bytes of the object (a std::string's size) are either the local text, the last byte
// holding the unused local capacity so that a full local text ends with its own NUL, or a heap
// block's pointer, size and capacity, with the last byte set to kHeapTag. Wider objects keep
// more texts local but make every record larger: on generated listings 32 bytes were as fast
// as 48 and took less memory.
#include <cstddef>
#include <cstring>
#include <iosfwd>
#include <new>
#include <string_view>
#include <type_traits>

#include "record/arena.hpp"

namespace qv::record {

class Text {
 public:
  static constexpr std::size_t kBytes = 32;
  static constexpr std::size_t kLocalCapacity = kBytes - 1;

  Text() noexcept { set_local(0); }
  Text(const char* data, std::size_t size) { init(data, size); }
  template <class S>
    requires(std::is_convertible_v<const S&, std::string_view> && !std::is_same_v<S, Text>)
  Text(const S& text) {  // NOLINT(google-explicit-constructor): a text from any string
    std::string_view v(text);
    init(v.data(), v.size());
  }
  Text(const Text& other) {
    if (other.is_local()) {
      std::memcpy(raw_, other.raw_, sizeof raw_);
    } else {
      init(other.heap_data(), other.heap_size());
    }
  }
  Text(Text&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.set_local(0);
  }
  ~Text() { release(); }

  Text& operator=(const Text& other) {
    if (this != &other) {
      if (other.is_local() && is_local()) {
        std::memcpy(raw_, other.raw_, sizeof raw_);
      } else {
        assign(other.data(), other.size());
      }
    }
    return *this;
  }
  Text& operator=(Text&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(raw_, other.raw_, sizeof raw_);
      other.set_local(0);
    }
    return *this;
  }
  template <class S>
    requires(std::is_convertible_v<const S&, std::string_view> && !std::is_same_v<S, Text>)
  Text& operator=(const S& text) {
    std::string_view v(text);
    return assign(v.data(), v.size());
  }

  // Replaces the text; `data` may point into this text itself.
  Text& assign(const char* data, std::size_t size) {
    if (is_local() && size <= kLocalCapacity) {
      store_local(data, size);
      return *this;
    }
    if (!is_local() && size <= heap_capacity()) {
      char* p = heap_data();
      if (size != 0) std::memmove(p, data, size);
      p[size] = '\0';
      set_heap_size(size);
      return *this;
    }
    return assign_slow(data, size);
  }
  Text& assign(std::string_view text) { return assign(text.data(), text.size()); }
  const char* c_str() const noexcept { return data(); }

  std::string_view view() const noexcept {
    if (is_local()) return {reinterpret_cast<const char*>(raw_), kLocalCapacity - raw_[kTagByte]};
    return {heap_data(), heap_size()};
  }
  operator std::string_view() const noexcept { return view(); }  // NOLINT(google-explicit-constructor)
  const char* data() const noexcept { return view().data(); }
  std::size_t size() const noexcept { return view().size(); }
  bool empty() const noexcept { return size() == 0; }

  // Against anything that converts to std::string_view, Text itself included: one template, so
  // that no comparison needs a conversion on one side and no two candidates tie.
  template <class S>
    requires std::is_convertible_v<const S&, std::string_view>
  friend bool operator==(const Text& a, const S& b) noexcept {
    return a.view() == std::string_view(b);
  }

 private:
  static constexpr std::size_t kTagByte = kBytes - 1;
  static constexpr unsigned char kHeapTag = 0xFF;

  bool is_local() const noexcept { return raw_[kTagByte] != kHeapTag; }
  void set_local(std::size_t size) noexcept {
    raw_[size] = 0;
    raw_[kTagByte] = static_cast<unsigned char>(kLocalCapacity - size);
  }
  // Makes the object the local text of `size` <= kLocalCapacity bytes at `data`, which may lie in
  // the object itself: every byte is read before any is written. Two overlapping moves of a
  // fixed width, the width chosen by the size, instead of a call for a few bytes.
  void store_local(const char* data, std::size_t size) noexcept {
    if (size >= 16) {
      move_two<16>(data, size);
    } else if (size >= 8) {
      move_two<8>(data, size);
    } else if (size >= 4) {
      move_two<4>(data, size);
    } else if (size != 0) {
      const char first = data[0], middle = data[size / 2], last = data[size - 1];
      raw_[0] = static_cast<unsigned char>(first);
      raw_[size / 2] = static_cast<unsigned char>(middle);
      raw_[size - 1] = static_cast<unsigned char>(last);
    }
    set_local(size);
  }
  // The first and the last W bytes of `size` (W <= size <= 2 W) into the same places of raw_.
  template <std::size_t W>
  void move_two(const char* data, std::size_t size) noexcept {
    unsigned char head[W], tail[W];
    std::memcpy(head, data, W);
    std::memcpy(tail, data + size - W, W);
    std::memcpy(raw_, head, W);
    std::memcpy(raw_ + size - W, tail, W);
  }
  char* heap_data() const noexcept {
    char* p;
    std::memcpy(&p, raw_, sizeof p);
    return p;
  }
  std::size_t heap_size() const noexcept {
    std::size_t n;
    std::memcpy(&n, raw_ + 8, sizeof n);
    return n;
  }
  std::size_t heap_capacity() const noexcept {
    std::size_t n;
    std::memcpy(&n, raw_ + 16, sizeof n);
    return n;
  }
  void set_heap_size(std::size_t n) noexcept { std::memcpy(raw_ + 8, &n, sizeof n); }
  void set_heap(char* p, std::size_t size, std::size_t capacity) noexcept {
    std::memcpy(raw_, &p, sizeof p);
    std::memcpy(raw_ + 8, &size, sizeof size);
    std::memcpy(raw_ + 16, &capacity, sizeof capacity);
    raw_[kTagByte] = kHeapTag;
  }
  void init(const char* data, std::size_t size) {
    if (size <= kLocalCapacity) {
      store_local(data, size);
    } else {
      raw_[kTagByte] = 0;  // local and empty until the block is made
      assign_slow(data, size);
    }
  }
  void release() noexcept {
    if (!is_local()) record_deallocate(heap_data());
  }
  // Moves the text to a new heap block of at least `size` bytes (or back inside the object).
  Text& assign_slow(const char* data, std::size_t size);

  alignas(8) unsigned char raw_[kBytes];
};

static_assert(sizeof(Text) == Text::kBytes);

std::ostream& operator<<(std::ostream& out, const Text& text);

}  // namespace qv::record

