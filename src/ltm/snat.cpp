#include "ltm/snat.hpp"

#include "ltm/address.hpp"
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
  pool.partition = parsed.partition;
  return pool;
}

std::string_view snatpool_str(const SnatPool& value) { return value.name; }

std::string snatpool_repr(const SnatPool& value) {
  std::string out = "SnatPool ";
  append_address(out, &value);
  out += ", ";
  out += value.name;
  return out;
}

}  // namespace qv::ltm
