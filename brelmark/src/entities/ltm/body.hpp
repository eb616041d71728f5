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

// Reads one property at `in` (white space already passed) into the reading: the rest,
// or nothing when the property does not match there (the reading is then unchanged).
template <class Record>
using PropertyReader = std::optional<Text> (*)(Text in, Text keyword, Reading<Record>& reading);

template <class Record>
struct Property {
  Text keyword;
  PropertyReader<Record> read;
};

// The properties of one body, in the order they are tried.
template <class Record, std::size_t N>
class PropertyTable {
  static_assert(N <= 32);

 public:
  constexpr explicit PropertyTable(const std::array<Property<Record>, N>& properties) {
    for (std::size_t i = 0; i < N; ++i) {
      readers_[i] = properties[i].read;
      keywords_[i] = properties[i].keyword;
      by_first_[static_cast<unsigned char>(properties[i].keyword[0])] |= std::uint32_t{1} << i;
    }
  }

  std::span<const Text> keywords() const noexcept { return keywords_; }

  // The first property that matches at `in`, in table order. A property can match only
  // where the text begins with its keyword, so only those are tried.
  std::optional<Text> read(Text in, Reading<Record>& reading) const {
    if (in.empty()) return std::nullopt;
    for (std::uint32_t bits = by_first_[static_cast<unsigned char>(in[0])]; bits != 0; bits &= bits - 1) {
      int i = std::countr_zero(bits);
      if (!lex::has_prefix(in, keywords_[i])) continue;
      if (auto rest = readers_[i](in, keywords_[i], reading)) return rest;
    }
    return std::nullopt;
  }

 private:
  std::array<PropertyReader<Record>, N> readers_{};
  std::array<Text, N> keywords_{};
  std::array<std::uint32_t, 256> by_first_{};
};

// One body item at `at` (white space already passed): a property, else an unknown
// block, else (when `braced_lists`) a braced list, else a line. The rest, or nothing
// when no alternative matches; the error is then the line alternative's, "IsNot" at `at`.
template <class Record, std::size_t N>
std::optional<Text> item(Text at, const PropertyTable<Record, N>& table, Reading<Record>& reading,
                         bool braced_lists) {
  if (auto rest = table.read(at, reading)) return rest;
  if (lex::at_block_header(at)) {
    if (auto block = lex::skip_body_block(at, table.keywords())) return block.rest();
  }
  if (braced_lists && at.starts_with('{')) {
    if (auto list = lex::skip_braced_list(at)) return list.rest();
  }
  return lex::skip_line_rest(at);
}

// The body items, read until one does not match; the rest is where that item began.
// With `at_least_one`, a body without any item fails with the first item's error.
template <class Record, std::size_t N>
ParseResult<Unit> items(Text in, bool at_least_one, const PropertyTable<Record, N>& table,
                        Reading<Record>& reading, bool braced_lists) {
  for (bool first = true;; first = false) {
    Text at = lex::opt_ws(in);
    auto rest = item(at, table, reading, braced_lists);
    if (!rest) {
      if (first && at_least_one) return ParseError::error(ParseErrorKind::IsNot, at);
      return {in, Unit{}};
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

// A key_value_line property: the rest of the line.
template <auto Field>
std::optional<Text> text_line(Text in, Text keyword, Reading<RecordOf<Field>>& reading) {
  auto value = lex::key_value_line(in, keyword);
  if (!value) return std::nullopt;
  assign(reading.record.*Field, value.value());
  return value.rest();
}

// A key_value_line property whose value must be a 16-bit number.
template <auto Field>
std::optional<Text> number_line(Text in, Text keyword, Reading<RecordOf<Field>>& reading) {
  auto value = lex::key_value_line(in, keyword);
  if (!value) return std::nullopt;
  auto number = lex::u16_value(value.value());
  if (!number) return std::nullopt;
  reading.record.*Field = *number;
  return value.rest();
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
std::optional<Text> word_list(Text in, Text keyword, Reading<RecordOf<Field>>& reading) {
  auto key = lex::literal(lex::opt_ws(in), keyword);
  if (!key) return std::nullopt;
  auto list = lex::short_braced_list(key.rest(), kShortList);
  if (!list) return std::nullopt;
  if (auto& elements = list.value()) {
    reading.record.*Field = std::move(*elements);
    reading.collected(collect_word_list<Field>);
  } else {
    reading.defer(collect_word_list<Field>, key.rest());
  }
  return list.rest();
}

// A flag_line property.
template <auto Field>
std::optional<Text> flag(Text in, Text keyword, Reading<RecordOf<Field>>& reading) {
  auto line = lex::flag_line(in, keyword);
  if (!line) return std::nullopt;
  reading.record.*Field = true;
  return line.rest();
}

}  // namespace brelmark::body
