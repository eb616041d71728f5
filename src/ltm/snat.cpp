#include "ltm/snat.hpp"

#include <cinttypes>
#include <cstdio>

#include <brelmark/grammar.hpp>

#include "ltm/ltm_path.hpp"

namespace qv::ltm {

SnatPool snatpool_from_parsed(const brelmark::ParsedSnatPool& parsed) {
  SnatPool pool;
  pool.name = normalize_object_path(parsed.name.text());
  pool.members.reserve(parsed.members.size());
  for (std::string_view member : parsed.members) pool.members.emplace_back(member);
  // The pool's own partition line whenever it is not empty, whether or not the name carries a
  // partition of its own: parsed.partition_or(""), whose answer is then the line itself (empty or
  // not), without matching the name.
  pool.partition = std::string(parsed.partition);
  return pool;
}

SnatPool snatpool_impl_new_from_text(std::string_view text) {
  brelmark::ParseResult<brelmark::ParsedSnatPool> parsed = brelmark::parse_snatpool(text);
  if (!parsed) py::raise(PyExc_RuntimeError, parsed.error().to_string());
  return snatpool_from_parsed(parsed.value());
}

std::string_view snatpool_str(const SnatPool& value) { return value.name; }

std::string snatpool_repr(const SnatPool& value) {
  char address[2 + 2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(&value));
  std::string out = "SnatPool ";
  out += address;
  out += ", ";
  out += value.name;
  return out;
}

}  // namespace qv::ltm
