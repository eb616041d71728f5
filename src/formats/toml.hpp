#pragma once
// TOML 1.0 documents.
//
// Reading: `parse` turns a text into a `Document`, a tree of tables and values
// that keeps, for every table, its entries in the order in which record
// readers take them, and the byte position of every key and value:
//   - a table's own key/value lines in text order, then the tables named by
//     later headers below it, each at the place of the first header that
//     names it ([a.b] before [a] puts `b` before the lines of [a]);
//   - an inline table's pairs in written order;
//   - keys dotted below a key form one table for that key, at the place of the
//     first line that names it.
// A key given twice by the key/value lines of one table (or of one inline
// table) is kept twice: the record readers report the repetition. Everything
// else TOML forbids is an error. Errors about how table headers fit together
// (a table defined twice, a table redefined as an array, a header over a
// value) do not stop the reading: they stay in the tree as `Kind::Deferred`
// entries at the place where a walk over the tables meets them.
//
// Records (record/record.hpp): `read_record` reads a document into a record
// over its field table; `write_record` writes one.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/format.hpp"
#include "record/record.hpp"

namespace qv::toml {

// Deepest nesting of tables and arrays (header and dotted key parts count
// like inline tables and arrays); deeper documents fail with a clear error.
inline constexpr std::size_t kMaxDepth = 128;

// ---------------------------------------------------------------------------
// Errors.

struct LineCol {
  std::size_t line;    // from 1
  std::size_t column;  // from 1, in bytes
};

// Line and column of a byte offset of `text`.
LineCol line_col(std::string_view text, std::size_t offset) noexcept;

// A reading failure: a message, the keys under which it happened (outermost
// first) and the byte offset it is reported at, when known. Rendered as
//   message[ for key `a.b`][ at line L column C]
struct Error {
  std::string message;
  std::vector<std::string> keys;
  std::optional<std::size_t> offset;

  // A key of an enclosing table: it goes in front of the keys known so far.
  void add_key(std::string_view key) { keys.insert(keys.begin(), std::string(key)); }
  // Sets the offset unless one is already known (the innermost value wins).
  void fix_offset(std::optional<std::size_t> at) {
    if (!offset) offset = at;
  }
  std::string render(std::string_view text) const;
};

// ---------------------------------------------------------------------------
// The document model.

enum class Kind : std::uint8_t {
  String,
  Integer,
  Float,
  Boolean,
  OffsetDateTime,
  LocalDateTime,
  LocalDate,
  LocalTime,
  Array,
  Table,
  Deferred,  // an error met here by any walk over the tables (see the top)
};

// Where a table or an array came from.
enum class Origin : std::uint8_t {
  None,           // scalars
  Root,           // the top-level table
  Header,         // a table defined by its own header [a.b]
  Implicit,       // a table only named inside longer headers (a of [a.b])
  ArrayTable,     // one table of an array of tables [[a]]
  ArrayOfTables,  // the array made by [[a]] headers
  Dotted,         // a table made by dotted keys (a.b = 1 makes a)
  Inline,         // an inline table { } or an inline array [ ]
};

// Tables given by headers (and the root) are read as tables; inline tables,
// dotted-key tables and inline arrays are read as values.
constexpr bool is_header_table(Origin o) noexcept {
  return o == Origin::Root || o == Origin::Header || o == Origin::Implicit ||
         o == Origin::ArrayTable;
}

class Document;
class Value;

struct DocumentData;

struct Entry {
  std::string_view key;    // decoded; empty for array elements and deferred errors
  std::size_t key_offset;  // where the key (or the element) starts
  const DocumentData* doc;
  std::uint32_t value_index;

  Value value() const noexcept;
};

// Iterates the entries of a table or the elements of an array.
class EntryIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = Entry;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = Entry;

  EntryIterator() = default;
  EntryIterator(const DocumentData* doc, std::uint32_t index) noexcept : doc_(doc), index_(index) {}
  Entry operator*() const noexcept;
  EntryIterator& operator++() noexcept;
  EntryIterator operator++(int) noexcept {
    EntryIterator old = *this;
    ++*this;
    return old;
  }
  friend bool operator==(const EntryIterator& a, const EntryIterator& b) noexcept {
    return a.index_ == b.index_;
  }

 private:
  const DocumentData* doc_ = nullptr;
  std::uint32_t index_ = 0;
};

struct EntryRange {
  EntryIterator first, last;
  EntryIterator begin() const noexcept { return first; }
  EntryIterator end() const noexcept { return last; }
};

// A value of the document (a handle: cheap to copy, valid while the document
// lives; moving the document keeps it valid).
class Value {
 public:
  Value(const DocumentData* doc, std::uint32_t index) noexcept : doc_(doc), index_(index) {}

  Kind kind() const noexcept;
  Origin origin() const noexcept;
  // Byte offset where the value starts. A header table: its first header; a
  // dotted-key table: the value of its first line; a deferred error: the
  // header it was found at.
  std::size_t offset() const noexcept;

  bool is_table() const noexcept { return kind() == Kind::Table; }
  bool is_array() const noexcept { return kind() == Kind::Array; }
  bool is_datetime() const noexcept {
    Kind k = kind();
    return k == Kind::OffsetDateTime || k == Kind::LocalDateTime || k == Kind::LocalDate ||
           k == Kind::LocalTime;
  }

  // String: the decoded text. Date-time kinds: the text as written.
  // Deferred: the error message.
  std::string_view text() const noexcept;
  std::int64_t integer() const noexcept;
  double floating() const noexcept;
  bool boolean() const noexcept;

  // Tables: their entries; arrays: their elements (with empty keys).
  std::size_t size() const noexcept;
  EntryRange entries() const noexcept;
  // True when a deferred error lies somewhere below this table or array.
  bool holds_deferred() const noexcept;

  std::uint32_t index() const noexcept { return index_; }
  friend bool operator==(const Value& a, const Value& b) noexcept {
    return a.doc_ == b.doc_ && a.index_ == b.index_;
  }

 private:
  const DocumentData* doc_;
  std::uint32_t index_;
};

// A parsed document. It refers to the text it was parsed from (strings without
// escapes are views into it): keep the text alive while the document is used.
class Document {
 public:
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  Value root() const noexcept { return Value(data_.get(), 0); }
  std::string_view text() const noexcept;
  // Where failures that belong to no value are reported: the last table
  // header of the document; offset 0 when there is no header but the root
  // has key/value lines; none for a document without either.
  std::optional<std::size_t> last_table_offset() const noexcept;
  // The first deferred error in walk order, if any.
  std::optional<Error> first_deferred() const;

  // The parser fills the data.
  explicit Document(std::unique_ptr<DocumentData> data) noexcept;

 private:
  std::unique_ptr<DocumentData> data_;
};

// Reads a whole TOML 1.0 text. A syntax error, invalid UTF-8, a nesting
// deeper than kMaxDepth or a forbidden redefinition by key/value lines ends
// the reading with an error (its offset set); running out of memory throws
// std::bad_alloc.
std::variant<Document, Error> parse(std::string_view text);

// ---------------------------------------------------------------------------
// Writing.

// The pieces of the record writer (write_record), for other TOML writers too.
// A basic string: quotation mark, backslash, the control characters and DEL
// escaped (\b \t \n \f \r \" \\, the others as \u00XX).
void append_string(std::string& out, std::string_view s);
// A key that may be written bare: not empty (an empty key must be quoted to be
// read back) and made of A-Z a-z 0-9 - _ only.
constexpr bool is_bare_key(std::string_view key) noexcept {
  if (key.empty()) return false;
  for (char c : key) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) {
      return false;
    }
  }
  return true;
}
// A key: bare when it may be, otherwise a basic string. (Inline: the printers
// write one per entry.)
inline void append_key(std::string& out, std::string_view key) {
  if (is_bare_key(key)) {
    out += key;
  } else {
    append_string(out, key);
  }
}
// A table header "[a.b]\n" or an array-of-tables header "[[a.b]]\n", after a
// blank line when `blank_line`.
void append_header(std::string& out, std::span<const std::string_view> path, bool array, bool blank_line);

// A value with no TOML form (a null).
inline formats::WriteError unsupported_type_error() {
  return formats::WriteError{"unsupported Rust type", "UnsupportedType"};
}

// ---------------------------------------------------------------------------
// Records (record/record.hpp).

// The reader of formats/format.hpp: the document's top-level table by keys.
// A nested record may be a sub-table, one table of an array of tables, an
// inline table, dotted keys, or (given as a value only) a positional inline
// array; a date-time where a record is expected reads as a table with no known
// key. A failure's message ends with its key path (" for key `a.b`") and
// position (" at line L column C").
bool read_record(std::string_view text, const record::RecordDef& def, void* record, std::string& error);

// Appends the record as a TOML document, written straight from the record: in
// every table first the plain entries (neither tables nor arrays of tables),
// then the arrays of tables (one [[a.b]] section per element), then the
// sub-tables (one [a.b] section each; a table holding only tables or arrays of
// tables gets no header of its own), each group in byte order of the keys. An
// unset optional text that its table writes anyway has no TOML form: the error
// is returned ("unsupported Rust type", debug "UnsupportedType") and nothing is
// appended.
std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
                                                const void* record);

}  // namespace qv::toml
