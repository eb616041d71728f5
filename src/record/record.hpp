#pragma once
// The record framework: one constant field table per record drives every
// document reader and writer (JSON, TOML, YAML, CSV, Python dictionaries).
//
// A record is a plain struct. It declares its table by specialising
// `RecordTable` with its name and its fields in declaration order:
//
//   struct Tag { Text name; std::optional<Text> context; };
//   template <> struct qv::record::RecordTable<Tag> {
//     static constexpr std::string_view name = "Tag";
//     static constexpr FieldDef fields[] = {
//         field<&Tag::name>("name").required(),
//         field<&Tag::context>("context").when(WrittenWhen::Set),
//     };
//   };
//
// The kind of each field follows from the member's type (see FieldKind);
// nested records and lists of records find their own table through
// `record_def<R>`. Nothing format-specific is declared by the record.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <brelmark/memory.hpp>

#include "record/arena.hpp"
#include "record/text.hpp"

namespace qv::record {

// A record's list of texts; its lists are List (record/arena.hpp).
using TextList = List<Text>;
// A name with its list of words: a virtual server's policy, written in
// documents as a two-element array (a text and an array of texts).
using TextPair = std::pair<Text, TextList>;
using PairList = List<TextPair>;

// What a field holds; deduced from the member type by `field<>`.
enum class FieldKind : std::uint8_t {
  Text,          // Text
  OptionalText,  // std::optional<Text>
  U16,           // std::uint16_t
  Bool,          // bool
  TextList,      // TextList
  Record,        // a nested record R (with a RecordTable<R>)
  RecordList,    // std::vector<R> or List<R>
  PairList,      // PairList
};

// When a writer writes a field; a field whose test fails is left out entirely.
enum class WrittenWhen : std::uint8_t {
  Always,
  NotBlank,            // text: not empty after trimming Unicode white space
  NotEmpty,            // text or list: not empty (no trimming)
  Set,                 // optional text: set (an empty text counts as set)
  True,                // bool: true
  NotZero,             // u16: not 0
  NotOne,              // u16: not 1
  NotKeyword,          // text: trimmed text differs from `keyword`, ASCII case ignored
  NotBlankNorKeyword,  // text: not blank and the trimmed text differs from `keyword`
  Custom,              // `predicate` on the field's value
};

struct RecordDef;

// Type-erased operations on a std::vector of records.
struct RecordListOps {
  std::size_t (*size)(const void* list);
  const void* (*at)(const void* list, std::size_t index);
  void* (*append)(void* list);  // appends a value-initialised record and returns it
  void (*clear)(void* list);
  std::size_t (*capacity)(const void* list);
  void (*reserve)(void* list, std::size_t count);
};

// One row of a record's table.
struct FieldDef {
  std::string_view key;
  bool key_plain = true;  // the key needs no escape in JSON
  FieldKind kind = FieldKind::Text;
  WrittenWhen written = WrittenWhen::Always;
  bool is_required = false;
  std::uint16_t absent_number = 0;   // U16 value when absent
  std::string_view absent_text{};    // Text value when absent
  std::string_view keyword{};        // for NotKeyword / NotBlankNorKeyword
  void* (*at)(void* record) = nullptr;             // the field inside a record
  const RecordDef& (*nested)() = nullptr;          // Record / RecordList: the element's table
  const RecordListOps* list = nullptr;             // RecordList
  bool (*predicate)(const void* value) = nullptr;  // Custom: true when written
  void (*absent_record)(void* value) = nullptr;    // Record: fills the value when absent

  // Builders, used in the tables.
  constexpr FieldDef required() const {
    FieldDef f = *this;
    f.is_required = true;
    return f;
  }
  constexpr FieldDef when(WrittenWhen rule) const {
    FieldDef f = *this;
    f.written = rule;
    return f;
  }
  // Written unless the trimmed text equals `word` (ASCII case ignored); a blank
  // text is written unless `blank_too`.
  constexpr FieldDef unless_keyword(std::string_view word, bool blank_too = false) const {
    FieldDef f = *this;
    f.written = blank_too ? WrittenWhen::NotBlankNorKeyword : WrittenWhen::NotKeyword;
    f.keyword = word;
    return f;
  }
  constexpr FieldDef absent(std::string_view text) const {
    FieldDef f = *this;
    f.absent_text = text;
    return f;
  }
  constexpr FieldDef absent(std::uint16_t number) const {
    FieldDef f = *this;
    f.absent_number = number;
    return f;
  }
  // Written when `Pred(value)` is true; Pred is `bool (*)(const V&)`.
  template <auto Pred>
  constexpr FieldDef written_if() const;
  // When absent, the nested record becomes `Make()`; Make is `R (*)()`.
  template <auto Make>
  constexpr FieldDef absent_with() const;

  // The field's value inside `record`.
  void* in(void* record) const { return at(record); }
  const void* in(const void* record) const { return at(const_cast<void*>(record)); }
};

// A record's table: its name and its fields in declaration order.
struct RecordDef {
  std::string_view name;  // "Virtual"
  std::span<const FieldDef> fields;
  std::uint64_t required_mask = 0;  // bit i: field i is required

  std::string expecting() const;             // "struct Virtual"
  std::string expecting_positional() const;  // "struct Virtual with 21 elements"
};

// Specialise for each record type (see the top of this file).
template <class T>
struct RecordTable;

constexpr std::uint64_t required_mask_of(std::span<const FieldDef> fields) {
  // Readers track a record's fields in a 64-bit set.
  if (fields.size() > 64) throw "a record table holds at most 64 fields";
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].is_required) mask |= std::uint64_t{1} << i;
  }
  return mask;
}

template <class T>
inline constexpr RecordDef record_def{RecordTable<T>::name, RecordTable<T>::fields,
                                      required_mask_of(RecordTable<T>::fields)};

template <class T>
const RecordDef& record_def_of() {
  return record_def<T>;
}

// ---------------------------------------------------------------------------
// Building fields: `field<&T::member>(key)`.

namespace detail {

template <class M>
struct member_traits;
template <class C, class F>
struct member_traits<F C::*> {
  using record = C;
  using type = F;
};

template <class T>
struct is_vector : std::false_type {};
template <class T, class A>
struct is_vector<std::vector<T, A>> : std::true_type {
  using element = T;
};

template <auto M>
void* member_at(void* record) {
  using Tr = member_traits<decltype(M)>;
  return &(static_cast<typename Tr::record*>(record)->*M);
}

template <class V>
struct VectorOps {
  static std::size_t size(const void* l) { return static_cast<const V*>(l)->size(); }
  static const void* at(const void* l, std::size_t i) { return &(*static_cast<const V*>(l))[i]; }
  static void* append(void* l) { return &static_cast<V*>(l)->emplace_back(); }
  static void clear(void* l) { static_cast<V*>(l)->clear(); }
  static std::size_t capacity(const void* l) { return static_cast<const V*>(l)->capacity(); }
  static void reserve(void* l, std::size_t n) { brelmark::reserve_preferring_huge_pages(*static_cast<V*>(l), n); }
  static constexpr RecordListOps ops{&size, &at, &append, &clear, &capacity, &reserve};
};

template <class F>
struct function_arg;
template <class V>
struct function_arg<bool (*)(const V&)> {
  using type = V;
};
template <class V>
struct function_arg<bool (*)(const V&) noexcept> {
  using type = V;
};

template <auto Pred>
bool predicate_thunk(const void* value) {
  using V = typename function_arg<decltype(Pred)>::type;
  return Pred(*static_cast<const V*>(value));
}

template <auto Make>
void absent_thunk(void* value) {
  using R = std::remove_cvref_t<decltype(Make())>;
  *static_cast<R*>(value) = Make();
}

}  // namespace detail

template <auto Pred>
constexpr FieldDef FieldDef::written_if() const {
  FieldDef f = *this;
  f.written = WrittenWhen::Custom;
  f.predicate = &detail::predicate_thunk<Pred>;
  return f;
}

template <auto Make>
constexpr FieldDef FieldDef::absent_with() const {
  FieldDef f = *this;
  f.absent_record = &detail::absent_thunk<Make>;
  return f;
}

template <auto M>
constexpr FieldDef field(std::string_view key) {
  using F = typename detail::member_traits<decltype(M)>::type;
  FieldDef f;
  f.key = key;
  for (char c : key) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') f.key_plain = false;
  }
  f.at = &detail::member_at<M>;
  if constexpr (std::is_same_v<F, Text>) {
    f.kind = FieldKind::Text;
  } else if constexpr (std::is_same_v<F, std::optional<Text>>) {
    f.kind = FieldKind::OptionalText;
  } else if constexpr (std::is_same_v<F, std::uint16_t>) {
    f.kind = FieldKind::U16;
  } else if constexpr (std::is_same_v<F, bool>) {
    f.kind = FieldKind::Bool;
  } else if constexpr (std::is_same_v<F, TextList>) {
    f.kind = FieldKind::TextList;
  } else if constexpr (std::is_same_v<F, PairList>) {
    f.kind = FieldKind::PairList;
  } else if constexpr (detail::is_vector<F>::value) {
    using R = typename detail::is_vector<F>::element;
    f.kind = FieldKind::RecordList;
    f.nested = &record_def_of<R>;
    f.list = &detail::VectorOps<F>::ops;
  } else {
    static_assert(std::is_class_v<F>, "unsupported field type");
    static_assert(!std::is_same_v<F, std::string> && !std::is_same_v<F, std::optional<std::string>> &&
                      !std::is_same_v<F, std::vector<std::string>> && !std::is_same_v<F, std::vector<Text>>,
                  "a record's texts are Text, its lists of texts TextList");
    f.kind = FieldKind::Record;
    f.nested = &record_def_of<F>;
  }
  return f;
}

// ---------------------------------------------------------------------------
// Typed access to a field's value (the `const void*` of a walk).

template <class T>
inline const T& value_as(const void* value) {
  return *static_cast<const T*>(value);
}
template <class T>
inline T& value_as(void* value) {
  return *static_cast<T*>(value);
}

// ---------------------------------------------------------------------------
// Writing: the written fields of a value, in table order.

// True when the trimmed text equals `keyword`, ASCII letters compared without case.
bool equals_keyword(std::string_view text, std::string_view keyword) noexcept;

// The field's written-when test on its value.
bool is_written(const FieldDef& field, const void* value) noexcept;

// Calls visit(const FieldDef&, const void* value) for each written field.
template <class Visit>
void for_each_written(const RecordDef& def, const void* record, Visit&& visit) {
  for (const FieldDef& f : def.fields) {
    const void* v = f.in(record);
    if (is_written(f, v)) visit(f, v);
  }
}

std::size_t count_written(const RecordDef& def, const void* record) noexcept;

// ---------------------------------------------------------------------------
// Reading: the key rules every format shares.

// Expected texts of type errors.
inline constexpr std::string_view kExpectString = "a string";
inline constexpr std::string_view kExpectU16 = "u16";
inline constexpr std::string_view kExpectBool = "a boolean";
inline constexpr std::string_view kExpectSequence = "a sequence";
inline constexpr std::string_view kExpectPair = "a tuple of size 2";
inline constexpr std::string_view kExpectFieldIdentifier = "field identifier";

// The expected text for a value of this field ("a string", "u16", ...,
// "struct X" for a nested record).
std::string expected_text(const FieldDef& field);

// The record messages.
std::string missing_field(std::string_view key);
std::string duplicate_field(std::string_view key);
std::string invalid_length(std::size_t length, std::string_view expected);
std::string invalid_type(std::string_view unexpected, std::string_view expected);
std::string invalid_value(std::string_view unexpected, std::string_view expected);

// The shortest decimal digits that read back as a finite `d`: its value is 0.digits * 10^point,
// with the sign apart ("0" for a zero of either sign). Every printer of floats lays these out.
struct ShortestDecimal {
  bool negative = false;
  std::string digits;
  int point = 0;
};
ShortestDecimal shortest_decimal(double d);

// Renderings of an unexpected value inside "invalid type" / "invalid value".
std::string unexpected_bool(bool b);                 // boolean `true`
std::string unexpected_unsigned(std::uint64_t n);    // integer `5`
std::string unexpected_signed(std::int64_t n);       // integer `-5`
std::string unexpected_float(double d);              // floating point `1.0`, `100000000000000000000.0`
std::string unexpected_str(std::string_view text);   // string "x" (escaped)
inline constexpr std::string_view kUnexpectedUnit = "unit value";
inline constexpr std::string_view kUnexpectedSeq = "sequence";
inline constexpr std::string_view kUnexpectedMap = "map";

// Sets a field to its value when absent (empty text / the table's text,
// none, 0 / the table's number, false, empty list, the nested record's
// absent values or `absent_with`).
void set_absent(const FieldDef& field, void* value);
// Sets every field of a record to its value when absent.
void set_record_absent(const RecordDef& def, void* record);

namespace detail {
template <class W>
inline bool same_word(const char* a, const char* b) noexcept {
  W x;
  W y;
  __builtin_memcpy(&x, a, sizeof x);
  __builtin_memcpy(&y, b, sizeof y);
  return x == y;
}

// Keys are mostly 4 to 8 bytes: two overlapping words compare them.
inline bool same_bytes(const char* a, const char* b, std::size_t n) noexcept {
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8) {
      if (!same_word<std::uint64_t>(a + i, b + i)) return false;
    }
    return same_word<std::uint64_t>(a + n - 8, b + n - 8);
  }
  if (n >= 4) return same_word<std::uint32_t>(a, b) && same_word<std::uint32_t>(a + n - 4, b + n - 4);
  for (; n > 0; --n, ++a, ++b) {
    if (*a != *b) return false;
  }
  return true;
}
}  // namespace detail

// Field lookup: byte-exact, case-sensitive. Returns the field's index or -1.
// `hint` is where the search starts (documents usually follow table order).
inline int find_field(const RecordDef& def, std::string_view key, std::size_t hint = 0) noexcept {
  const std::size_t n = def.fields.size();
  if (hint >= n) hint = 0;
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t i = hint + k;
    if (i >= n) i -= n;
    const std::string_view fk = def.fields[i].key;
    if (fk.size() == key.size() && detail::same_bytes(fk.data(), key.data(), key.size())) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The state of one record being read, keyed or positional: which fields were
// set, and the rules that close the record.
class RecordReader {
 public:
  static constexpr int kUnknown = -1;
  static constexpr int kDuplicate = -2;

  RecordReader(const RecordDef& def, void* record) noexcept : def_(&def), record_(record) {}

  const RecordDef& def() const noexcept { return *def_; }
  void* record() const noexcept { return record_; }

  // Keyed form: the field named by `key`, kUnknown for a key that names no
  // field (skip its value), or kDuplicate for a field already set (the
  // message is `duplicate_field(key)`, reported before the value is read).
  int lookup(std::string_view key) noexcept {
    const int i = find_field(*def_, key, hint_);
    if (i < 0) return kUnknown;
    return lookup_index(static_cast<std::size_t>(i));
  }
  // The field that a document in table order names next: a format may
  // compare the key in the document with it before any general lookup, and
  // on a match call lookup_index.
  std::size_t next_hint() const noexcept { return hint_ < def_->fields.size() ? hint_ : 0; }
  int lookup_index(std::size_t index) noexcept {
    const int i = static_cast<int>(index);
    if (is_set(i)) return kDuplicate;
    hint_ = index + 1;
    return i;
  }
  // The field's value, to be read by the format; then mark it set.
  const FieldDef& field(int index) const noexcept { return def_->fields[static_cast<std::size_t>(index)]; }
  void* value(int index) const noexcept { return field(index).in(record_); }
  void mark_set(int index) noexcept { seen_ |= std::uint64_t{1} << index; }
  bool is_set(int index) const noexcept { return (seen_ >> index) & 1U; }

  // End of the keyed form: fails with "missing field `k`" for the first
  // required field not set, in declaration order; otherwise gives every unset
  // field its absent value. Returns false with the message in `error`.
  bool finish_keyed(std::string& error);

  // End of the positional form after `count` elements were read into the
  // first `count` fields: the first required field at or after `count` fails
  // with "invalid length N, expected struct X with M elements"; the others
  // take their absent values.
  bool finish_positional(std::size_t count, std::string& error);

 private:
  const RecordDef* def_;
  void* record_;
  std::uint64_t seen_ = 0;
  std::size_t hint_ = 0;
};

}  // namespace qv::record
