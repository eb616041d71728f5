#include "ltm/ltm.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include <brelmark/at_once.hpp>
#include <brelmark/memory.hpp>
#include <brelmark/grammar.hpp>

#include "ltm/address.hpp"
#include "ltm/root_listing.hpp"

namespace qv::ltm {

// ---- Construction from a whole configuration --------------------------------------------------

namespace {

// Converts each object as soon as it is parsed and appends it to its list, so that no parsed
// record outlives its conversion: the conversion reads the record while it is still in cache, and
// the memory of its lists is reused by the next object. Each object is built where it stays in its
// list, and the records' own lists and long texts are carved from the sink's arena (one per
// sink, so one per piece: a piece's thread takes no lock for them). `Lists` is an LTM, or the
// PieceLists of one piece.
template <class Lists>
class ConvertingSink final : public brelmark::ConfigSink {
 public:
  // `text_bytes`: the size of the text the objects come from (only a large one's are carved);
  // `keep_skipped`: how many of the objects skipped to keep.
  ConvertingSink(Lists& lists, std::size_t text_bytes, std::size_t keep_skipped)
      : lists_(lists), use_(arena_.for_text(text_bytes)), keep_skipped_(keep_skipped) {}
  void on_partition(brelmark::ParsedPartition&& parsed) override {
    record::RecordArena::Use use(use_);
    lists_.partitions.emplace_back(partition_from_parsed(parsed));
  }
  void on_virtual(brelmark::ParsedVirtual&& parsed) override {
    record::RecordArena::Use use(use_);
    virtual_from_parsed_into(parsed, lists_.virtual_servers.emplace_back());
  }
  void on_pool(brelmark::ParsedPool&& parsed) override {
    record::RecordArena::Use use(use_);
    pool_from_parser_into(parsed, lists_.pools.emplace_back());
  }
  void on_snatpool(brelmark::ParsedSnatPool&& parsed) override {
    record::RecordArena::Use use(use_);
    lists_.snat_pools.emplace_back(snatpool_from_parsed(parsed));
  }
  void on_skipped(const brelmark::SkippedObject& skipped) override {
    ++skipped_count_;
    if (skipped_.size() < keep_skipped_) skipped_.push_back(skipped);
  }
  // How many objects were skipped, and the first of them (as many as it keeps).
  std::size_t skipped_count() const noexcept { return skipped_count_; }
  std::vector<brelmark::SkippedObject>& skipped() noexcept { return skipped_; }

 private:
  Lists& lists_;
  record::RecordArena arena_;
  record::RecordArena* use_;
  std::size_t keep_skipped_;
  std::size_t skipped_count_ = 0;
  std::vector<brelmark::SkippedObject> skipped_;
};

// A list that grows in blocks of 1 MiB and never moves what it holds: the objects of a piece
// beyond the room it was given stay where they were built until the join moves each of them once.
template <class T>
class BlockList {
 public:
  T& emplace_back() {
    if (blocks_.empty() || blocks_.back().size() == kBlock) blocks_.emplace_back().reserve(kBlock);
    return blocks_.back().emplace_back();
  }
  T& operator[](std::size_t i) noexcept { return blocks_[i / kBlock][i % kBlock]; }

 private:
  static constexpr std::size_t kBlock = std::max<std::size_t>(1, (std::size_t{1} << 20) / sizeof(T));
  std::vector<std::vector<T>> blocks_;
};

// The objects of one kind that one piece's sink is handed, in order. The first `room` of them are
// built where they stay: in the piece's share of the whole list, value-initialised ahead of the
// parse. The piece's share is the count of its objects' first lines, so for a listing whose
// objects all parse it holds them exactly, and the whole list is complete when the parse ends with
// no object moved. Any beyond the room go to a list of their own.
template <class T>
class PieceSlots {
 public:
  void give(T* first, std::size_t room) noexcept {
    first_ = first;
    room_ = room;
  }
  T& emplace_back() { return used_ < room_ ? first_[used_++] : (++used_, overflow_.emplace_back()); }
  template <class U>
  T& emplace_back(U&& value) {
    T& slot = emplace_back();
    slot = std::forward<U>(value);
    return slot;
  }
  T& operator[](std::size_t i) noexcept { return i < room_ ? first_[i] : overflow_[i - room_]; }
  // True when the objects [from, to) lie in the room, the first at `at`.
  bool in_room(std::size_t from, std::size_t to, const T* at) const noexcept {
    return to <= room_ && first_ + from == at;
  }

 private:
  T* first_ = nullptr;
  std::size_t room_ = 0;
  std::size_t used_ = 0;
  BlockList<T> overflow_;
};

// What the sink of one piece fills; on cache lines of its own, as its thread writes it.
struct alignas(64) PieceLists {
  PieceSlots<Partition> partitions;
  PieceSlots<Virtual> virtual_servers;
  PieceSlots<Pool> pools;
  PieceSlots<SnatPool> snat_pools;
};

// The kinds of object, as the list of each in an LTM, in the pieces' lists and in the counts.
template <class T>
struct Kind {
  std::vector<T> LTM::*whole;
  PieceSlots<T> PieceLists::*piece;
  std::size_t brelmark::ConfigCounts::*count;
};
constexpr Kind<Virtual> kVirtuals{&LTM::virtual_servers, &PieceLists::virtual_servers,
                                  &brelmark::ConfigCounts::virtuals};
constexpr Kind<Pool> kPools{&LTM::pools, &PieceLists::pools, &brelmark::ConfigCounts::pools};
constexpr Kind<SnatPool> kSnatPools{&LTM::snat_pools, &PieceLists::snat_pools, &brelmark::ConfigCounts::snat_pools};
constexpr Kind<Partition> kPartitions{&LTM::partitions, &PieceLists::partitions,
                                      &brelmark::ConfigCounts::partitions};

// Room in each list of `ltm` for that many objects of its kind, in huge pages where it spans them.
void reserve(LTM& ltm, const brelmark::ConfigCounts& counts) {
  brelmark::reserve_preferring_huge_pages(ltm.partitions, counts.partitions);
  brelmark::reserve_preferring_huge_pages(ltm.virtual_servers, counts.virtuals);
  brelmark::reserve_preferring_huge_pages(ltm.pools, counts.pools);
  brelmark::reserve_preferring_huge_pages(ltm.snat_pools, counts.snat_pools);
}

// Makes the whole list of one kind as long as the pieces' rooms together (in huge pages where it
// spans them), value-initialised, and gives each piece its share, in order.
template <class T>
void give_rooms(LTM& ltm, std::vector<PieceLists>& parts, const std::vector<brelmark::ConfigCounts>& rooms,
                const Kind<T>& kind) {
  std::size_t total = 0;
  for (const brelmark::ConfigCounts& room : rooms) total += room.*kind.count;
  std::vector<T>& whole = ltm.*kind.whole;
  brelmark::reserve_preferring_huge_pages(whole, total);
  whole.resize(total);
  std::size_t at = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    (parts[k].*kind.piece).give(whole.data() + at, rooms[k].*kind.count);
    at += rooms[k].*kind.count;
  }
}

// True when the stretches, in order, are the pieces' rooms, in order and filled: the whole list
// is then complete as it stands.
template <class T>
bool built_in_place(const LTM& ltm, std::vector<PieceLists>& parts,
                    const std::vector<brelmark::ConfigStretch>& stretches, const Kind<T>& kind) {
  const std::vector<T>& whole = ltm.*kind.whole;
  std::size_t at = 0;
  for (const brelmark::ConfigStretch& s : stretches) {
    const std::size_t from = s.from.*kind.count, to = s.to.*kind.count;
    if (from == to) continue;
    if (!(parts[s.sink].*kind.piece).in_room(from, to, whole.data() + at)) return false;
    at += to - from;
  }
  return at == whole.size();
}

// Otherwise the objects move once, in the stretches' order, into `out` (reserved for them).
template <class T>
void join_moving(std::vector<PieceLists>& parts, const std::vector<brelmark::ConfigStretch>& stretches,
                 const Kind<T>& kind, std::vector<T>& out) noexcept {
  for (const brelmark::ConfigStretch& s : stretches) {
    PieceSlots<T>& piece = parts[s.sink].*kind.piece;
    for (std::size_t i = s.from.*kind.count; i < s.to.*kind.count; ++i) out.push_back(std::move(piece[i]));
  }
}

template <class T>
std::size_t stretched(const std::vector<brelmark::ConfigStretch>& stretches, const Kind<T>& kind) noexcept {
  std::size_t n = 0;
  for (const brelmark::ConfigStretch& s : stretches) n += s.to.*kind.count - s.from.*kind.count;
  return n;
}

// A large text: its pieces are parsed and converted at the same time, each into its share of the
// whole lists. The shares come from a count of each piece's objects' first lines, taken on the
// pieces' threads too. A kind whose objects did not all land in their shares (an object that
// failed to parse, one that began inside another, the calling thread's own) is joined by moving
// its objects once, in order, into a new list. The objects skipped are joined alike, into
// `skipped` where one is given: each sink keeps all of its own, as its stretch may begin at any.
LTM parse_in_pieces(std::string_view text, const std::vector<std::size_t>& cuts, SkippedObjects* skipped) {
  const std::size_t pieces = cuts.size();
  std::vector<brelmark::ConfigCounts> rooms(pieces + 1);
  brelmark::run_at_once(pieces, [&](std::size_t k) noexcept {
    const std::size_t end = k + 1 < pieces ? cuts[k + 1] : text.size();
    rooms[k] = brelmark::config_counts_estimate(text.substr(cuts[k], end - cuts[k]));
    // The count's "Common" partition, which the calling thread's sink is handed.
    if (rooms[k].partitions != 0) rooms[k].partitions -= 1;
  });
  rooms[pieces].partitions = 1;
  LTM ltm;
  std::vector<PieceLists> parts(pieces + 1);
  give_rooms(ltm, parts, rooms, kVirtuals);
  give_rooms(ltm, parts, rooms, kPools);
  give_rooms(ltm, parts, rooms, kSnatPools);
  give_rooms(ltm, parts, rooms, kPartitions);

  std::deque<ConvertingSink<PieceLists>> sinks;  // a deque: a sink, holding its arena, never moves
  std::vector<brelmark::ConfigSink*> sink_of;
  const std::size_t keep_skipped = skipped ? SIZE_MAX : 0;
  for (PieceLists& part : parts) sink_of.push_back(&sinks.emplace_back(part, text.size(), keep_skipped));
  const std::vector<brelmark::ConfigStretch> stretches = brelmark::parse_config_in_pieces(text, cuts, sink_of);
  if (skipped) {
    for (const brelmark::ConfigStretch& s : stretches) {
      std::vector<brelmark::SkippedObject>& of_sink = sinks[s.sink].skipped();
      skipped->count += s.to.skipped - s.from.skipped;
      for (std::size_t i = s.from.skipped; i < s.to.skipped && skipped->first.size() < SkippedObjects::kReported; ++i) {
        skipped->first.push_back(of_sink[i]);
      }
    }
  }

  auto rejoin = [&](const auto& kind) {
    if (built_in_place(ltm, parts, stretches, kind)) return;
    std::remove_reference_t<decltype(ltm.*kind.whole)> joined;
    joined.reserve(stretched(stretches, kind));
    join_moving(parts, stretches, kind, joined);
    ltm.*kind.whole = std::move(joined);
  };
  rejoin(kVirtuals);
  rejoin(kPools);
  rejoin(kSnatPools);
  rejoin(kPartitions);
  return ltm;
}

// The whole-text parser on the calling thread. Its lists are reserved first from a count of the
// objects' first lines, so that each object is built where it stays and the lists' memory is
// written once; the count is a guess, and where room for it cannot be had the lists grow as they
// fill. The parser skips what it cannot read and ends its item list without error; an error here
// is a fault of the parser.
LTM parse_in_one_pass(std::string_view text, SkippedObjects* skipped) {
  LTM ltm;
  try {
    reserve(ltm, brelmark::config_counts_estimate(text));
  } catch (const std::bad_alloc&) {
  }
  ConvertingSink<LTM> sink(ltm, text.size(), skipped ? SkippedObjects::kReported : 0);
  auto result = brelmark::parse_config_into(text, sink);
  if (!result) throw std::logic_error(result.error().to_string());
  if (skipped) *skipped = {sink.skipped_count(), std::move(sink.skipped())};
  return ltm;
}

// The name word after an object's keyword on its line (up to white space or "{"), as the message
// shows it: at most 64 bytes, then "...", with bytes other than printable ASCII written \xNN.
void append_name(std::string& out, std::string_view text, const brelmark::SkippedObject& s) {
  constexpr std::size_t kMostBytes = 64;
  auto ends_name = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{'; };
  std::size_t at = static_cast<std::size_t>(s.at - text.data()) + brelmark::object_keyword(s.kind).size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  std::size_t end = at;
  while (end < text.size() && !ends_name(text[end]) && end - at < kMostBytes) ++end;
  if (end == at) return;
  out += ' ';
  for (char c : text.substr(at, end - at)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > ' ' && byte < 0x7F && c != '\\') {
      out += c;
    } else {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  if (end < text.size() && !ends_name(text[end])) out += "...";
}

}  // namespace

std::size_t ltm_workers(std::size_t text_bytes) noexcept {
  // Only a text large enough to cut asks for the worker count (the variable, the affinity mask and,
  // once, the cgroup files), so that small texts pay nothing for it.
  return text_bytes >= 2 * brelmark::kMinPiece ? brelmark::worker_count() : 1;
}

namespace {

// The whole text, in pieces where it is cut, else (and where the pieces run out of memory) in one pass.
LTM parse_text(std::string_view text, std::size_t workers, SkippedObjects* skipped) {
  std::vector<std::size_t> cuts = brelmark::config_cuts(text, workers);
  if (cuts.size() > 1) {
    try {
      return parse_in_pieces(text, cuts, skipped);
    } catch (const std::bad_alloc&) {
      // The pieces' lists, sinks and records are freed by now; one pass builds each object once,
      // where it stays, and needs less memory.
    }
    if (skipped) *skipped = {};
  }
  return parse_in_one_pass(text, skipped);
}

}  // namespace

LTM ltm_from_text(std::string_view text, std::size_t workers, SkippedObjects* skipped) {
  LTM ltm = parse_text(text, workers, skipped);
  read_root_listing_names(ltm, text);
  return ltm;
}

std::string skipped_message(std::string_view text, const SkippedObjects& skipped) {
  // The lines of the objects' keywords and errors, counted in one walk over the text in order.
  std::array<std::pair<const char*, std::size_t*>, 2 * SkippedObjects::kReported> places;
  std::array<std::size_t, 2 * SkippedObjects::kReported> lines{};
  std::size_t n = 0;
  for (std::size_t k = 0; k < skipped.first.size() && k < SkippedObjects::kReported; ++k) {
    places[n++] = {skipped.first[k].at, &lines[2 * k]};
    if (skipped.first[k].error_at) places[n++] = {skipped.first[k].error_at, &lines[2 * k + 1]};
  }
  std::sort(places.begin(), places.begin() + n);
  const char* counted = text.data();
  std::size_t line = 1;
  for (std::size_t k = 0; k < n; ++k) {
    for (const char* p = counted; (p = static_cast<const char*>(std::memchr(p, '\n', places[k].first - p)));) {
      ++line;
      ++p;
    }
    counted = places[k].first;
    *places[k].second = line;
  }

  std::string out = "LTM skipped " + std::to_string(skipped.count) +
                    (skipped.count == 1 ? " object that does not parse: " : " objects that do not parse: ");
  for (std::size_t k = 0; k < skipped.first.size() && k < SkippedObjects::kReported; ++k) {
    const brelmark::SkippedObject& s = skipped.first[k];
    if (k != 0) out += "; ";
    out += brelmark::object_keyword(s.kind);
    append_name(out, text, s);
    out += " (line " + std::to_string(lines[2 * k]) + "): ";
    const bool ended = s.type == brelmark::ParseError::Type::Incomplete;
    out += ended ? std::string_view("Incomplete") : brelmark::kind_name(s.error);
    const bool at_end = s.error_at == nullptr || s.error_at == text.data() + text.size();
    out += at_end ? std::string(" at the end of the text") : " at line " + std::to_string(lines[2 * k + 1]);
  }
  if (skipped.count > skipped.first.size()) {
    out += "; and " + std::to_string(skipped.count - skipped.first.size()) + " more";
  }
  return out;
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
