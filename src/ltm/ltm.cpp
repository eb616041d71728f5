#include "ltm/ltm.hpp"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include <brelmark/at_once.hpp>
#include <brelmark/memory.hpp>
#include <brelmark/grammar.hpp>

#include "ltm/address.hpp"

namespace qv::ltm {

// ---- Construction from a whole configuration --------------------------------------------------

namespace {

// Converts each object as soon as it is parsed and appends it to its list, so that no parsed
// record outlives its conversion: the conversion reads the record while it is still in cache, and
// the memory of its lists is reused by the next object. Each object is built where it stays in its
// list. `Lists` is an LTM, or the PieceLists of one piece.
template <class Lists>
class ConvertingSink final : public brelmark::ConfigSink {
 public:
  explicit ConvertingSink(Lists& lists) : lists_(lists) {}
  void on_partition(brelmark::ParsedPartition&& parsed) override {
    lists_.partitions.emplace_back(partition_from_parsed(parsed));
  }
  void on_virtual(brelmark::ParsedVirtual&& parsed) override {
    virtual_from_parsed_into(std::move(parsed), lists_.virtual_servers.emplace_back());
  }
  void on_pool(brelmark::ParsedPool&& parsed) override { pool_from_parser_into(parsed, lists_.pools.emplace_back()); }
  void on_snatpool(brelmark::ParsedSnatPool&& parsed) override {
    lists_.snat_pools.emplace_back(snatpool_from_parsed(parsed));
  }

 private:
  Lists& lists_;
};

// A list that grows in blocks of 1 MiB and never moves what it holds: a piece's objects stay where
// they were built until the join moves each of them once into the whole list. A vector would move
// them at every growth as well and leave up to half its memory unused. Blocks this large are mapped
// by the allocator one by one (at least until it has seen some freed), so a block that goes is given
// back at once, and the pieces' lists shrink while the join fills the whole lists.
template <class T>
class BlockList {
 public:
  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (blocks_.empty() || blocks_.back().size() == kBlock) blocks_.emplace_back().reserve(kBlock);
    return blocks_.back().emplace_back(std::forward<Args>(args)...);
  }

  std::size_t size() const noexcept {
    return blocks_.empty() ? 0 : (blocks_.size() - 1) * kBlock + blocks_.back().size();
  }

  // Moves the elements [from, to) onto the end of `out`. With `release`, each block goes as soon as
  // nothing after `from` is left in it, and no element of the list is used again.
  void move_to(std::size_t from, std::size_t to, std::vector<T>& out, bool release) {
    for (std::size_t b = from / kBlock; b < blocks_.size() && b * kBlock < to; ++b) {
      Block& block = blocks_[b];
      const std::size_t first = std::max(from, b * kBlock) - b * kBlock;
      const std::size_t last = std::min(to - b * kBlock, block.size());
      for (std::size_t i = first; i < last; ++i) out.push_back(std::move(block[i]));
      if (release) Block().swap(block);
    }
    if (release) blocks_.clear();
  }

 private:
  using Block = std::vector<T>;
  static constexpr std::size_t kBlock = std::max<std::size_t>(1, (std::size_t{1} << 20) / sizeof(T));
  std::vector<Block> blocks_;
};

// What the sink of one piece fills.
struct PieceLists {
  BlockList<Partition> partitions;
  BlockList<Virtual> virtual_servers;
  BlockList<Pool> pools;
  BlockList<SnatPool> snat_pools;
};

// One list of the whole configuration from that list of the pieces, stretch by stretch. A piece's
// list goes as soon as its stretch is taken: every piece but `own` has one stretch at most (`own`,
// the calling thread's, may have several).
template <class T>
void join_list(std::vector<PieceLists>& parts, const std::vector<brelmark::ConfigStretch>& stretches,
               std::size_t own, BlockList<T> PieceLists::*list, std::size_t brelmark::ConfigCounts::*count,
               std::vector<T>& out) {
  for (const brelmark::ConfigStretch& s : stretches) {
    (parts[s.sink].*list).move_to(s.from.*count, s.to.*count, out, s.sink != own);
  }
}

// Room in each list of `ltm` for that many objects of its kind, in huge pages where it spans them.
void reserve(LTM& ltm, const brelmark::ConfigCounts& counts) {
  ltm.partitions.reserve(counts.partitions);
  ltm.virtual_servers.reserve(counts.virtuals);
  ltm.pools.reserve(counts.pools);
  ltm.snat_pools.reserve(counts.snat_pools);
  brelmark::prefer_huge_pages(ltm.partitions);
  brelmark::prefer_huge_pages(ltm.virtual_servers);
  brelmark::prefer_huge_pages(ltm.pools);
  brelmark::prefer_huge_pages(ltm.snat_pools);
}

// The whole configuration from the lists the pieces' sinks filled; the four lists are joined at the
// same time, each on a thread of its own.
LTM join_pieces(std::vector<PieceLists>& parts, const std::vector<brelmark::ConfigStretch>& stretches,
                std::size_t own) {
  using brelmark::ConfigCounts;
  auto total = [&](std::size_t ConfigCounts::*count) {
    std::size_t n = 0;
    for (const brelmark::ConfigStretch& s : stretches) n += s.to.*count - s.from.*count;
    return n;
  };
  LTM ltm;
  reserve(ltm, {total(&ConfigCounts::partitions), total(&ConfigCounts::virtuals), total(&ConfigCounts::pools),
                total(&ConfigCounts::snat_pools)});
  // Nothing below allocates (the lists are reserved, the records move without throwing) or throws.
  auto join = [&](std::size_t k) noexcept {
    switch (k) {
      case 0:
        join_list(parts, stretches, own, &PieceLists::virtual_servers, &ConfigCounts::virtuals, ltm.virtual_servers);
        break;
      case 1: join_list(parts, stretches, own, &PieceLists::pools, &ConfigCounts::pools, ltm.pools); break;
      case 2:
        join_list(parts, stretches, own, &PieceLists::snat_pools, &ConfigCounts::snat_pools, ltm.snat_pools);
        break;
      default: join_list(parts, stretches, own, &PieceLists::partitions, &ConfigCounts::partitions, ltm.partitions);
    }
  };
  constexpr std::size_t kLists = 4;
  brelmark::run_at_once(kLists, join);
  return ltm;
}

// The whole-text parser on the calling thread. Its lists are reserved first from a count of the
// objects' first lines, so that each object is built where it stays and the lists' memory is
// written once; the count is a guess, and where room for it cannot be had the lists grow as they
// fill. The parser skips what it cannot read and ends its item list without error; an error here
// is a fault of the parser.
LTM parse_in_one_pass(std::string_view text) {
  LTM ltm;
  try {
    reserve(ltm, brelmark::config_counts_estimate(text));
  } catch (const std::bad_alloc&) {
  }
  ConvertingSink<LTM> sink(ltm);
  auto result = brelmark::parse_config_into(text, sink);
  if (!result) throw std::logic_error(result.error().to_string());
  return ltm;
}

}  // namespace

LTM ltm_from_text(std::string_view text) {
  // Only a text large enough to cut asks for the worker count (the variable, the affinity mask and,
  // once, the cgroup files), so that small texts pay nothing for it.
  std::size_t workers = text.size() >= 2 * brelmark::kMinPiece ? brelmark::worker_count() : 1;
  std::vector<std::size_t> cuts = brelmark::config_cuts(text, workers);
  if (cuts.size() == 1) return parse_in_one_pass(text);
  // A large text: its pieces are parsed and converted at the same time, each into its own lists.
  std::vector<PieceLists> parts(cuts.size() + 1);
  std::vector<ConvertingSink<PieceLists>> sinks(parts.begin(), parts.end());
  std::vector<brelmark::ConfigSink*> sink_of;
  for (ConvertingSink<PieceLists>& sink : sinks) sink_of.push_back(&sink);
  return join_pieces(parts, brelmark::parse_config_in_pieces(text, cuts, sink_of), parts.size() - 1);
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
