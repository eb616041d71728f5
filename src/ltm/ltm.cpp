#include "ltm/ltm.hpp"

#include <stdexcept>
#include <utility>

#include <brelmark/grammar.hpp>

#include "ltm/address.hpp"

namespace qv::ltm {

// ---- Construction from a whole configuration --------------------------------------------------

namespace {

// Converts each object as soon as it is parsed and appends it to its list, so that no parsed
// record outlives its conversion: the conversion reads the record while it is still in cache, and
// the memory of its lists is reused by the next object.
class ConvertingSink final : public brelmark::ConfigSink {
 public:
  explicit ConvertingSink(LTM& ltm) : ltm_(ltm) {}
  void on_partition(brelmark::ParsedPartition&& parsed) override {
    ltm_.partitions.push_back(partition_from_parsed(parsed));
  }
  void on_virtual(brelmark::ParsedVirtual&& parsed) override {
    ltm_.virtual_servers.push_back(virtual_from_parsed(std::move(parsed)));
  }
  void on_pool(brelmark::ParsedPool&& parsed) override { ltm_.pools.push_back(pool_from_parser(parsed)); }
  void on_snatpool(brelmark::ParsedSnatPool&& parsed) override {
    ltm_.snat_pools.push_back(snatpool_from_parsed(parsed));
  }

 private:
  LTM& ltm_;
};

}  // namespace

LTM ltm_from_text(std::string_view text) {
  LTM ltm;
  ConvertingSink sink(ltm);
  // The whole-text parser skips what it cannot read and ends its item list without error; an
  // error here is a fault of the parser.
  auto result = brelmark::parse_config_into(text, sink);
  if (!result) throw std::logic_error(result.error().to_string());
  return ltm;
}

std::string ltm_str(const LTM& value) {
  std::string out = "partitions: ";
  out += std::to_string(value.partitions.size());
  out += ", virtual_servers: ";
  out += std::to_string(value.virtual_servers.size());
  out += ", pools: ";
  out += std::to_string(value.pools.size());
  out += ", snat_pools: ";
  out += std::to_string(value.snat_pools.size());
  return out;
}

std::string ltm_repr(const LTM& value) {
  std::string out = "LTM at ";
  append_address(out, &value);
  out += ", ";
  out += ltm_str(value);
  return out;
}

}  // namespace qv::ltm
