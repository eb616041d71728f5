#pragma once
// YAML documents on libyaml.
//
// Reading: `load` parses the first document of a text into a flat list of
// parse events (scalars, aliases, starts and ends of sequences and mappings),
// each alias already bound to the event of the node it names. A `Walker` steps
// through those events for the record readers: it follows aliases (counting
// them against the repetition limit), spends and gives back the nesting
// allowance, skips whole nodes without recursion, and builds the error texts
// with their key path before the message and the line and column after it.
//
// Writing: `Emitter` is a thin owner of a libyaml emitter that appends one
// document to a std::string and chooses each text scalar's style so that
// every text it writes reads back as the same text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "formats/format.hpp"
#include "record/record.hpp"

struct yaml_emitter_s;

namespace qv::yaml {

// A place in the text as libyaml counts it: index, line and column from 0.
struct Mark {
  uint64_t index = 0;
  uint64_t line = 0;
  uint64_t column = 0;
};

enum class ScalarStyle : uint8_t { Plain, SingleQuoted, DoubleQuoted, Literal, Folded };

enum class EventKind : uint8_t {
  Void,  // the whole document holds no node at all
  Scalar,
  Alias,
  SequenceStart,
  SequenceEnd,
  MappingStart,
  MappingEnd,
};

struct Event {
  EventKind kind = EventKind::Void;
  ScalarStyle style = ScalarStyle::Plain;  // scalars only
  bool flow = false;                       // collections written in flow style
  uint32_t tag = 0;                        // index into the document's tags; 0: none
  uint32_t offset = 0;  // scalars: start of the value in the document's text;
                        // aliases: index of the event of the node named
  uint32_t length = 0;  // scalars: length of the value
  // Where the node (or the alias) begins.
  uint32_t index = 0;
  uint32_t line = 0;
  uint32_t column = 0;

  Mark mark() const noexcept { return Mark{index, line, column}; }
};
static_assert(std::is_trivially_copyable_v<Event> && std::is_trivially_destructible_v<Event>);

// The events of a document, in blocks of fixed size: growing never copies,
// and the blocks are small enough for the allocator to reuse them from one
// read to the next.
class EventList {
 public:
  static constexpr std::size_t kBlockBits = 15;
  static constexpr std::size_t kBlock = std::size_t{1} << kBlockBits;

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const Event& operator[](std::size_t i) const noexcept {
    return blocks_[i >> kBlockBits][i & (kBlock - 1)];
  }
  void push_back(const Event& e) {
    if ((size_ & (kBlock - 1)) == 0)
      blocks_.emplace_back(static_cast<Event*>(::operator new(sizeof(Event) * kBlock)));
    std::construct_at(&blocks_.back()[size_ & (kBlock - 1)], e);
    ++size_;
  }

  class const_iterator {
   public:
    const_iterator(const EventList* l, std::size_t i) noexcept : list_(l), i_(i) {}
    const Event& operator*() const noexcept { return (*list_)[i_]; }
    const_iterator& operator++() noexcept {
      ++i_;
      return *this;
    }
    bool operator!=(const const_iterator& o) const noexcept { return i_ != o.i_; }

   private:
    const EventList* list_;
    std::size_t i_;
  };
  const_iterator begin() const noexcept { return {this, 0}; }
  const_iterator end() const noexcept { return {this, size_}; }

 private:
  // Raw storage: events are trivially copyable and destructible.
  struct Release {
    void operator()(Event* p) const noexcept { ::operator delete(p); }
  };
  std::vector<std::unique_ptr<Event[], Release>> blocks_;
  std::size_t size_ = 0;
};

// A failure of reading or writing. Reader messages ("invalid type: ...") get
// the place and key path of the first node that reports them; the texts of
// libyaml and of the loader's limits carry their own place and no key path.
class Error {
 public:
  static Error message(std::string text);
  static Error fixed(std::string text);
  // "text at line L column C", the place left out when it is line 1, column 1.
  static Error at(std::string_view text, const Mark& mark);

  // One pointer wide, so that a successful step costs little to return.
  Error(const Error& other) : d_(std::make_unique<Data>(*other.d_)) {}
  Error& operator=(const Error& other) {
    d_ = std::make_unique<Data>(*other.d_);
    return *this;
  }
  Error(Error&&) noexcept = default;
  Error& operator=(Error&&) noexcept = default;
  ~Error() = default;

  bool is_message() const noexcept { return d_->is_message; }
  bool has_position() const noexcept { return d_->has_position; }
  // Gives a reader message its place, once; other errors are left as they are.
  void fix_position(const Mark& mark, std::string path);
  // The message without decorations.
  const std::string& message() const noexcept { return d_->text; }
  // The text the caller sees: "path: message at line L column C".
  std::string text() const;

 private:
  struct Data {
    std::string text;
    std::string path;
    Mark mark;
    bool is_message = false;
    bool has_position = false;
  };
  explicit Error(std::unique_ptr<Data> d) noexcept : d_(std::move(d)) {}
  std::unique_ptr<Data> d_;
};

// Success, or the error that ended the step.
using Status = std::optional<Error>;

class Document {
 public:
  EventList events;
  // The failure met while loading after the last event (a syntax error, an
  // unknown anchor, the nesting cap); reported when a reader needs an event
  // past the last one, or after an otherwise successful read.
  std::optional<Error> error;
  // A second document follows the first one.
  bool more_documents = false;

  std::string_view value(const Event& e) const noexcept {
    return std::string_view(text_).substr(e.offset, e.length);
  }
  std::string_view tag(const Event& e) const noexcept { return tags_[e.tag]; }
  // True for an unquoted scalar with no characters (a key or item written with
  // no value, or a document of only "---").
  bool is_empty_plain(const Event& e) const noexcept {
    return e.kind == EventKind::Scalar && e.style == ScalarStyle::Plain && e.length == 0;
  }

 private:
  friend class Loader;
  std::string text_;                 // the values of all scalars, one after another
  std::vector<std::string> tags_{""};
};

// Collections the loader follows inside one another in flow style ("[" and
// "{"). libyaml's scanner spends time in proportion to this depth on every
// token, so deeper flow nesting stops loading with "recursion limit exceeded".
inline constexpr std::size_t kFlowNestingCap = 256;
// The nesting allowance of a record read.
inline constexpr int kRecursionLimit = 128;
// Aliases followed per event of the document.
inline constexpr uint64_t kRepetitionFactor = 100;
// Events walked through aliases: at least kExpansionFloor, and up to
// kExpansionFactor per event of the document, so that a small document cannot
// make a read walk one large node again and again.
inline constexpr uint64_t kExpansionFloor = 1'000'000;
inline constexpr uint64_t kExpansionFactor = 10;

// Loads the first document of the text (which must be UTF-8) and looks whether
// another one follows. Never fails: what went wrong is kept in `error`, after
// the events read before it; only running out of memory throws std::bad_alloc.
// Texts of kMaxText bytes or more are refused.
inline constexpr std::size_t kMaxText = std::size_t{1} << 31;
Document load(std::string_view text);

// The key path of a node: keys joined by ".", sequence positions in "[i]".
// Paths are chained on the stack and rendered only for an error.
class Path {
 public:
  static Path root() noexcept { return Path(); }
  Path key(std::string_view k) const noexcept { return Path(this, Kind::Key, k, 0); }
  Path index(std::size_t i) const noexcept { return Path(this, Kind::Index, {}, i); }
  // The value of a key that is not a scalar.
  Path unknown() const noexcept { return Path(this, Kind::Unknown, {}, 0); }
  // "." for the root.
  std::string to_string() const;

 private:
  enum class Kind : uint8_t { Root, Key, Index, Unknown };
  Path() = default;
  Path(const Path* parent, Kind kind, std::string_view key, std::size_t index) noexcept
      : parent_(parent), kind_(kind), key_(key), index_(index) {}
  void append(std::string& out) const;
  void append_parent(std::string& out) const;

  const Path* parent_ = nullptr;
  Kind kind_ = Kind::Root;
  std::string_view key_;
  std::size_t index_ = 0;
};

// Counters shared by every walker of one read.
struct WalkState {
  const Document* doc = nullptr;
  uint64_t jumps = 0;     // aliases followed
  uint64_t expanded = 0;  // events taken through aliases
  uint64_t jump_limit = 0;
  uint64_t expansion_limit = 0;
  int remaining_depth = kRecursionLimit;

  explicit WalkState(const Document& d);
};

class Walker {
 public:
  explicit Walker(WalkState& state) noexcept : state_(&state) {}

  const Document& doc() const noexcept { return *state_->doc; }
  std::string_view value(const Event& e) const noexcept { return state_->doc->value(e); }

  // The next event, without or with taking it. Past the last event: the
  // document's load error, or "EOF while parsing a value".
  Status peek(const Event*& out) const;
  Status next(const Event*& out);
  // A walker standing at the node that `alias` names (counted against the
  // repetition limit); the caller's walker has already taken the alias.
  Status jump(const Event& alias, Walker& out);
  // Counts one alias looked through without being followed.
  Status count_jump();
  // Takes one whole node, aliases not followed, iteratively at any depth.
  Status skip();
  // Spends one level of the nesting allowance for a collection that begins at
  // `mark`; `leave` gives it back.
  Status enter(const Mark& mark);
  void leave() noexcept { ++state_->remaining_depth; }

 private:
  WalkState* state_;
  std::size_t pos_ = 0;
  bool aliased_ = false;
};

// ---- Scalar resolution (the YAML 1.2 core schema as the readers apply it) ----

bool is_null_word(std::string_view v) noexcept;          // ~ null Null NULL
std::optional<bool> parse_bool(std::string_view v) noexcept;
// Leading zeros followed by digits only: a text, not a number ("007").
bool digits_but_not_number(std::string_view v) noexcept;
// Decimal, 0x, 0o and 0b notations, an optional "+"; nothing beyond 64 bits.
std::optional<uint64_t> parse_unsigned(std::string_view v) noexcept;
std::optional<int64_t> parse_negative(std::string_view v) noexcept;
std::optional<unsigned __int128> parse_unsigned_wide(std::string_view v) noexcept;
std::optional<__int128> parse_negative_wide(std::string_view v) noexcept;
// A finite float (decimal notation, optional exponent), or .inf / .nan forms.
std::optional<double> parse_float(std::string_view v) noexcept;

// The standard tags as libyaml resolves them.
inline constexpr std::string_view kTagNull = "tag:yaml.org,2002:null";
inline constexpr std::string_view kTagBool = "tag:yaml.org,2002:bool";
inline constexpr std::string_view kTagInt = "tag:yaml.org,2002:int";
inline constexpr std::string_view kTagFloat = "tag:yaml.org,2002:float";

// ---- Reader messages ----

// How a scalar is named in "invalid type" messages: "unit value",
// "boolean `true`", "integer `5`", "floating point `1.5`", "string \"web\"".
// A scalar whose standard tag does not fit its text yields the "invalid
// value" error of that tag instead (the second member).
struct Unexpected {
  std::string text;
  std::optional<Error> tag_error;
};
Unexpected describe_scalar(const Document& doc, const Event& e);

// "invalid type: <what was found>, expected <expected>" for a scalar, sequence
// or mapping event.
Error invalid_type(const Document& doc, const Event& e, std::string_view expected);
Error invalid_value(std::string_view found, std::string_view expected);
Error invalid_length(std::size_t len, std::string_view expected);
Error missing_field(std::string_view key);
Error duplicate_field(std::string_view key);
// "sequence of 1 element", "sequence of N elements".
std::string sequence_of(std::size_t n);

// Gives an error without a place the mark and path of the node that failed.
inline Status fix_position(Status st, const Mark& mark, const Path& path) {
  if (st && st->is_message() && !st->has_position()) st->fix_position(mark, path.to_string());
  return st;
}

// ---- Value readers over a walker (each takes one node) ----

// Any scalar, as written: `out` views the document's text.
Status read_str(Walker& w, const Path& path, std::string_view expected, std::string_view& out);
// A null scalar (plain and untagged, empty or a null word; or plain, tagged
// null and a null word) gives no text; any other node is read as `read_str`.
Status read_optional_str(Walker& w, const Path& path, std::string_view expected,
                         std::optional<std::string_view>& out);
// An unquoted true/True/TRUE/false/False/FALSE (untagged or tagged bool).
Status read_bool(Walker& w, const Path& path, std::string_view expected, bool& out);
// An unquoted unsigned integer within `max` (untagged or tagged int); above
// it, "invalid value: integer `N`, expected <expected>".
Status read_unsigned(Walker& w, const Path& path, std::string_view expected, uint64_t max,
                     uint64_t& out);

// Reads a sequence element by element: `element(w, path_of_element)` must
// take exactly one node or fail. An empty plain scalar (or an empty document)
// reads as an empty sequence.
template <class Element>
Status read_seq(Walker& w, const Path& path, std::string_view expected, Element&& element);

// Reads a sequence of exactly `n` nodes: `element(w, path_of_element, i)` takes
// node i. Fewer nodes fail with "invalid length <found>, expected <expected>";
// more are skipped and counted, and fail with "invalid length <total>,
// expected sequence of <n> elements".
template <class Element>
Status read_tuple(Walker& w, const Path& path, std::string_view expected, std::size_t n,
                  Element&& element);

// Reads a mapping: `entry(w, key, path_of_value)` gets each key already read
// as a text and must take its value; `end()` runs after the last entry and
// reports missing fields. An empty plain scalar or an empty document counts as
// a mapping with no entries (only `end()` runs). A key that is a sequence or a
// mapping fails with "invalid type: ..., expected field identifier".
template <class Entry, class End>
Status read_map(Walker& w, const Path& path, std::string_view expected, Entry&& entry,
                End&& end);

// Loads the text and reports its load error or a second document; only a text
// that holds exactly one well-formed document has its root node read with
// `root(w, Path::root())`.
template <class Root>
Status read_document(std::string_view text, Root&& root);

// ---- Writing ----

// A text scalar's style that reads back as the same text: literal for texts
// with line feeds, single quotes for texts a YAML 1.1 or 1.2 reader would
// resolve to something else (empty, null words, booleans including yes/no/
// on/off, numbers in any notation, timestamps, "<<", "="), double quotes for
// other line breaks, and libyaml's own choice otherwise.
enum class TextStyle : uint8_t { Any, SingleQuoted, DoubleQuoted, Literal };
TextStyle text_style(std::string_view text);
bool resolves_as_non_text(std::string_view text);

class Emitter {
 public:
  // Starts the stream; the document starts with the first node. Output is
  // appended to `out` (block style, indent 2, unlimited width, UTF-8). Running
  // out of memory, here or in any call, throws std::bad_alloc.
  explicit Emitter(std::string& out);
  ~Emitter();
  Emitter(const Emitter&) = delete;
  Emitter& operator=(const Emitter&) = delete;

  Status begin_mapping();
  Status end_mapping();
  Status begin_sequence();
  Status end_sequence();
  Status text(std::string_view value);
  // A plain null ("null"), which reads back as no value.
  Status null();
  Status integer(uint64_t value);
  Status boolean(bool value);
  // Ends the document and the stream and flushes everything into `out`.
  Status finish();

 private:
  Status emit_scalar(std::string_view value, int style);
  Status start_document();
  Status check(int ok, const char* what);  // running out of memory throws std::bad_alloc
  bool out_of_memory() const noexcept;

  yaml_emitter_s* emitter_;
  bool document_started_ = false;
  bool failed_ = false;
};

// ---- Records over their field tables ----

// Reads the node as a record of `def`: a mapping by keys (an empty plain
// scalar or an empty document is a mapping with no entries); unknown keys are
// skipped with their values; a known key repeated fails before its value.
Status read_record_node(Walker& w, const Path& path, const record::RecordDef& def, void* record);

// The reader of formats/format.hpp: the text holds exactly one document, read
// as one record of `def` into `record` (a value-initialised value of the
// record's type); a failure's message is decorated (path, place).
bool read_record(std::string_view text, const record::RecordDef& def, void* record,
                 std::string& error);

// Emits the record as one mapping of its written fields in table order.
Status emit_record(Emitter& e, const record::RecordDef& def, const void* record);

// Appends the record as one YAML document; on failure (a text that is not
// UTF-8) the emitter's message, which is also the error's debug form.
std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
                                                const void* record);

// ============================ implementation ============================

template <class Element>
Status read_seq(Walker& w, const Path& path, std::string_view expected, Element&& element) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Mark mark = e->mark();
  Status st;
  if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_seq(sub, path, expected, element);  // an alias leaves the path as it is
  } else if (e->kind == EventKind::SequenceStart) {
    if ((st = w.enter(mark))) return st;
    std::size_t index = 0;
    for (;;) {
      const Event* p = nullptr;
      if ((st = w.peek(p))) break;
      if (p->kind == EventKind::SequenceEnd || p->kind == EventKind::Void) break;
      Path ep = path.index(index++);
      if ((st = element(w, ep))) break;
    }
    w.leave();
    if (!st) st = w.next(e);  // the sequence's end
  } else if (e->kind == EventKind::Void || w.doc().is_empty_plain(*e)) {
    // an empty sequence
  } else {
    st = invalid_type(w.doc(), *e, expected);
  }
  return fix_position(std::move(st), mark, path);
}

template <class Entry, class End>
Status read_map(Walker& w, const Path& path, std::string_view expected, Entry&& entry,
                End&& end) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Mark mark = e->mark();
  Status st;
  if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_map(sub, path, expected, entry, end);
  } else if (e->kind == EventKind::MappingStart) {
    if ((st = w.enter(mark))) return st;
    for (;;) {
      const Event* k = nullptr;
      if ((st = w.peek(k))) break;
      if (k->kind == EventKind::MappingEnd || k->kind == EventKind::Void) break;
      // The key, read as a text; its errors carry the key's place and the
      // mapping's path.
      bool scalar_key = k->kind == EventKind::Scalar;
      std::string_view key;
      if ((st = read_str(w, path, "field identifier", key))) break;
      // The value's path names the key; a key given through an alias is "?".
      Path vp = scalar_key ? path.key(key) : path.unknown();
      if ((st = entry(w, key, vp))) break;
    }
    if (!st) st = end();
    w.leave();
    if (!st) st = w.next(e);  // the mapping's end
  } else if (e->kind == EventKind::Void || w.doc().is_empty_plain(*e)) {
    st = end();
  } else {
    st = invalid_type(w.doc(), *e, expected);
  }
  return fix_position(std::move(st), mark, path);
}

template <class Element>
Status read_tuple(Walker& w, const Path& path, std::string_view expected, std::size_t n,
                  Element&& element) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Mark mark = e->mark();
  Status st;
  if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_tuple(sub, path, expected, n, element);
  } else if (e->kind == EventKind::SequenceStart) {
    if ((st = w.enter(mark))) return st;
    std::size_t count = 0;
    for (; count < n; ++count) {
      const Event* p = nullptr;
      if ((st = w.peek(p))) break;
      if (p->kind == EventKind::SequenceEnd) {
        st = invalid_length(count, expected);
        break;
      }
      Path ep = path.index(count);
      if ((st = element(w, ep, count))) break;
    }
    w.leave();
    // Nodes beyond the n read are counted, then the length is reported.
    std::size_t total = count;
    while (!st) {
      const Event* p = nullptr;
      if ((st = w.peek(p))) break;
      if (p->kind == EventKind::SequenceEnd) break;
      st = w.skip();
      ++total;
    }
    if (!st) st = w.next(e);
    if (!st && total != n) st = invalid_length(total, sequence_of(n));
  } else if (e->kind == EventKind::Void || w.doc().is_empty_plain(*e)) {
    st = invalid_length(0, expected);
  } else {
    st = invalid_type(w.doc(), *e, expected);
  }
  return fix_position(std::move(st), mark, path);
}

template <class Root>
Status read_document(std::string_view text, Root&& root) {
  Document doc = load(text);
  // Faults of the whole text come before any fault of the record in it.
  if (doc.error) return doc.error;
  if (doc.more_documents)
    return Error::fixed("deserializing from YAML containing more than one document is not supported");
  WalkState state(doc);
  Walker w(state);
  return root(w, Path::root());
}

}  // namespace qv::yaml
