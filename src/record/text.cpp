#include "record/text.hpp"

#include <algorithm>
#include <new>
#include <ostream>

namespace qv::formats {

Text& Text::assign_slow(const char* data, std::size_t size) {
  char* block = static_cast<char*>(::operator new(size + 1));
  std::memcpy(block, data, size);  // `data` may lie in the block released below
  block[size] = '\0';
  release();
  set_heap(block, size, size);
  return *this;
}

Text& Text::append(std::string_view text) {
  const std::size_t old_size = size();
  const std::size_t new_size = old_size + text.size();
  if (text.empty()) return *this;
  if (is_local() ? new_size <= kLocalCapacity : new_size <= heap_capacity()) {
    char* p = data();
    std::memmove(p + old_size, text.data(), text.size());
    if (is_local()) {
      set_local(new_size);
    } else {
      p[new_size] = '\0';
      set_heap_size(new_size);
    }
    return *this;
  }
  const std::size_t capacity = std::max(new_size, 2 * old_size);
  char* block = static_cast<char*>(::operator new(capacity + 1));
  std::memcpy(block, data(), old_size);
  std::memcpy(block + old_size, text.data(), text.size());  // `text` may lie in this text
  block[new_size] = '\0';
  release();
  set_heap(block, new_size, capacity);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Text& text) { return out << text.view(); }

}  // namespace qv::formats
