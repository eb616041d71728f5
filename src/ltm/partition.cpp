#include "ltm/partition.hpp"

#include <cinttypes>
#include <cstdio>

#include <brelmark/grammar.hpp>

namespace qv::ltm {

Partition partition_from_parsed(const brelmark::ParsedPartition& parsed) {
  return Partition{std::string(parsed.name), parsed.default_route_domain, std::string(parsed.description)};
}

Partition partition_impl_new_from_text(std::string_view text) {
  brelmark::ParseResult<brelmark::ParsedPartition> parsed = brelmark::parse_partition(text);
  if (!parsed) py::raise(PyExc_RuntimeError, parsed.error().to_string());
  return partition_from_parsed(parsed.value());
}

std::string partition_str(const Partition& value) {
  std::string out = "name=";
  out += value.name;
  out += ", rd=";
  out += std::to_string(value.rd);
  return out;
}

std::string partition_repr(const Partition& value) {
  char address[2 + 2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(&value));
  std::string out = "Partition: ";
  out += address;
  out += " , ";
  out += partition_str(value);
  out += ')';
  return out;
}

}  // namespace qv::ltm
