// Lists the objects of a configuration listing: kind and name of each, then a count per kind.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "brelmark/brelmark.hpp"

namespace {

template <class Records, class Name>
void list(const char* kind, const Records& records, Name name) {
  for (const auto& r : records) std::cout << kind << ' ' << name(r) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: list_objects FILE\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "list_objects: cannot read " << argv[1] << '\n';
    return 1;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();

  auto parsed = brelmark::parse_config(text);
  if (!parsed) {
    std::cerr << "list_objects: " << parsed.error().to_string() << '\n';
    return 1;
  }
  const brelmark::ParsedConfig& config = parsed.value();
  list("auth partition", config.partitions, [](const auto& p) { return p.name; });
  list("ltm virtual", config.virtuals, [](const auto& v) { return v.name.text(); });
  list("ltm pool", config.pools, [](const auto& p) { return p.name.text(); });
  list("ltm snatpool", config.snat_pools, [](const auto& s) { return s.name.text(); });

  std::cout << '\n'
            << config.partitions.size() << " partitions, " << config.virtuals.size() << " virtual servers, "
            << config.pools.size() << " pools, " << config.snat_pools.size() << " SNAT pools\n";
  return 0;
}
