#include "brelmark/lexer.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <unordered_map>

namespace brelmark::lex {
namespace {

constexpr CharSet kWordStop{" \t\r\n}"};       // list elements, key-value pairs
constexpr CharSet kQuotedStop{"\"\r\n"};       // inside a quoted list element

// ---- list walks ------------------------------------------------------------------------
//
// Braced lists, key-value blocks and the lines of named blocks are all lists of elements
// separated by white space and closed by "}". Their walk either reaches the place where
// the "}" must stand (it is there or not) or fails at a separator that took nothing. An
// element never holds a carriage return or line feed, so every walk that reaches the
// first line end of a run of white space goes on from there exactly alike, whatever
// came before: that line end is a meeting point. A walk that crosses line ends records
// the stretch from its first meeting point to where it ended; a later walk that reaches
// a recorded meeting point ends as that walk did.

// Where a walk ended: at the place of the closing "}" (`closed` tells whether it is
// there), or failed at a separator that consumed nothing.
struct WalkEnd {
  enum class Kind : std::uint8_t { Closed, NoClose, SeparatorFailed };
  Kind kind;
  const char* at;
};

enum class WalkKind : std::uint8_t { BracedList, KeyValues, BlockLines };
constexpr std::size_t kWalkKinds = 3;

// The meeting points from `first` up to the end of one recorded walk.
struct Stretch {
  const char* last;  // the place where the walk ended
  WalkEnd end;
};

// Counts brace depth from `i` up to `until` (the end of a quoted text it enters may take it
// past `until`): true when the depth comes to zero, at the "}" at `i`. Braces within a
// double-quoted text on one line do not count.
inline bool count_braces(Text text, std::size_t& i, std::size_t until, std::int64_t& depth) noexcept {
  while (i < until) {
    const char c = text[i];
    if (c == '"') {
      if (auto q = closing_quote(drop(text, i))) {
        i += *q + 1;
        continue;
      }
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return true;
    }
    ++i;
  }
  return false;
}

// Depth of braces over a whole text, in chunks summed in a tree, for the unknown-block
// scan: from any place it finds the brace that brings a depth back to zero in
// logarithmic time. Built once per call, the first time a scan runs long.
class BraceDepthIndex {
 public:
  explicit BraceDepthIndex(Text text) : text_(text) {
    std::size_t chunks = (text.size() + kChunk - 1) / kChunk;
    leaves_ = std::bit_ceil(std::max<std::size_t>(chunks, 1));
    sum_.assign(2 * leaves_, 0);
    low_.assign(2 * leaves_, kNever);
    resume_.assign(chunks, 0);
    std::size_t quoted_until = 0;  // the end of a quoted text that runs into the next chunk
    for (std::size_t c = 0; c < chunks; ++c) {
      std::int64_t d = 0, low = kNever;
      const std::size_t e = std::min(text.size(), (c + 1) * kChunk);
      std::size_t i = resume_[c] = std::max(c * kChunk, quoted_until);
      while (i < e) {
        if (text[i] == '"') {
          if (auto q = closing_quote(drop(text, i))) {
            i += *q + 1;
            quoted_until = i;
            continue;
          }
        }
        d += step(text[i]);
        low = std::min(low, d);
        ++i;
      }
      sum_[leaves_ + c] = d;
      low_[leaves_ + c] = low;
    }
    for (std::size_t n = leaves_ - 1; n >= 1; --n) {
      sum_[n] = sum_[2 * n] + sum_[2 * n + 1];
      low_[n] = std::min(low_[2 * n], sum_[2 * n] + low_[2 * n + 1]);
    }
  }

  // The offset of the first "}" at or after `from` (outside a quoted text) where `depth` (at
  // least 1 at `from`) comes to zero, or nothing.
  std::optional<std::size_t> close(std::size_t from, std::int64_t depth) const {
    std::size_t i = from;
    // Up to the start of a chunk: one that a quoted text ends within is read here too.
    while (i < text_.size() && (i == from || i % kChunk != 0)) {
      if (count_braces(text_, i, std::min(text_.size(), (i / kChunk + 1) * kChunk), depth)) return i;
    }
    if (i >= text_.size()) return std::nullopt;
    std::size_t found = descend(1, 0, leaves_, i / kChunk, depth);
    if (found == kNone) return std::nullopt;
    i = resume_[found];
    if (count_braces(text_, i, text_.size(), depth)) return i;
    return std::nullopt;  // not reached: the chunk's low point brings the depth to zero
  }

 private:
  static constexpr std::size_t kChunk = 64;
  static constexpr std::size_t kNone = ~std::size_t{0};
  static constexpr std::int64_t kNever = INT64_MAX / 4;  // low point of an empty chunk

  static std::int64_t step(char c) noexcept { return c == '{' ? 1 : c == '}' ? -1 : 0; }

  // The first chunk at or after `from` in node `n` (chunks [lo, hi)) where the depth
  // reaches zero; `depth` is the depth at the start of the node's first chunk at or
  // after `from`, advanced past every chunk passed over.
  std::size_t descend(std::size_t n, std::size_t lo, std::size_t hi, std::size_t from, std::int64_t& depth) const {
    if (hi <= from) return kNone;
    if (lo >= from && depth + low_[n] > 0) {
      depth += sum_[n];
      return kNone;
    }
    if (hi - lo == 1) return lo;
    std::size_t mid = lo + (hi - lo) / 2;
    std::size_t left = descend(2 * n, lo, mid, from, depth);
    return left != kNone ? left : descend(2 * n + 1, mid, hi, from, depth);
  }

  Text text_;
  std::size_t leaves_ = 1;
  std::vector<std::int64_t> sum_, low_;
  std::vector<std::size_t> resume_;  // where each chunk's count starts: past a quoted text running into it
};

}  // namespace

// What one parser call remembers of its scans.
class ScanMemo {
 public:
  explicit ScanMemo(Text text) : text_(text) {}

  std::map<const char*, Stretch>& stretches(WalkKind kind) { return stretches_[static_cast<std::size_t>(kind)]; }

  const BraceDepthIndex& depth_index() {
    if (!depth_) depth_ = std::make_unique<BraceDepthIndex>(text_);
    return *depth_;
  }
  const char* begin() const noexcept { return text_.data(); }

  // For lists of named blocks: from the start of a block, where its list ends.
  std::unordered_map<const char*, const char*>& block_list_ends() { return block_list_ends_; }

 private:
  Text text_;
  std::array<std::map<const char*, Stretch>, kWalkKinds> stretches_;
  std::unordered_map<const char*, const char*> block_list_ends_;
  std::unique_ptr<BraceDepthIndex> depth_;
};

namespace {

// The text of the innermost ScanScope of this thread and its memory, made on first use.
struct ActiveScope {
  const char* begin = nullptr;
  const char* end = nullptr;
  ScanMemo* memo = nullptr;
};
thread_local ActiveScope t_scope;

// The memory for a scan of `in`, or nothing when no scope holds that text.
ScanMemo* memo_for(Text in) {
  if (!t_scope.begin || in.data() < t_scope.begin || in.data() + in.size() != t_scope.end) return nullptr;
  if (!t_scope.memo) t_scope.memo = new ScanMemo(Text(t_scope.begin, static_cast<std::size_t>(t_scope.end - t_scope.begin)));
  return t_scope.memo;
}

// The meeting points one walk passes, checked against the recorded walks. Walks that
// stay short (most lists and blocks of real listings) cost little to repeat: a walk
// checks from its third meeting point on (or the first some way after its start) and
// records only when it went long, so the memory holds the long walks alone.
class MeetingPoints {
 public:
  MeetingPoints(WalkKind kind, Text in) : kind_(kind), in_(in) {}

  // Called at the first line end `c` of each run of white space the walk passes: the
  // recorded end when a recorded walk met it too.
  std::optional<WalkEnd> meet(const char* c) {
    if (known_) return std::nullopt;
    ++passed_;
    if (!first_ && passed_ < kCheckFromLine && !far(c)) return std::nullopt;
    return check(c);
  }

  // A walk that must go on to collect its elements keeps walking after a meeting
  // point whose walk closed; it ends there again and records nothing.
  void keep_walking() noexcept { known_ = true; }

  // The walk ended at `end` without meeting a recorded one.
  WalkEnd record(WalkEnd end) {
    if (map_ && first_ && !known_ && (passed_ >= kRecordFromLine || far(end.at)))
      (*map_)[first_] = Stretch{end.at, end};
    return end;
  }

 private:
  using Map = std::map<const char*, Stretch>;
  static constexpr std::size_t kCheckFromLine = 3;
  static constexpr std::size_t kRecordFromLine = 16;
  static constexpr std::size_t kFar = 1024;

  // meet() from the first meeting point that is checked on: the walks of short lists
  // pass their few meeting points without it.
  [[gnu::noinline]] std::optional<WalkEnd> check(const char* c) {
    if (!first_) {
      ScanMemo* memo = memo_for(in_);
      if (!memo) {
        known_ = true;  // no scope: a plain walk
        return std::nullopt;
      }
      map_ = &memo->stretches(kind_);
      first_ = c;
      next_ = map_->lower_bound(c);
      if (next_ != map_->begin()) {
        auto before = std::prev(next_);
        if (c <= before->second.last) return join(before);
      }
    }
    if (next_ != map_->end() && next_->first == c) return join(next_);
    return std::nullopt;
  }

  bool far(const char* at) const noexcept { return static_cast<std::size_t>(at - in_.data()) >= kFar; }

  WalkEnd join(Map::iterator it) {
    WalkEnd end = it->second.end;
    if (first_ < it->first) {  // the stretch now begins where this walk met its first line end
      auto node = map_->extract(it);
      node.key() = first_;
      map_->insert(std::move(node));
    }
    return end;
  }

  WalkKind kind_;
  Text in_;
  Map* map_ = nullptr;
  Map::iterator next_;
  const char* first_ = nullptr;
  std::size_t passed_ = 0;  // meeting points passed
  bool known_ = false;
};

// Walks a list from `in` (just after its "{"): white space, then elements each followed
// by white space, up to the place of the "}". `elem` reads one element (Text ->
// ParseResult<T>) and fails where the list ends; an element not followed by white space
// ends the list there, or fails it when `strict`. Each element is handed to `push`; a
// walk whose `push` does nothing (`collect` false) may stop at a meeting point. `push`
// may stop collecting on the way (set `collect` false): the walk then ends at the end of
// a recorded walk it has already met.
template <class Elem, class Push>
WalkEnd walk_list(WalkKind kind, Text in, bool strict, const bool& collect, Elem&& elem, Push&& push) {
  MeetingPoints points(kind, in);
  std::optional<WalkEnd> known;  // the end of a recorded walk met while collecting
  // Passes the white space at `at`; a recorded end when it met a recorded walk.
  auto pass_ws = [&](Text& at) -> std::optional<WalkEnd> {
    if (known && !collect) return known;
    Text rest = opt_ws(at);
    std::size_t run = at.size() - rest.size();
    if (run != 0) {
      const char* c = at.data();
      while (c < rest.data() && *c != '\n' && *c != '\r') ++c;
      if (c < rest.data()) {
        if (auto met = points.meet(c)) {
          if (!collect || met->kind != WalkEnd::Kind::Closed) return met;
          known = met;
          points.keep_walking();
        }
      }
    }
    at = rest;
    return std::nullopt;
  };

  Text at = in;
  if (auto met = pass_ws(at)) return *met;
  for (;;) {
    auto e = elem(at);
    if (!e) {
      bool closed = !at.empty() && at[0] == '}';
      return points.record({closed ? WalkEnd::Kind::Closed : WalkEnd::Kind::NoClose, at.data()});
    }
    push(std::move(e).value());
    Text after = e.rest();
    if (after.empty() || !is_space(after[0])) {
      if (strict) return points.record({WalkEnd::Kind::SeparatorFailed, after.data()});
      bool closed = !after.empty() && after[0] == '}';
      return points.record({closed ? WalkEnd::Kind::Closed : WalkEnd::Kind::NoClose, after.data()});
    }
    at = after;
    if (auto met = pass_ws(at)) return *met;
  }
}

// The result of a list whose walk ended at `end`: the rest after its "}", else the
// error of the step that failed ("}" missing: Tag; a separator that took nothing:
// SeparatedList).
ParseResult<Unit> walk_result(WalkEnd end, Text whole) {
  const char* last = whole.data() + whole.size();
  Text at(end.at, static_cast<std::size_t>(last - end.at));
  switch (end.kind) {
    case WalkEnd::Kind::Closed: return {drop(at, 1), Unit{}};
    case WalkEnd::Kind::NoClose: return ParseError::error(ParseErrorKind::Tag, at);
    case WalkEnd::Kind::SeparatorFailed: break;
  }
  return ParseError::error(ParseErrorKind::SeparatedList, at);
}

// [ws] "{" [ws] elements [ws] "}" [ws], each element handed to `push`.
template <class Push>
ParseResult<Unit> braced_list_into(Text in, const bool& collect, Push&& push) {
  auto open = literal(opt_ws_to_brace(in), "{");
  if (!open) return open.error();
  WalkEnd end = walk_list(WalkKind::BracedList, open.rest(), false, collect, list_element, push);
  auto close = walk_result(end, in);
  if (!close) return close.error();
  return {opt_ws(close.rest()), Unit{}};
}

// Collects the elements of a walk while it stays within `limit` bytes of `start`; past
// that it drops them and stops collecting.
template <class T>
class ShortCollector {
 public:
  ShortCollector(const char* start, std::size_t limit) : start_(start), limit_(limit) {}
  void operator()(Text last, T value) {
    if (!collecting) return;
    if (static_cast<std::size_t>(last.data() + last.size() - start_) > limit_) {
      collecting = false;
      values_.clear();
      return;
    }
    values_.push_back(std::move(value));
  }
  std::optional<std::vector<T>> take() && {
    if (!collecting) return std::nullopt;
    return std::move(values_);
  }
  bool collecting = true;

 private:
  const char* start_;
  std::size_t limit_;
  std::vector<T> values_;
};

// [ws] word [ws] "{": the word and the text after the brace.
ParseResult<Text> block_header(Text in) {
  auto word = run_outside(opt_ws(in), kWhiteSpace);
  if (!word) return word.error();
  auto open = literal(opt_ws_to_brace(word.rest()), "{");
  if (!open) return open.error();
  return {open.rest(), word.value()};
}

// The lines of a named block after its "{", up to and including its "}".
template <class Push>
ParseResult<Unit> block_lines(Text in, bool collect, Push&& push) {
  auto line = [](Text at) { return run_outside(at, kBlockLineStop); };
  return walk_result(walk_list(WalkKind::BlockLines, in, true, collect, line, push), in);
}

}  // namespace

ParseResult<Text> streaming_literal(Text in, Text lit) {
  std::size_t n = std::min(in.size(), lit.size());
  if (in.substr(0, n) != lit.substr(0, n)) return ParseError::error(ParseErrorKind::Tag, in);
  if (n < lit.size()) return ParseError::incomplete(lit.size() - n);
  return {drop(in, n), in.substr(0, n)};
}

ParseResult<bool> flag_line(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  return {opt_ws(key.rest()), true};
}

ParseResult<Unit> spaced_literal(Text in, Text lit) {
  auto l = literal(opt_ws(in), lit);
  if (!l) return l.error();
  return {opt_ws(l.rest()), Unit{}};
}

ParseResult<Unit> block_open(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  auto open = literal(opt_ws(key.rest()), "{");
  if (!open) return open.error();
  return {opt_ws(open.rest()), Unit{}};
}

ParseResult<Text> list_element(Text in) {
  if (!in.empty() && in[0] == '"') {
    auto inner = run_outside(drop(in, 1), kQuotedStop);
    if (inner && inner.rest().starts_with('"')) return {drop(inner.rest(), 1), inner.value()};
  }
  return run_outside(in, kWordStop);
}

ParseResult<std::vector<Text>> braced_list(Text in) {
  std::vector<Text> elements;
  auto r = braced_list_into(in, true, [&](Text e) { elements.push_back(e); });
  if (!r) return r.error();
  return {r.rest(), std::move(elements)};
}

ParseResult<std::optional<std::vector<Text>>> short_braced_list(Text in, std::size_t limit) {
  ShortCollector<Text> elements(in.data(), limit);
  auto r = braced_list_into(in, elements.collecting, [&](Text e) { elements(e, e); });
  if (!r) return r.error();
  return {r.rest(), std::move(elements).take()};
}

ParseResult<Unit> skip_braced_list(Text in) {
  return braced_list_into(in, false, [](Text) {});
}

ParseResult<std::vector<Text>> keyword_list(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  return braced_list(key.rest());
}

ParseResult<NamedBlock> named_block(Text in) {
  auto header = block_header(in);
  if (!header) return header.error();
  NamedBlock block{header.value(), {}};
  auto lines = block_lines(header.rest(), true, [&](Text line) { block.lines.push_back(line); });
  if (!lines) return lines.error();
  return {lines.rest(), std::move(block)};
}

ParseResult<Unit> skip_block(Text in) {
  auto header = block_header(in);
  if (!header) return header.error();
  return block_lines(header.rest(), false, [](Text) {});
}

Text named_block_list_end(Text in) {
  // Where a list of blocks goes on from one of its blocks does not depend on the blocks
  // before it, so every block start the walk passes ends the list where it ends. A list
  // that runs long records its block starts (from the fourth on), and a later walk that
  // reaches a recorded start ends where that walk did: the lists of one call, restarted
  // at each of their blocks, are walked once.
  constexpr std::size_t kRecordFrom = 3;
  ScanMemo* memo = nullptr;
  std::vector<const char*> passed;
  Text at = in;
  auto block = skip_block(at);
  if (!block) return in;
  const char* end = nullptr;
  for (std::size_t n = 0;; ++n) {
    if (n == kRecordFrom) memo = memo_for(in);
    if (memo) {
      auto& ends = memo->block_list_ends();
      if (auto known = ends.find(at.data()); known != ends.end()) {
        end = known->second;
        break;
      }
      passed.push_back(at.data());
    }
    Text after = block.rest();
    end = after.data();
    auto gap = required_ws(after);
    if (!gap) break;
    auto next = skip_block(gap.rest());
    if (!next) break;
    at = gap.rest();
    block = std::move(next);
  }
  if (memo) {
    auto& ends = memo->block_list_ends();
    for (const char* start : passed) ends[start] = end;
  }
  const char* last = in.data() + in.size();
  return Text(end, static_cast<std::size_t>(last - end));
}

namespace {

// The offset in `body` of the "}" that pairs with the "{" before it, or nothing. Short blocks
// are scanned; a scan that runs long goes on in the call's brace-depth index.
std::optional<std::size_t> group_close(Text body) {
  constexpr std::size_t kPlainScan = 256;
  std::int64_t depth = 1;
  std::size_t i = 0;
  if (count_braces(body, i, std::min(body.size(), kPlainScan), depth)) return i;
  if (i >= body.size()) return std::nullopt;
  if (ScanMemo* memo = memo_for(body)) {
    const std::size_t offset = static_cast<std::size_t>(body.data() - memo->begin());
    if (auto at = memo->depth_index().close(offset + i, depth)) return *at - offset;
    return std::nullopt;
  }
  if (count_braces(body, i, body.size(), depth)) return i;
  return std::nullopt;
}

// skip_body_block after its header: the text after its "{".
ParseResult<Unit> skip_body_block_after(Text body) {
  if (auto close = group_close(body)) return {drop(body, *close + 1), Unit{}};
  return ParseError::error(ParseErrorKind::Tag, drop(body, body.size()));
}

// The words that stand alone among the words a block read as words does not know.
constexpr Text kFlagWords[]{"vlans-enabled", "vlans-disabled", "ip-forward", "l2-forward", "enabled", "disabled"};

}  // namespace

ParseResult<Unit> skip_body_block(Text in) {
  auto header = block_header(in);
  if (!header) return header.error();
  return skip_body_block_after(header.rest());
}

std::optional<LineValue> word_value(Text at) noexcept {
  if (at.empty() || at[0] == '{' || at[0] == '}') return std::nullopt;
  std::size_t n = 0;
  if (at[0] == '"') {
    if (auto q = closing_quote(at)) n = *q + 1;
  }
  if (n == 0) n = word_length(at);
  if (n == 0) return std::nullopt;
  return LineValue{at.substr(0, n), drop(at, n)};
}

std::optional<Text> group_rest(Text body) {
  if (auto close = group_close(body)) return drop(body, *close + 1);
  return std::nullopt;
}

std::optional<Text> skip_word_item(Text at, std::size_t word) {
  Text after = opt_ws(drop(at, word));
  if (after.starts_with('{')) {
    if (auto rest = group_rest(drop(after, 1))) return opt_ws(*rest);
    return std::nullopt;
  }
  const Text key = at.substr(0, word);
  if (after.empty() || after[0] == '}' || std::find(std::begin(kFlagWords), std::end(kFlagWords), key) != std::end(kFlagWords))
    return after;
  if (auto value = word_value(after)) return opt_ws(value->rest);
  return std::nullopt;
}

ParseResult<Text> key_value_word(Text in, Text keyword) {
  Text at = opt_ws(in);
  auto key = literal(at, keyword);
  if (!key) return key.error();
  if (word_length(at) != keyword.size()) return ParseError::error(ParseErrorKind::Tag, at);
  Text after = opt_ws(key.rest());
  auto value = word_value(after);
  if (!value) return ParseError::error(ParseErrorKind::IsNot, after);
  return {value->rest, value->value};
}

std::optional<Text> skip_body_item(Text at, std::size_t word, bool braced_lists) {
  // The header of a block is the first word, white space and "{" (FirstWord::block_header).
  Text after = opt_ws_to_brace(drop(at, word));
  if (!after.empty() && after[0] == '{') {
    if (auto block = skip_body_block_after(drop(after, 1))) return block.rest();
  }
  if (braced_lists && at[0] == '{') {
    if (auto list = skip_braced_list(at)) return list.rest();
  }
  return skip_line_rest(at);
}

ParseResult<Unit> skip_line(Text in) {
  if (auto rest = skip_line_rest(in)) return {*rest, Unit{}};
  return ParseError::error(ParseErrorKind::IsNot, opt_ws(in));
}

ParseResult<Unit> rest_of_line(Text in) {
  if (auto rest = rest_of_line_rest(in)) return {*rest, Unit{}};
  return ParseError::error(ParseErrorKind::IsNot, opt_ws(in));
}

ParseResult<std::pair<Text, Text>> key_value_pair(Text in) {
  auto key = run_outside(in, kWordStop);
  if (!key) return key.error();
  auto gap = blanks(key.rest());
  if (!gap) return gap.error();
  auto value = run_outside(gap.rest(), kWordStop);
  if (!value) return value.error();
  return {value.rest(), {key.value(), value.value()}};
}

namespace {

// K [ws] "{" pairs "}", each pair handed to `push`.
template <class Push>
ParseResult<Unit> key_value_block_into(Text in, Text keyword, const bool& collect, Push&& push) {
  auto key = literal(in, keyword);
  if (!key) return key.error();
  auto open = literal(opt_ws_to_brace(key.rest()), "{");
  if (!open) return open.error();
  WalkEnd end = walk_list(WalkKind::KeyValues, open.rest(), false, collect, key_value_pair, push);
  return walk_result(end, in);
}

}  // namespace

ParseResult<std::vector<std::pair<Text, Text>>> key_value_block(Text in, Text keyword) {
  std::vector<std::pair<Text, Text>> pairs;
  auto r = key_value_block_into(in, keyword, true, [&](std::pair<Text, Text> p) { pairs.push_back(p); });
  if (!r) return r.error();
  return {r.rest(), std::move(pairs)};
}

ParseResult<bool> short_key_value_block(Text in, Text keyword, std::size_t limit, PairSink sink, void* context) {
  bool collecting = true;
  auto r = key_value_block_into(in, keyword, collecting, [&](std::pair<Text, Text> p) {
    if (!collecting) return;
    if (static_cast<std::size_t>(p.second.data() + p.second.size() - in.data()) > limit) {
      collecting = false;
      return;
    }
    sink(context, p.first, p.second);
  });
  if (!r) return r.error();
  return {r.rest(), collecting};
}

ParseResult<Unit> skip_key_value_block(Text in, Text keyword) {
  return key_value_block_into(in, keyword, false, [](std::pair<Text, Text>) {});
}

ScanScope::ScanScope(Text text) {
  const char* end = text.data() + text.size();
  if (t_scope.begin && text.data() >= t_scope.begin && end == t_scope.end) return;  // shares the outer scope
  installed_ = true;
  outer_begin_ = t_scope.begin;
  outer_end_ = t_scope.end;
  outer_memo_ = t_scope.memo;
  t_scope = {text.data(), end, nullptr};
}

ScanScope::~ScanScope() {
  if (!installed_) return;
  delete t_scope.memo;
  t_scope = {outer_begin_, outer_end_, outer_memo_};
}

std::optional<std::uint16_t> u16_value(Text value) noexcept {
  if (value.starts_with('+')) value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  std::uint32_t n = 0;
  for (char c : value) {
    if (!is_digit(c)) return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
    if (n > 0xFFFF) return std::nullopt;
  }
  return static_cast<std::uint16_t>(n);
}

}  // namespace brelmark::lex
