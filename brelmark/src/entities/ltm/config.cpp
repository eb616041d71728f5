// The whole-configuration parser.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <utility>

#include "brelmark/at_once.hpp"
#include "brelmark/grammar.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark {
namespace {

using namespace lex;

constexpr std::string_view kCommon = "Common";
constexpr std::string_view kSnatPoolKeyword = "ltm snatpool";

// Tells the sink of an item at `at`, begun by the keyword of `kind`, whose grammar failed, where
// the keyword stands as a word of its own.
[[gnu::cold, gnu::noinline]] void report_skipped(Text at, ObjectKind kind, const ParseError& error,
                                                 ConfigSink& sink) {
  const Text after = drop(at, object_keyword(kind).size());
  if (!after.empty() && !is_space(after[0]) && after[0] != '{') return;
  const bool ended = error.type == ParseError::Type::Incomplete;
  sink.on_skipped({at.data(), ended ? nullptr : error.input.data(), kind, error.type, error.kind});
}

// Hands a parsed object to the sink and gives the rest; nothing when it did not parse, and then
// the sink is told of the object skipped.
template <class Record, class Deliver>
std::optional<Text> take(ParseResult<Record> r, Text at, ObjectKind kind, ConfigSink& sink, Deliver&& deliver) {
  if (!r) {
    report_skipped(at, kind, r.error(), sink);
    return std::nullopt;
  }
  Text rest = r.rest();
  deliver(std::move(r).value());
  return rest;
}

// True when the text agrees with the SNAT-pool keyword as far as both go.
bool may_be_snatpool(Text at) noexcept {
  return at.size() >= kSnatPoolKeyword.size() ? has_prefix(at, kSnatPoolKeyword) : has_prefix(kSnatPoolKeyword, at);
}

#if defined(__SSE2__)
// For the 32 bytes from `p`: bit i set where p[i] is white space (`ws`), or a carriage return or
// line feed (`ends`).
struct Marks {
  std::uint64_t ws, ends;
};
inline Marks marks_32(const char* p) noexcept {
  auto half = [](const char* q) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    const __m128i blanks = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    return Marks{static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(ends, blanks))),
                 static_cast<std::uint32_t>(_mm_movemask_epi8(ends))};
  };
  const Marks lo = half(p), hi = half(p + 16);
  return {lo.ws | hi.ws << 16, lo.ends | hi.ends << 16};
}

constexpr std::uint64_t first_eight(const char (&s)[9]) noexcept {
  std::uint64_t w = 0;
  for (int i = 7; i >= 0; --i) w = w << 8 | static_cast<unsigned char>(s[i]);
  return w;
}
#endif

// Where the item after the one at `at` starts when that item is a line none of the four
// objects, no block and no braced list begins: past the line end and the white space after it.
// Else nothing, and the item is left to `config_item`, which takes such a line alike.
//
// A line "}" alone is told from its first two characters and the next one that is not white
// space (no block). Other lines (not within 64 bytes of the end of the text) from the marks of
// their first 32 bytes, and of the 32 after them where the line end or the next item is not
// among the first: the item begins with neither white space nor "{", nor with the first eight
// characters of an object keyword, and its first word (up to the first white space) is
// followed, past white space, by a character other than "{".
[[gnu::always_inline]] inline const char* after_line_item(Text at) noexcept {
  const char* p = at.data();
  if (at.size() >= 2 && p[0] == '}' && (p[1] == '\n' || p[1] == '\r')) {
    Text next = opt_ws(drop(at, 1));
    return next.empty() || next[0] != '{' ? next.data() : nullptr;
  }
#if defined(__SSE2__)
  if (at.size() < 64 || p[0] == '{') return nullptr;
  if (p[0] == 'l' || p[0] == 'a') {
    std::uint64_t first;
    std::memcpy(&first, p, sizeof first);
    if (first == first_eight("ltm virt") || first == first_eight("ltm pool") || first == first_eight("ltm snat") ||
        first == first_eight("auth par"))
      return nullptr;
  }
  Marks m = marks_32(p);
  const std::uint64_t unknown = ~std::uint64_t{0} << 32;
  if ((m.ws & 1) != 0) return nullptr;
  const std::uint64_t after_word = ~(m.ws | unknown) & ~std::uint64_t{0} << std::countr_zero(m.ws | unknown);
  if (after_word == 0 || p[std::countr_zero(after_word)] == '{') return nullptr;
  if (m.ends == 0 || (~m.ws & ~unknown & ~std::uint64_t{0} << std::countr_zero(m.ends)) == 0) {
    const Marks more = marks_32(p + 32);
    m.ws |= more.ws << 32;
    m.ends |= more.ends << 32;
  }
  if (m.ends == 0) return opt_ws(drop(at, 64 + line_length(drop(at, 64)))).data();
  const int line = std::countr_zero(m.ends);
  const std::uint64_t next = ~m.ws & ~std::uint64_t{0} << line;
  if (next != 0) return p + std::countr_zero(next);
  return opt_ws(drop(at, static_cast<std::size_t>(line))).data();
#else
  return nullptr;
#endif
}

// How the lines of a named block end, read from just after its "{" where that takes at most
// kLines lines and kBytes bytes: at its "}" (`closed`, with the rest after the "}"), or where
// the block fails (a line not followed by white space, or the text ends first); else `longer`,
// with where the read stopped, and `skip_block` reads it. The lines (runs outside tab, line
// ends and "}") are those `skip_block` reads; its scan memory keeps only walks far longer than
// these, so a block read here would have left nothing there.
struct ShortBlock {
  enum End { closed, failed, longer } end;
  Text rest;  // closed: after the "}"; longer: from where the read stopped
};

ShortBlock short_block_lines(Text in) noexcept {
  constexpr std::size_t kLines = 8, kBytes = 256;
  const bool whole = in.size() <= kBytes;  // else ending the window is no end of the text
  const char* last = in.data() + in.size();
  auto rest = [&](Text from) { return Text(from.data(), static_cast<std::size_t>(last - from.data())); };
  Text at = in.substr(0, kBytes);
  for (std::size_t n = 0; n < kLines; ++n) {
    at = opt_ws(at);
    if (at.empty()) return {whole ? ShortBlock::failed : ShortBlock::longer, rest(at)};
    if (at[0] == '}') return {ShortBlock::closed, rest(drop(at, 1))};
    at = drop(at, span_outside(at, kBlockLineStop));
    if (at.empty()) return {whole ? ShortBlock::failed : ShortBlock::longer, rest(at)};
    if (at[0] == '}') return {ShortBlock::failed, {}};
  }
  return {ShortBlock::longer, rest(at)};
}

// What the items of one item list, read in text order, keep between them: the end of the
// stretch that the last short read of a block that went on longer passed. The block of a later
// item within that stretch meets the lines of the one before it and runs on as long: it goes
// to `skip_block` at once, so the short reads of one list cover each line of it once.
struct ItemWalks {
  const char* longer_until = nullptr;
};

// An item at `at` that is none of the four objects: a skipped block, where a first word is
// followed by optional white space and "{"; else a braced list at "{"; else the rest of the
// line (all the text where no line end follows). The rest after it, or nothing where no
// item is left.
std::optional<Text> other_item(Text at, ItemWalks& walks) {
  FirstWord first = first_word(at);
  if (first.block_header()) {
    const ShortBlock block = at.data() < walks.longer_until ? ShortBlock{ShortBlock::longer, {}}
                                                            : short_block_lines(drop(first.after, 1));
    if (block.end == ShortBlock::closed) return block.rest;
    if (block.end == ShortBlock::longer) {
      if (block.rest.data() != nullptr) walks.longer_until = block.rest.data();
      if (auto taken = skip_block(at)) return taken.rest();
    }
  }
  if (at.starts_with('{')) {
    if (auto list = skip_braced_list(at)) return list.rest();
  }
  std::size_t line = first.line_length();  // rest_of_line_rest(at)
  if (line == 0) return std::nullopt;
  return drop(at, line);
}

// One top-level item at `at` (white space already passed): one of the four objects,
// else what `other_item` takes. The rest after it, or nothing where the item list ends.
//
// The object grammars are tried in the order virtual server, pool, SNAT pool,
// partition; each fails at once where the text does not begin with its keyword, so it
// is called only where it does, and none where the first character is neither "l" nor
// "a". Only the SNAT-pool grammar can answer other than with a recoverable error:
// Incomplete, at the end of the text or in an unfinished SNAT pool that runs to it,
// which ends the list.
std::optional<Text> config_item(Text at, ConfigSink& sink, ItemWalks& walks) {
  if (!at.empty() && at[0] != 'l' && at[0] != 'a') return other_item(at, walks);
  if (has_prefix(at, "ltm virtual")) {
    if (auto rest = take(parse_virtual(at), at, ObjectKind::virtual_server, sink,
                         [&](ParsedVirtual&& v) { sink.on_virtual(std::move(v)); })) {
      return rest;
    }
  }
  if (has_prefix(at, "ltm pool")) {
    if (auto rest = take(parse_pool(at), at, ObjectKind::pool, sink,
                         [&](ParsedPool&& p) { sink.on_pool(std::move(p)); })) {
      return rest;
    }
  }
  if (may_be_snatpool(at)) {
    auto snat = parse_snatpool(at);
    if (!snat && !snat.error().recoverable()) {
      if (at.size() >= kSnatPoolKeyword.size()) report_skipped(at, ObjectKind::snatpool, snat.error(), sink);
      return std::nullopt;
    }
    if (auto rest = take(std::move(snat), at, ObjectKind::snatpool, sink,
                         [&](ParsedSnatPool&& s) { sink.on_snatpool(std::move(s)); })) {
      return rest;
    }
  }
  if (has_prefix(at, "auth partition")) {
    if (auto rest = take(parse_partition(at), at, ObjectKind::partition, sink,
                         [&](ParsedPartition&& p) { sink.on_partition(std::move(p)); })) {
      return rest;
    }
  }
  return other_item(at, walks);
}

// Fills the four lists of a ParsedConfig.
class CollectingSink final : public ConfigSink {
 public:
  explicit CollectingSink(ParsedConfig& config) : config_(config) {}
  void on_partition(ParsedPartition&& partition) override { config_.partitions.push_back(std::move(partition)); }
  void on_virtual(ParsedVirtual&& virtual_server) override { config_.virtuals.push_back(std::move(virtual_server)); }
  void on_pool(ParsedPool&& pool) override { config_.pools.push_back(std::move(pool)); }
  void on_snatpool(ParsedSnatPool&& pool) override { config_.snat_pools.push_back(std::move(pool)); }

 private:
  ParsedConfig& config_;
};

// ---- Pieces parsed at the same time ---------------------------------------------------

constexpr std::size_t kEnded = std::string_view::npos;  // the item list ended

std::size_t offset_in(Text text, Text at) noexcept { return static_cast<std::size_t>(at.data() - text.data()); }

enum class Kind : unsigned char { partition, virtual_server, pool, snatpool, skipped };

void count(ConfigCounts& counts, Kind kind) noexcept {
  switch (kind) {
    case Kind::partition: ++counts.partitions; break;
    case Kind::virtual_server: ++counts.virtuals; break;
    case Kind::pool: ++counts.pools; break;
    case Kind::snatpool: ++counts.snat_pools; break;
    case Kind::skipped: ++counts.skipped; break;
  }
}

// One object a piece's item handed on, or the object it skipped.
struct Handed {
  std::size_t item;  // the item's index in the piece
  Kind kind;
  bool common;  // a partition named exactly "Common"
};

// What the parse of one piece found. Each piece's thread writes its own as it goes, so each
// has cache lines of its own.
struct alignas(64) Piece {
  std::size_t begin = 0;                // its cut
  std::size_t limit = kEnded;           // the next cut; an item starting there is the next piece's
  std::vector<std::size_t> starts;      // where its items start, increasing
  std::vector<Handed> handed;           // its objects, in order
  std::size_t next = kEnded;            // where the item after its last one starts, or kEnded
  std::exception_ptr error;
};

// Hands each object (and each skipped one) on to `inner`, counts it by kind and notes
// whether a partition named exactly "Common" went by; with a list of what a piece handed,
// it notes there each object's kind, the item it came from and whether it is that partition. The name is
// read before the record goes on, which takes it.
class NotingSink final : public ConfigSink {
 public:
  explicit NotingSink(ConfigSink& inner) : inner_(inner) {}
  NotingSink(ConfigSink& inner, std::vector<Handed>& handed, const std::size_t& item)
      : inner_(inner), handed_(&handed), item_(&item) {}
  const ConfigCounts& counts() const noexcept { return counts_; }
  bool saw_common() const noexcept { return saw_common_; }
  void on_partition(ParsedPartition&& p) override {
    note(Kind::partition, p.name == kCommon);
    inner_.on_partition(std::move(p));
  }
  void on_virtual(ParsedVirtual&& v) override {
    note(Kind::virtual_server, false);
    inner_.on_virtual(std::move(v));
  }
  void on_pool(ParsedPool&& p) override {
    note(Kind::pool, false);
    inner_.on_pool(std::move(p));
  }
  void on_snatpool(ParsedSnatPool&& p) override {
    note(Kind::snatpool, false);
    inner_.on_snatpool(std::move(p));
  }
  void on_skipped(const SkippedObject& skipped) override {
    note(Kind::skipped, false);
    inner_.on_skipped(skipped);
  }

 private:
  void note(Kind kind, bool common) {
    if (handed_) handed_->push_back({*item_, kind, common});
    count(counts_, kind);
    saw_common_ = saw_common_ || common;
  }
  ConfigSink& inner_;
  std::vector<Handed>* handed_ = nullptr;
  const std::size_t* item_ = nullptr;
  ConfigCounts counts_;
  bool saw_common_ = false;
};

// Parses the items of one piece, as part of the whole text, into `sink`.
void parse_piece(Text text, Piece& piece, ConfigSink& sink) {
  std::size_t item = 0;
  NotingSink noting(sink, piece.handed, item);
  ItemWalks walks;
  // Room for an item start every 64 bytes, about what listings hold, so that the list seldom
  // grows (and copies what it holds) while the piece is read.
  piece.starts.reserve((std::min(piece.limit, text.size()) - piece.begin) / 64 + 16);
  Text at = opt_ws(piece.begin == 0 ? skip_byte_order_mark(text) : text.substr(piece.begin));
  for (;;) {
    std::size_t off = offset_in(text, at);
    if (off >= piece.limit) {
      piece.next = off;
      return;
    }
    item = piece.starts.size();
    piece.starts.push_back(off);
    if (const char* next = after_line_item(at)) {
      at = text.substr(static_cast<std::size_t>(next - text.data()));
      continue;
    }
    auto rest = config_item(at, noting, walks);
    if (!rest) {
      piece.next = kEnded;
      return;
    }
    at = opt_ws(*rest);
  }
}

// The first offset in [from, end) where a line begins "ltm " or "auth ", or kEnded.
std::size_t object_line_in(Text text, std::size_t from, std::size_t end) noexcept {
  end = std::min(end, text.size());
  for (std::size_t pos = from - 1; pos + 1 < end;) {
    const void* lf = std::memchr(text.data() + pos, '\n', end - 1 - pos);
    if (!lf) return kEnded;
    std::size_t line = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    Text rest = text.substr(line);
    if (has_prefix(rest, "ltm ") || has_prefix(rest, "auth ")) return line;
    pos = line;
  }
  return kEnded;
}

// Calls `at(line)` with the rest of the text from each start of a line (the text's own start
// included) whose first character is "l" or "a", and from some other starts of lines: those
// whose first character sets the same bits with 0x0D ("`", "d", "e", "h", "i", "m"), tested
// with one comparison. Sixty-four line ends at a time, in four groups tested together, while
// that many remain.
template <class At>
void each_line_starting_l_or_a(Text text, At&& at) {
  const char* p = text.data();
  const std::size_t n = text.size();
  if (n != 0 && (p[0] == 'l' || p[0] == 'a')) at(text);
  std::size_t i = 0;
#if defined(__SSE2__)
  static_assert(('l' | 0x0D) == 0x6D && ('a' | 0x0D) == 0x6D);
  const __m128i lf = _mm_set1_epi8('\n'), low = _mm_set1_epi8(0x0D), la = _mm_set1_epi8(0x6D);
  auto group = [&](std::size_t at) {
    const __m128i ends = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), lf);
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
    return _mm_and_si128(ends, _mm_cmpeq_epi8(_mm_or_si128(next, low), la));
  };
  for (; i + 65 <= n; i += 64) {
    const __m128i g0 = group(i), g1 = group(i + 16), g2 = group(i + 32), g3 = group(i + 48);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(g0, g1), _mm_or_si128(g2, g3))) == 0) continue;
    std::uint64_t mask = static_cast<unsigned>(_mm_movemask_epi8(g0)) |
                         std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(g1))} << 16 |
                         std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(g2))} << 32 |
                         std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(g3))} << 48;
    for (; mask != 0; mask &= mask - 1) at(text.substr(i + static_cast<std::size_t>(std::countr_zero(mask)) + 1));
  }
#endif
  for (; i + 1 < n; ++i) {
    if (p[i] == '\n' && (p[i + 1] == 'l' || p[i + 1] == 'a')) at(text.substr(i + 1));
  }
}

}  // namespace

std::string_view object_keyword(ObjectKind kind) noexcept {
  switch (kind) {
    case ObjectKind::partition: return "auth partition";
    case ObjectKind::virtual_server: return "ltm virtual";
    case ObjectKind::pool: return "ltm pool";
    case ObjectKind::snatpool: return kSnatPoolKeyword;
  }
  return {};
}

ConfigCounts config_counts_estimate(std::string_view text) noexcept {
  text = skip_byte_order_mark(text);
  ConfigCounts counts;
  each_line_starting_l_or_a(text, [&](Text line) {
    if (has_prefix(line, "ltm virtual ")) {
      ++counts.virtuals;
    } else if (has_prefix(line, "ltm pool ")) {
      ++counts.pools;
    } else if (has_prefix(line, "ltm snatpool ")) {
      ++counts.snat_pools;
    } else if (has_prefix(line, "auth partition ")) {
      ++counts.partitions;
    }
  });
  ++counts.partitions;  // "Common", when the text names none
  return counts;
}

std::vector<std::size_t> config_cuts(std::string_view text, std::size_t pieces) {
  std::vector<std::size_t> cuts{0};
  pieces = std::min(pieces, text.size() / kMinPiece);
  if (pieces <= 1) return cuts;
  const std::size_t share = text.size() / pieces;
  for (std::size_t k = 1; k < pieces; ++k) {
    std::size_t from = std::max(share * k, cuts.back() + 1);
    std::size_t cut = object_line_in(text, from, share * (k + 1));
    if (cut != kEnded) cuts.push_back(cut);
  }
  return cuts;
}

std::vector<ConfigStretch> parse_config_in_pieces(std::string_view text, std::span<const std::size_t> cuts,
                                                  std::span<ConfigSink* const> sinks) {
  if (cuts.empty() || cuts[0] != 0 || sinks.size() != cuts.size() + 1 ||
      !std::is_sorted(cuts.begin(), cuts.end(), std::less_equal<>()) || cuts.back() > text.size()) {
    throw std::invalid_argument("parse_config_in_pieces: cuts must rise from 0 within the text, one sink each and one more");
  }
  const std::size_t n = cuts.size();
  std::vector<Piece> pieces(n);
  for (std::size_t k = 0; k < n; ++k) {
    pieces[k].begin = cuts[k];
    if (k + 1 < n) pieces[k].limit = cuts[k + 1];
  }
  ScanScope scope(text);
  auto run = [&](std::size_t k) {
    try {
      ScanScope piece_scope(text);
      parse_piece(text, pieces[k], *sinks[k]);
    } catch (...) {
      pieces[k].error = std::current_exception();
    }
  };
  brelmark::run_at_once(n, run);
  for (const Piece& piece : pieces) {
    if (piece.error) std::rethrow_exception(piece.error);
  }

  // The items in text order, as the single parse meets them: from each piece those from
  // the item where the parse before it ended; between pieces, the items this thread
  // parses until the two meet.
  std::vector<ConfigStretch> stretches;
  auto add = [&](std::size_t sink, ConfigCounts from, ConfigCounts to) {
    if (from == to) return;
    if (!stretches.empty() && stretches.back().sink == sink && stretches.back().to == from) {
      stretches.back().to = to;
    } else {
      stretches.push_back({sink, from, to});
    }
  };
  NotingSink on_here(*sinks[n]);
  ItemWalks walks;
  bool has_common = false;  // in the items taken from the pieces
  std::size_t frontier = offset_in(text, opt_ws(skip_byte_order_mark(text)));
  for (std::size_t k = 0; k < n && frontier != kEnded; ++k) {
    const Piece& piece = pieces[k];
    while (frontier < piece.limit) {
      auto met = std::lower_bound(piece.starts.begin(), piece.starts.end(), frontier);
      if (met != piece.starts.end() && *met == frontier) {
        const std::size_t first = static_cast<std::size_t>(met - piece.starts.begin());
        ConfigCounts from, to;
        for (const Handed& h : piece.handed) {
          if (h.item < first) {
            count(from, h.kind);
          } else {
            has_common = has_common || h.common;
          }
          count(to, h.kind);
        }
        add(k, from, to);
        frontier = piece.next;
        break;
      }
      ConfigCounts before = on_here.counts();
      auto rest = config_item(text.substr(frontier), on_here, walks);
      add(n, before, on_here.counts());
      frontier = rest ? offset_in(text, opt_ws(*rest)) : kEnded;
      if (frontier == kEnded) break;
    }
  }
  if (!has_common && !on_here.saw_common()) {
    ConfigCounts before = on_here.counts();
    on_here.on_partition(ParsedPartition{kCommon, "", 0});
    add(n, before, on_here.counts());
  }
  return stretches;
}

ParseResult<std::monostate> parse_config_into(std::string_view text, ConfigSink& sink) {
  ScanScope scope(text);
  NotingSink noting(sink);
  ItemWalks walks;
  Text at = opt_ws(skip_byte_order_mark(text));
  for (;;) {
    if (const char* next = after_line_item(at)) {
      at = text.substr(static_cast<std::size_t>(next - text.data()));
      continue;
    }
    auto rest = config_item(at, noting, walks);
    if (!rest) break;
    at = opt_ws(*rest);
  }
  if (!noting.saw_common()) sink.on_partition(ParsedPartition{kCommon, "", 0});
  return {at, std::monostate{}};
}

ParseResult<ParsedConfig> parse_config(std::string_view text) {
  ParsedConfig config;
  CollectingSink sink(config);
  auto r = parse_config_into(text, sink);
  if (!r) return r.error();
  return {r.rest(), std::move(config)};
}

}  // namespace brelmark
