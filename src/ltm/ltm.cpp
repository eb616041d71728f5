#include "ltm/ltm.hpp"

#include <stdexcept>
#include <utility>
#include <vector>

#include <brelmark/at_once.hpp>
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

// Moves the elements [from, to) of one list of a piece onto the end of the whole list.
template <class T>
void move_range(std::vector<T>& from_list, std::size_t from, std::size_t to, std::vector<T>& out) {
  out.insert(out.end(), std::make_move_iterator(from_list.begin() + static_cast<std::ptrdiff_t>(from)),
             std::make_move_iterator(from_list.begin() + static_cast<std::ptrdiff_t>(to)));
}

// The whole configuration from the lists the pieces' sinks filled, stretch by stretch. A
// piece's lists go as soon as their stretch is taken (a piece has one stretch at most).
LTM join_pieces(std::vector<LTM>& parts, const std::vector<brelmark::ConfigStretch>& stretches) {
  brelmark::ConfigCounts total;
  for (const brelmark::ConfigStretch& s : stretches) {
    total.partitions += s.to.partitions - s.from.partitions;
    total.virtuals += s.to.virtuals - s.from.virtuals;
    total.pools += s.to.pools - s.from.pools;
    total.snat_pools += s.to.snat_pools - s.from.snat_pools;
  }
  LTM ltm;
  ltm.partitions.reserve(total.partitions);
  ltm.virtual_servers.reserve(total.virtuals);
  ltm.pools.reserve(total.pools);
  ltm.snat_pools.reserve(total.snat_pools);
  const std::size_t own = parts.size() - 1;  // the list of what the calling thread parsed itself
  for (const brelmark::ConfigStretch& s : stretches) {
    LTM& part = parts[s.sink];
    move_range(part.partitions, s.from.partitions, s.to.partitions, ltm.partitions);
    move_range(part.virtual_servers, s.from.virtuals, s.to.virtuals, ltm.virtual_servers);
    move_range(part.pools, s.from.pools, s.to.pools, ltm.pools);
    move_range(part.snat_pools, s.from.snat_pools, s.to.snat_pools, ltm.snat_pools);
    if (s.sink != own) part = LTM{};
  }
  return ltm;
}

}  // namespace

LTM ltm_from_text(std::string_view text) {
  // Only a text large enough to cut asks for the worker count (the variable, the affinity mask and,
  // once, the cgroup files), so that small texts pay nothing for it.
  std::size_t workers = text.size() >= 2 * brelmark::kMinPiece ? brelmark::worker_count() : 1;
  std::vector<std::size_t> cuts = brelmark::config_cuts(text, workers);
  if (cuts.size() == 1) {
    LTM ltm;
    ConvertingSink sink(ltm);
    // The whole-text parser skips what it cannot read and ends its item list without error; an
    // error here is a fault of the parser.
    auto result = brelmark::parse_config_into(text, sink);
    if (!result) throw std::logic_error(result.error().to_string());
    return ltm;
  }
  // A large text: its pieces are parsed and converted at the same time, each into its own lists.
  std::vector<LTM> parts(cuts.size() + 1);
  std::vector<ConvertingSink> sinks(parts.begin(), parts.end());
  std::vector<brelmark::ConfigSink*> sink_of;
  for (ConvertingSink& sink : sinks) sink_of.push_back(&sink);
  return join_pieces(parts, brelmark::parse_config_in_pieces(text, cuts, sink_of));
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
