#include "ltm/partition.hpp"

#include "ltm/address.hpp"

namespace qv::ltm {

Partition partition_from_parsed(const brelmark::ParsedPartition& parsed) {
  return Partition{parsed.name, parsed.default_route_domain, parsed.description};
}

std::string partition_str(const Partition& value) {
  std::string out = "name=";
  out += value.name;
  out += ", rd=";
  out += std::to_string(value.rd);
  return out;
}

std::string partition_repr(const Partition& value) {
  std::string out = "Partition: ";
  append_address(out, &value);
  out += " , ";
  out += partition_str(value);
  out += ')';
  return out;
}

}  // namespace qv::ltm
