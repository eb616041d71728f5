#pragma once
// Reading the body of an object: a repetition of items, each one of the body's
// properties (tried in a fixed order) or an ignored item. Properties are stored into the
// record as they are read, so a later occurrence replaces an earlier one.
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <algorithm>
#include <vector>

#include "brelmark/path.hpp"
#include "brelmark/lexer.hpp"

namespace brelmark::body {

using lex::Text;
using lex::Unit;

// What a body reader fills: the record, and the lists it has found but not yet collected.
//
// A list can close at a "}" far away while the object around it fails to parse; the
// grammars then try again from the next line, meet the same list and would collect it
// again, once for every line. Whether a list parses, and where it ends, is cheap to learn
// again (the scans remember their walks); collecting its elements is not. So the readers
// collect a list at once only while it is short; a longer one they only check, noting
// where it begins, and it is collected once, when the whole object has parsed and is kept.
template <class Record>
struct Reading {
  // Collects the list at `at` into the record; `index` tells which part of it, where
  // the record holds several (the members of a pool).
  using Collect = void (*)(Text at, std::size_t index, Record& record);
  struct Later {
    Collect collect;
    Text at;
    std::size_t index;
  };

  Record record;
  std::vector<Later> later;  // in the order read
  bool words = false;        // the body is read as words (lex::words_follow), not line by line

  void defer(Collect collect, Text at, std::size_t index = 0) { later.push_back({collect, at, index}); }
  // A list of the kind `collect` collects was collected at once: it replaces those deferred.
  void collected(Collect collect) {
    if (!later.empty()) std::erase_if(later, [&](const Later& l) { return l.collect == collect; });
  }

  // The record with its lists collected. They are collected in the order read, so a
  // later list of a field replaces an earlier one, as when they are read at once.
  Record finish() && {
    for (const Later& l : later) l.collect(l.at, l.index, record);
    return std::move(record);
  }
};

// A property's keyword where an item begins with it: `text` is the item (white space
// already passed) and begins with `keyword`; `word` is the length of the item's first word
// (its run outside white space), at least the keyword's.
struct Key {
  Text text;
  Text keyword;
  std::size_t word;

  // The text just after the keyword.
  Text after() const noexcept { return lex::drop(text, keyword.size()); }
  // Whether white space (or the end of the text) follows the keyword.
  bool whole_word() const noexcept { return word == keyword.size(); }
};

// Reads one property at `key` into the reading: the rest, or nothing when the property
// does not match there (the reading is then unchanged).
template <class Record>
using PropertyReader = std::optional<Text> (*)(const Key& key, Reading<Record>& reading);

template <class Record>
struct Property {
  Text keyword;
  PropertyReader<Record> read;
};

// The properties of one body, in the order they are tried; made by property_table below.
template <class Record, std::size_t N>
class PropertyTable {
  static_assert(N <= 32);

 public:
  constexpr explicit PropertyTable(const Property<Record> (&properties)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
      readers_[i] = properties[i].read;
      keywords_[i] = properties[i].keyword;
      // read() tells a keyword from a longer first word by the word's length alone, and
      // closed_items() takes a "}" for the end of the body.
      for (char c : properties[i].keyword)
        if (lex::is_space(c)) throw "a property keyword holds no white space";
      if (properties[i].keyword[0] == '}') throw "a property keyword does not begin with \"}\"";
      by_first_[static_cast<unsigned char>(properties[i].keyword[0])] |= std::uint32_t{1} << i;
    }
  }

  std::span<const Text> keywords() const noexcept { return keywords_; }

  // The first property that matches at `in`, whose first word is `word` bytes long, in
  // table order. A property can match only where the text begins with its keyword, so
  // only those are tried; a word shorter than a keyword cannot begin with it.
  std::optional<Text> read(Text in, std::size_t word, Reading<Record>& reading) const {
    if (in.empty()) return std::nullopt;
    for (std::uint32_t bits = by_first_[static_cast<unsigned char>(in[0])]; bits != 0; bits &= bits - 1) {
      int i = std::countr_zero(bits);
      if (word < keywords_[i].size() || !lex::has_prefix(in, keywords_[i])) continue;
      if (auto rest = readers_[i](Key{in, keywords_[i], word}, reading)) return rest;
    }
    return std::nullopt;
  }

 private:
  std::array<PropertyReader<Record>, N> readers_{};
  std::array<Text, N> keywords_{};
  std::array<std::uint32_t, 256> by_first_{};
};

// The table of the properties listed, its size counted from the list:
//   constexpr auto kPoolProperties = body::property_table<ParsedPool>({
//       {"members", read_members},
//       {"description", text_line<&ParsedPool::description>},
//   });
template <class Record, std::size_t N>
constexpr PropertyTable<Record, N> property_table(const Property<Record> (&properties)[N]) {
  return PropertyTable<Record, N>(properties);
}

// closed_items for a body read as words. A word ends at white space or a brace; a "{" where an
// item would begin opens a group that is skipped whole.
template <class Record, std::size_t N>
ParseResult<Unit> word_items(Text in, bool at_least_one, const PropertyTable<Record, N>& table,
                             Reading<Record>& reading) {
  for (bool first = true;; first = false) {
    Text at = lex::opt_ws(in);
    std::optional<Text> rest;
    if (!at.empty() && at[0] == '}') {
      if (first && at_least_one) return ParseError::error(ParseErrorKind::IsNot, at);
      return {lex::opt_ws(lex::drop(at, 1)), Unit{}};
    }
    if (!at.empty() && at[0] == '{') {
      if (auto group = lex::group_rest(lex::drop(at, 1))) rest = lex::opt_ws(*group);
    } else if (const std::size_t word = lex::word_length(at); word != 0) {
      rest = table.read(at, word, reading);
      if (!rest) rest = lex::skip_word_item(at, word);
    }
    if (!rest) {
      if (first && at_least_one) return ParseError::error(ParseErrorKind::IsNot, at);
      return ParseError::error(ParseErrorKind::Tag, at);
    }
    in = *rest;
  }
}

// The body items and the "}" that closes the body, from just after the body's "{": items [ws]
// "}" [ws]. A body whose "{" is followed by more on its line is read as words, else line by
// line (lex::words_follow); `reading.words` tells the property readers which. The items are
// read until one does not match; the "}" must stand where that one began. An item is a
// property, else what the body skips: read line by line, a block, else (when `braced_lists`) a
// braced list, else a line; read as words, a block, a word standing alone, or a word and its
// value. With `at_least_one`, a body without any item fails with the first item's error
// ("IsNot" where it began); a missing "}" fails with "Tag" where it must stand. The rest is the
// text after the "}" and its white space.
template <class Record, std::size_t N>
ParseResult<Unit> closed_items(Text in, bool at_least_one, const PropertyTable<Record, N>& table,
                               Reading<Record>& reading, bool braced_lists) {
  reading.words = lex::words_follow(in);
  if (reading.words) return word_items(in, at_least_one, table, reading);
  for (bool first = true;; first = false) {
    Text at = lex::opt_ws(in);
    const std::size_t word = lex::span_outside(at, lex::kWhiteSpace);
    std::optional<Text> rest;
    if (word == 0) {
      // The end of the text: no alternative takes nothing.
    } else if (at[0] == '}') {
      // Where a body closes: no property, braced list or line begins with "}", and only
      // a block (an unknown one named as the word) can follow it.
      Text after = lex::opt_ws(lex::drop(at, word));
      if (after.empty() || after[0] != '{') {
        if (first && at_least_one) return ParseError::error(ParseErrorKind::IsNot, at);
        return {word == 1 ? after : lex::drop(at, 1), Unit{}};
      }
      rest = lex::skip_body_item(at, word, braced_lists);
    } else {
      rest = table.read(at, word, reading);
      if (!rest) rest = lex::skip_body_item(at, word, braced_lists);
    }
    if (!rest) {
      if (first && at_least_one) return ParseError::error(ParseErrorKind::IsNot, at);
      if (at.empty() || at[0] != '}') return ParseError::error(ParseErrorKind::Tag, at);
      return {lex::opt_ws(lex::drop(at, 1)), Unit{}};
    }
    // Every item consumes text, so the repetition always moves on.
    in = *rest;
  }
}

// ---- readers shared by the bodies ------------------------------------------------------

template <class>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Class = C;
};
template <auto Field>
using RecordOf = typename MemberOf<decltype(Field)>::Class;

inline void assign(Text& field, Text value) { field = value; }
inline void assign(std::optional<Text>& field, Text value) { field = value; }
inline void assign(ObjectPath& field, Text value) { field = ObjectPath(value); }

// The value of a key_value_line property: blanks must follow the keyword, so a longer
// first word never matches; the value runs to the end of the line. In a body read as words,
// the value is the one word or quoted text after the keyword.
inline std::optional<lex::LineValue> line_value(const Key& key, bool words) noexcept {
  if (!key.whole_word()) return std::nullopt;
  if (words) [[unlikely]] return lex::word_value(lex::opt_ws(key.after()));
  return lex::line_value(key.after());
}

// A key_value_line property: the rest of the line.
template <auto Field>
std::optional<Text> text_line(const Key& key, Reading<RecordOf<Field>>& reading) {
  auto value = line_value(key, reading.words);
  if (!value) return std::nullopt;
  assign(reading.record.*Field, value->value);
  return value->rest;
}

// The value of a monitor line. Read as words, a monitor rule is its words joined by "and"
// ("/Common/http and /Common/tcp"), or "min N of" and a braced list of monitors.
inline std::optional<lex::LineValue> monitor_value(const Key& key, bool words) noexcept {
  auto value = line_value(key, words);
  if (!value || !words) return value;
  const char* begin = value->value.data();
  auto through = [&](Text rest) {
    value = lex::LineValue{Text(begin, static_cast<std::size_t>(rest.data() - begin)), rest};
  };
  auto word_at = [](Text at, Text word) { return lex::word_length(at) == word.size() && lex::has_prefix(at, word); };
  if (value->value == "min") {
    Text at = lex::opt_ws(value->rest);
    auto count = lex::word_value(at);
    if (!count || !lex::u16_value(count->value)) return value;
    at = lex::opt_ws(count->rest);
    if (!word_at(at, "of")) return value;
    at = lex::opt_ws(lex::drop(at, 2));
    if (!at.starts_with('{')) return value;
    if (auto group = lex::group_rest(lex::drop(at, 1))) through(*group);
    return value;
  }
  for (;;) {
    Text at = lex::opt_ws(value->rest);
    if (!word_at(at, "and")) return value;
    auto next = lex::word_value(lex::opt_ws(lex::drop(at, 3)));
    if (!next) return value;
    through(next->rest);
  }
}

template <auto Field>
std::optional<Text> monitor_line(const Key& key, Reading<RecordOf<Field>>& reading) {
  auto value = monitor_value(key, reading.words);
  if (!value) return std::nullopt;
  assign(reading.record.*Field, value->value);
  return value->rest;
}

// A key_value_line property whose value must be a 16-bit number.
template <auto Field>
std::optional<Text> number_line(const Key& key, Reading<RecordOf<Field>>& reading) {
  auto value = line_value(key, reading.words);
  if (!value) return std::nullopt;
  auto number = lex::u16_value(value->value);
  if (!number) return std::nullopt;
  reading.record.*Field = *number;
  return value->rest;
}

// A keyword_list property: the whole list replaces the earlier one. It is checked here
// and collected from `at` (just after the keyword) once the object has parsed.
template <auto Field>
void collect_word_list(Text at, std::size_t, RecordOf<Field>& record) {
  record.*Field = std::move(lex::braced_list(at)).value();
}

// Lists whose elements end within this many bytes of the list's start are collected at once.
inline constexpr std::size_t kShortList = 512;

template <auto Field>
std::optional<Text> word_list(const Key& key, Reading<RecordOf<Field>>& reading) {
  auto list = lex::short_braced_list(key.after(), kShortList);
  if (!list) return std::nullopt;
  if (auto& elements = list.value()) {
    reading.record.*Field = std::move(*elements);
    reading.collected(collect_word_list<Field>);
  } else {
    reading.defer(collect_word_list<Field>, key.after());
  }
  return list.rest();
}

// A key_value_block property that gives a few settings of the record anew (those it
// does not name take their defaults): `Set` takes one pair into them. `*Keyword` is the
// property's keyword. A short block is applied at once; a longer one is checked, and
// applied from `at` (its keyword) once the object has parsed.
template <auto Field>
using FieldOf = std::remove_cvref_t<decltype(std::declval<RecordOf<Field>&>().*Field)>;

template <auto Field, const Text* Keyword, void (*Set)(FieldOf<Field>&, Text, Text)>
void collect_settings(Text at, std::size_t, RecordOf<Field>& record) {
  FieldOf<Field> settings;
  const auto block = lex::key_value_block(at, *Keyword);
  for (auto [key, value] : block.value()) Set(settings, key, value);
  record.*Field = settings;
}

template <auto Field, const Text* Keyword, void (*Set)(FieldOf<Field>&, Text, Text)>
std::optional<Text> settings_block(const Key& key, Reading<RecordOf<Field>>& reading) {
  FieldOf<Field> settings;
  auto set = [](void* to, Text k, Text v) { Set(*static_cast<FieldOf<Field>*>(to), k, v); };
  auto block = lex::short_key_value_block(key.text, key.keyword, kShortList, set, &settings);
  if (!block) return std::nullopt;
  constexpr auto collect = collect_settings<Field, Keyword, Set>;
  if (block.value()) {
    reading.record.*Field = settings;
    reading.collected(collect);
  } else {
    reading.defer(collect, key.text);
  }
  return block.rest();
}

// [ws] "{" [ws] entries [ws] "}" [ws] after a list property's keyword, each entry read by
// `entry(at)`: the rest after it, or nothing where the entries end. The rest after the list,
// or nothing where no "}" follows the entries.
template <class Entry>
std::optional<Text> braced_entries(Text after_keyword, Entry&& entry) {
  Text open = lex::opt_ws_to_brace(after_keyword);
  if (!open.starts_with('{')) return std::nullopt;
  Text at = lex::opt_ws(lex::drop(open, 1));
  while (auto rest = entry(at)) at = *rest;
  Text close = lex::opt_ws(at);
  if (!close.starts_with('}')) return std::nullopt;
  return lex::opt_ws(lex::drop(close, 1));
}

// A flag_line property. Read as words, the flag is a word of its own.
template <auto Field>
std::optional<Text> flag(const Key& key, Reading<RecordOf<Field>>& reading) {
  if (reading.words && !key.whole_word()) return std::nullopt;
  reading.record.*Field = true;
  return lex::opt_ws(key.after());
}

}  // namespace brelmark::body
