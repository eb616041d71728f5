#include "record/text.hpp"

#include <ostream>

namespace qv::record {

Text& Text::assign_slow(const char* data, std::size_t size) {
  char* block = static_cast<char*>(record_allocate(size + 1));
  std::memcpy(block, data, size);  // `data` may lie in the block released below
  block[size] = '\0';
  release();
  set_heap(block, size, size);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Text& text) { return out << text.view(); }

}  // namespace qv::record
