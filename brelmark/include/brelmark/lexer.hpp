#pragma once
// The lexical building blocks the object grammars are made of.
//
// White space here is exactly space, tab, carriage return and line feed; blanks are
// space and tab. Every parser here takes the remaining text and returns the rest after it;
// a failing step fails the parser with that step's error, at the place where the step
// began.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "brelmark/parse.hpp"
#include "brelmark/scan.hpp"

namespace brelmark::lex {

using Text = std::string_view;
using Unit = std::monostate;

// A fixed set of at most kMaxChars ASCII characters. The scans below compare 16 characters at a
// time against each of them.
class CharSet {
 public:
  static constexpr std::size_t kMaxChars = 5;

  consteval explicit CharSet(std::string_view chars) {
    if (chars.empty() || chars.size() > kMaxChars) throw "a CharSet holds 1 to kMaxChars characters";
    for (char c : chars) bits_[static_cast<unsigned char>(c)] = true;
    for (std::size_t i = 0; i < kMaxChars; ++i) chars_[i] = chars[i < chars.size() ? i : 0];
  }
  constexpr bool contains(char c) const noexcept { return bits_[static_cast<unsigned char>(c)]; }
  // The characters, the first repeated where there are fewer than kMaxChars.
  constexpr char at(std::size_t i) const noexcept { return chars_[i]; }

 private:
  std::array<bool, 256> bits_{};
  std::array<char, kMaxChars> chars_{};
};

inline constexpr CharSet kWhiteSpace{" \t\r\n"};
inline constexpr CharSet kBlockLineStop{"\t\r\n}"};  // a line of a named block keeps its spaces

constexpr bool is_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool is_blank(char c) noexcept { return c == ' ' || c == '\t'; }
constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

inline Text drop(Text in, std::size_t n) noexcept { return Text(in.data() + n, in.size() - n); }

// ---- per-call scan memory ---------------------------------------------------------------

// The list and block scans below can run far ahead of where they start and fail there,
// and the grammars restart them from nearby places again and again (every line of a
// text that never closes a brace). A ScanScope remembers, for the parser call it lives
// in, where those scans ended, so that a restarted scan stops where it meets ground
// already covered: the whole call stays linear in the size of the text. Scopes nest: an
// inner scope over the same text (its rests end where the text ends) shares the outer
// one's memory. Without a scope the scans run plainly, with the same results.
class ScanMemo;
class ScanScope {
 public:
  explicit ScanScope(Text text);
  ~ScanScope();
  ScanScope(const ScanScope&) = delete;
  ScanScope& operator=(const ScanScope&) = delete;

 private:
  bool installed_ = false;
  const char* outer_begin_ = nullptr;
  const char* outer_end_ = nullptr;
  ScanMemo* outer_memo_ = nullptr;
};

// ---- leaves -------------------------------------------------------------------------

// The length of the leading run of characters that are (`inside`) or are not in `set`. Sixteen
// characters at a time while that many remain, then one at a time.
template <bool inside>
inline std::size_t span_of(Text in, const CharSet& set) noexcept {
  const char* stop = find_first(
      in.data(), in.data() + in.size(),
      [&set](auto v) {
        const auto hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(set.at(0))), _mm_cmpeq_epi8(v, _mm_set1_epi8(set.at(1)))),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(set.at(2))), _mm_cmpeq_epi8(v, _mm_set1_epi8(set.at(3)))),
                         _mm_cmpeq_epi8(v, _mm_set1_epi8(set.at(4)))));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        return inside ? ~mask & 0xFFFFu : mask;
      },
      [&set](unsigned char c) { return set.contains(static_cast<char>(c)) != inside; });
  return static_cast<std::size_t>(stop - in.data());
}

// Zero or more white-space characters; never fails. Returns the rest.
inline Text opt_ws(Text in) noexcept {
  if (in.empty() || !is_space(in[0])) return in;
  return drop(in, span_of<true>(in, kWhiteSpace));
}

// opt_ws before a "{", where the white space is most often one space: that one is passed
// without a scan.
inline Text opt_ws_to_brace(Text in) noexcept {
  if (in.size() >= 2 && in[0] == ' ' && in[1] == '{') return drop(in, 1);
  return opt_ws(in);
}

// One or more white-space characters, else "MultiSpace".
inline ParseResult<Text> required_ws(Text in) {
  Text rest = opt_ws(in);
  if (rest.size() == in.size()) return ParseError::error(ParseErrorKind::MultiSpace, in);
  return {rest, in.substr(0, in.size() - rest.size())};
}

// True when the text begins with `lit`: eight, else four characters at a time, the last
// group overlapping the one before it.
inline bool has_prefix(Text in, Text lit) noexcept {
  const std::size_t n = lit.size();
  if (in.size() < n) return false;
  const char* a = in.data();
  const char* b = lit.data();
  auto same = [&]<class Word>(std::size_t at, Word) {
    Word x, y;
    std::memcpy(&x, a + at, sizeof x);
    std::memcpy(&y, b + at, sizeof y);
    return x == y;
  };
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8)
      if (!same(i, std::uint64_t{})) return false;
    return same(n - 8, std::uint64_t{});
  }
  if (n >= 4) return same(0, std::uint32_t{}) && same(n - 4, std::uint32_t{});
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Exactly `lit`, else "Tag" (also when the text is shorter than it).
inline ParseResult<Text> literal(Text in, Text lit) {
  if (!has_prefix(in, lit)) return ParseError::error(ParseErrorKind::Tag, in);
  return {drop(in, lit.size()), in.substr(0, lit.size())};
}

// As `literal`, but a text that ends while it still agrees with `lit` is Incomplete,
// needing the characters still missing.
ParseResult<Text> streaming_literal(Text in, Text lit);

// The length of the leading run of characters outside `set`.
inline std::size_t span_outside(Text in, const CharSet& set) noexcept { return span_of<false>(in, set); }

inline constexpr CharSet kLineEnds{"\r\n"};

// The length of the text up to its first carriage return or line feed.
inline std::size_t line_length(Text in) noexcept { return span_of<false>(in, kLineEnds); }

inline ParseResult<Text> run_of(Text in, std::size_t n) {
  if (n == 0) return ParseError::error(ParseErrorKind::IsNot, in);
  return {drop(in, n), in.substr(0, n)};
}

// One or more characters outside `set`, as many as there are, else "IsNot".
inline ParseResult<Text> run_outside(Text in, const CharSet& set) { return run_of(in, span_outside(in, set)); }

// One or more characters up to a carriage return or line feed, else "IsNot".
inline ParseResult<Text> run_to_line_end(Text in) { return run_of(in, line_length(in)); }

// One or more blanks, else "IsA".
inline ParseResult<Text> blanks(Text in) {
  std::size_t i = 0;
  while (i < in.size() && is_blank(in[i])) ++i;
  if (i == 0) return ParseError::error(ParseErrorKind::IsA, in);
  return {drop(in, i), in.substr(0, i)};
}

// The first word of a text that begins with a character other than white space, and what
// follows it: enough to tell whether a block starts there and, when it must, to find the
// end of the line without scanning the word again.
struct FirstWord {
  Text text;
  std::size_t word;  // the length of the first word
  Text after;        // the text after the word and the white space after it

  bool block_header() const noexcept { return word != 0 && !after.empty() && after[0] == '{'; }
  // line_length(text).
  std::size_t line_length() const noexcept {
    const std::size_t gap_end = text.size() - after.size();
    std::size_t n = word;
    while (n < gap_end && text[n] != '\r' && text[n] != '\n') ++n;
    return n == gap_end ? n + lex::line_length(after) : n;
  }
};
inline FirstWord first_word(Text at) noexcept {
  const std::size_t word = span_outside(at, kWhiteSpace);
  return {at, word, opt_ws(drop(at, word))};
}

// [ws] word [ws] "{", the hot loops' form: the word and the text after the "{", or nothing. The
// word ends at white space or "{", so that an entry of a one-line list may touch its brace
// ("tcp{ }").
inline constexpr CharSet kEntryNameStop{" \t\r\n{"};
struct BlockHead {
  Text word;
  Text body;
};
inline std::optional<BlockHead> block_head(Text in) noexcept {
  Text at = opt_ws(in);
  const std::size_t word = span_outside(at, kEntryNameStop);
  if (word == 0 || at[0] == '}') return std::nullopt;
  Text open = opt_ws_to_brace(drop(at, word));
  if (open.empty() || open[0] != '{') return std::nullopt;
  return BlockHead{at.substr(0, word), drop(open, 1)};
}

// A property's value and the rest after it.
struct LineValue {
  Text value;
  Text rest;
};

// ---- blocks read as words ------------------------------------------------------------
//
// A block whose "{" is followed on its own line by more than blanks ("{ address 10.0.0.1 }",
// and every block of an object written on one line) is read as words: a property's value is one
// word or one double-quoted text, a nested block is a word followed by its own braces, and line
// ends are white space like any other. A block whose "{" ends its line is read line by line.

// True when the text after a block's "{" holds more than blanks before its line ends.
inline bool words_follow(Text after_brace) noexcept {
  std::size_t i = 0;
  while (i < after_brace.size() && is_blank(after_brace[i])) ++i;
  return i < after_brace.size() && after_brace[i] != '\r' && after_brace[i] != '\n';
}

constexpr bool ends_word(char c) noexcept { return is_space(c) || c == '{' || c == '}'; }

// The length of the word at `at`: its run outside white space and braces.
inline std::size_t word_length(Text at) noexcept {
  std::size_t n = 0;
  while (n < at.size() && !ends_word(at[n])) ++n;
  return n;
}

// Where the double-quoted text that opens at `at[0]` closes on its line: the offset of its
// closing quote, or nothing where the line ends first (the quote is then a character of a word).
inline std::optional<std::size_t> closing_quote(Text at) noexcept {
  for (std::size_t i = 1; i < at.size(); ++i) {
    if (at[i] == '"') return i;
    if (at[i] == '\r' || at[i] == '\n') break;
  }
  return std::nullopt;
}

// A value of a block read as words, at `at` (white space passed): a double-quoted text on one
// line, kept with its quotes, else a word. Nothing where a brace or the end of the text stands.
std::optional<LineValue> word_value(Text at) noexcept;

// The rest after the "}" that pairs with the "{" just before `body`: nested braces are counted,
// those within double-quoted texts are not. Nothing where the text ends first.
std::optional<Text> group_rest(Text body);

// An item of a block read as words that is none of its properties, at `at` (white space already
// passed) whose first word is `word` (at least 1) bytes long: the word and its block, where "{"
// follows it; else the word alone, where it is one of the flag words that stand alone or nothing
// follows it in the block; else the word and the value after it. The rest, or nothing.
std::optional<Text> skip_word_item(Text at, std::size_t word);

// [ws] K [ws] value, in a block read as words: the value (word_value), else "Tag" (no K, or a
// longer word) or "IsNot" (no value).
ParseResult<Text> key_value_word(Text in, Text keyword);

// ---- repetitions ----------------------------------------------------------------------

// Applies `item` (Text -> ParseResult<...>) until it fails recoverably; the rest is where
// the failed item began. With `at_least_one`, a failure of the first item is returned
// unchanged. An item that succeeds without consuming text fails the repetition ("Many0",
// or "Many1" with `at_least_one`). Incomplete and Failure are returned unchanged.
template <class Item>
ParseResult<Unit> repeat(Text in, bool at_least_one, Item&& item) {
  for (bool first = true;; first = false) {
    auto r = item(in);
    if (!r) {
      if (!r.error().recoverable() || (first && at_least_one)) return r.error();
      return {in, Unit{}};
    }
    if (r.rest().size() == in.size())
      return ParseError::error(at_least_one ? ParseErrorKind::Many1 : ParseErrorKind::Many0, in);
    in = r.rest();
  }
}

// A separated list: `elem` once (a recoverable error gives an empty list), then
// separator and element again and again. A separator that fails ends the list before
// it; one that consumes nothing fails with "SeparatedList"; an element that fails after
// a separator ends the list before the separator. `push` receives each element's value.
template <class Elem, class Sep, class Push>
ParseResult<Unit> separated_list(Text in, Elem&& elem, Sep&& sep, Push&& push) {
  auto e = elem(in);
  if (!e) {
    if (!e.error().recoverable()) return e.error();
    return {in, Unit{}};
  }
  push(std::move(e).value());
  in = e.rest();
  for (;;) {
    auto s = sep(in);
    if (!s) {
      if (!s.error().recoverable()) return s.error();
      return {in, Unit{}};
    }
    if (s.rest().size() == in.size()) return ParseError::error(ParseErrorKind::SeparatedList, in);
    auto next = elem(s.rest());
    if (!next) {
      if (!next.error().recoverable()) return next.error();
      return {in, Unit{}};
    }
    push(std::move(next).value());
    in = next.rest();
  }
}

// ---- composite blocks ------------------------------------------------------------------

// [ws] K blanks value: the value runs to the line end, untrimmed; the line end stays.
inline ParseResult<Text> key_value_line(Text in, Text keyword) {
  auto key = literal(opt_ws(in), keyword);
  if (!key) return key.error();
  auto gap = blanks(key.rest());
  if (!gap) return gap.error();
  return run_to_line_end(gap.rest());
}
// The value of a key_value_line read from just after its keyword: blanks, then the value
// to the line end (untrimmed, at least one character), and the rest from the line end on.
inline std::optional<LineValue> line_value(Text after_keyword) noexcept {
  std::size_t i = 0;
  while (i < after_keyword.size() && is_blank(after_keyword[i])) ++i;
  if (i == 0) return std::nullopt;
  Text value = drop(after_keyword, i);
  const std::size_t n = line_length(value);
  if (n == 0) return std::nullopt;
  return LineValue{value.substr(0, n), drop(value, n)};
}
// [ws] K [ws]: true. A longer word that begins with K matches too.
ParseResult<bool> flag_line(Text in, Text keyword);
// [ws] L [ws].
ParseResult<Unit> spaced_literal(Text in, Text lit);
// [ws] K [ws] "{" [ws].
ParseResult<Unit> block_open(Text in, Text keyword);
// A double-quoted text on one line (kept without its quotes), else a word.
ParseResult<Text> list_element(Text in);
// [ws] "{" [ws] elements separated by white space [ws] "}" [ws]; the last element may touch
// the "}".
ParseResult<std::vector<Text>> braced_list(Text in);
// The same, elements dropped.
ParseResult<Unit> skip_braced_list(Text in);
// The same, with the elements when the last of them ends within `limit` bytes of `in`
// (else nothing; the rest is the same either way).
ParseResult<std::optional<std::vector<Text>>> short_braced_list(Text in, std::size_t limit);
// [ws] K braced_list.
ParseResult<std::vector<Text>> keyword_list(Text in, Text keyword);

struct NamedBlock {
  Text word;
  std::vector<Text> lines;
};
// [ws] word [ws] "{" [ws] lines separated by white space [ws] "}". Blocks do not nest:
// the first "}" closes it. Nothing after the "}" is consumed.
ParseResult<NamedBlock> named_block(Text in);
// A named_block, ignored.
ParseResult<Unit> skip_block(Text in);
// Named blocks separated by white space, from `in`: the text after the last of them, or
// `in` when no block begins there (the list that `separated_list` of `named_block` and
// `required_ws` reads, without its blocks).
Text named_block_list_end(Text in);
// Inside the body of an object: a block, from its header to the "}" that pairs with its "{"
// (nested braces counted, those within double-quoted texts not), on one line or many.
ParseResult<Unit> skip_body_block(Text in);
// An item of an object's body read line by line that is none of its properties, at `at`
// (white space already passed) whose first word is `word` (at least 1) bytes long: a block
// (skip_body_block), else, when `braced_lists`, a braced list, else a line (skip_line). The
// rest, or nothing when none of them is there.
std::optional<Text> skip_body_item(Text at, std::size_t word, bool braced_lists);
// [ws] a run outside "{", "}", CR and LF [ws].
ParseResult<Unit> skip_line(Text in);
// The rest after skip_line, or nothing where it fails (the hot loops' form).
inline constexpr CharSet kLineStop{"{}\r\n"};
inline std::optional<Text> skip_line_rest(Text in) noexcept {
  Text at = opt_ws(in);
  const std::size_t n = span_outside(at, kLineStop);
  if (n == 0) return std::nullopt;
  return opt_ws(drop(at, n));
}
// [ws] a run outside CR and LF.
ParseResult<Unit> rest_of_line(Text in);
// The rest after rest_of_line, or nothing where it fails.
inline std::optional<Text> rest_of_line_rest(Text in) noexcept {
  Text at = opt_ws(in);
  std::size_t n = line_length(at);
  if (n == 0) return std::nullopt;
  return drop(at, n);
}
// key blanks value, each one word (no white space, no "}").
ParseResult<std::pair<Text, Text>> key_value_pair(Text in);
// K [ws] "{" [ws] pairs separated by required white space [ws] "}". Nothing after the
// "}" is consumed.
ParseResult<std::vector<std::pair<Text, Text>>> key_value_block(Text in, Text keyword);
// The same, pairs dropped.
ParseResult<Unit> skip_key_value_block(Text in, Text keyword);
// The same, each pair handed to `sink(context, key, value)` while the pairs end within
// `limit` bytes of `in`: true when all of them did (`sink` then had them all).
using PairSink = void (*)(void* context, Text key, Text value);
ParseResult<bool> short_key_value_block(Text in, Text keyword, std::size_t limit, PairSink sink, void* context);

// A value read as a 16-bit number: an optional "+" and one or more ASCII digits, at
// most 65535, nothing else.
std::optional<std::uint16_t> u16_value(Text value) noexcept;

}  // namespace brelmark::lex
