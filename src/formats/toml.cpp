// TOML 1.0 reading into the document model of toml.hpp.
#include "formats/toml.hpp"

#include <brelmark/memory.hpp>
#include <brelmark/unicode.hpp>

#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

namespace qv::toml {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Node flags.
constexpr std::uint8_t kHeaderChildren = 1;  // a table or array of tables below comes from a header
constexpr std::uint8_t kDeferredBelow = 2;   // a deferred error lies below
constexpr std::uint8_t kIndexed = 4;         // the table's keys are in the lookup index

struct NodeRec {
  Kind kind;
  Origin origin;
  std::uint8_t flags;
  std::uint8_t depth;
  std::uint32_t offset;
  std::uint32_t first;  // entries of tables and arrays (linked through EntryRec::next)
  std::uint32_t last;
  std::uint32_t count;
  union {
    std::int64_t integer;
    double floating;
    bool boolean;
    struct {
      const char* data;
      std::uint32_t size;
    } text;
  };
};

struct EntryRec {
  const char* key;
  std::uint32_t key_size;
  std::uint32_t key_offset;
  std::uint32_t value;
  std::uint32_t next;
};

// The first entry of each key of the large tables, over all of them: open
// addressing with linear probing, at most half full. A slot keeps its table
// and a 32-bit hash of the table and the key, which places it and spares most
// comparisons of keys; growing moves the slots without touching the entries.
class KeyIndex {
 public:
  std::uint32_t find(const brelmark::LargeVector<EntryRec>& entries, std::uint32_t table,
                     std::string_view key) const noexcept {
    if (slots_.empty()) return kNone;
    return slots_[slot_of(entries, table, key, hash(table, key))].entry;
  }

  // Adds the entry unless its table has the key already (the first one stays).
  void add(const brelmark::LargeVector<EntryRec>& entries, std::uint32_t table, std::string_view key,
           std::uint32_t entry) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const std::uint32_t h = hash(table, key);
    Slot& s = slots_[slot_of(entries, table, key, h)];
    if (s.entry != kNone) return;
    s = Slot{entry, table, h};
    ++used_;
  }

 private:
  struct Slot {
    std::uint32_t entry = kNone;
    std::uint32_t table = 0;
    std::uint32_t hash = 0;
  };

  // The place of the key's slot in its table, else of the empty slot where it would go.
  std::size_t slot_of(const brelmark::LargeVector<EntryRec>& entries, std::uint32_t table, std::string_view key,
                      std::uint32_t h) const noexcept {
    for (std::size_t i = place(h);; i = (i + 1) & mask()) {
      const Slot& s = slots_[i];
      if (s.entry == kNone || (s.hash == h && s.table == table && key_of(entries, s.entry) == key)) return i;
    }
  }

  static std::uint32_t hash(std::uint32_t table, std::string_view key) noexcept {
    std::uint64_t h = std::hash<std::string_view>{}(key) ^ (std::uint64_t{table} * 0x9E3779B97F4A7C15ULL);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }
  static std::string_view key_of(const brelmark::LargeVector<EntryRec>& entries, std::uint32_t e) noexcept {
    return {entries[e].key, entries[e].key_size};
  }
  std::size_t mask() const noexcept { return slots_.size() - 1; }
  // Fibonacci hashing: the top bits of the product pick the slot.
  std::size_t place(std::uint32_t h) const noexcept {
    return static_cast<std::size_t>((std::uint64_t{h} * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
  }

  void grow() {
    brelmark::LargeVector<Slot> old = std::exchange(slots_, {});
    bits_ = old.empty() ? 10 : bits_ + 1;
    slots_.resize(std::size_t{1} << bits_);
    for (const Slot& s : old) {
      if (s.entry == kNone) continue;
      std::size_t i = place(s.hash);
      while (slots_[i].entry != kNone) i = (i + 1) & mask();
      slots_[i] = s;
    }
  }

  brelmark::LargeVector<Slot> slots_;
  std::size_t used_ = 0;
  unsigned bits_ = 0;
};

}  // namespace

struct DocumentData {
  std::string_view text;
  brelmark::LargeVector<NodeRec> nodes;
  brelmark::LargeVector<EntryRec> entries;
  std::optional<std::size_t> last_table;
  bool any_deferred = false;

  // Decoded texts (strings with escapes, error messages).
  std::vector<std::unique_ptr<char[]>> chunks;
  std::size_t chunk_left = 0;
  char* chunk_at = nullptr;

  // Key lookup for large tables, used while parsing.
  KeyIndex index;

  std::string_view store(std::string_view s) {
    if (s.empty()) return {};
    if (s.size() > chunk_left) {
      std::size_t size = s.size() > 16384 ? s.size() : 65536;
      chunks.push_back(std::make_unique<char[]>(size));
      chunk_at = chunks.back().get();
      chunk_left = size;
    }
    char* at = chunk_at;
    std::memcpy(at, s.data(), s.size());
    chunk_at += s.size();
    chunk_left -= s.size();
    return {at, s.size()};
  }
};

// ---------------------------------------------------------------------------
// Errors.

LineCol line_col(std::string_view text, std::size_t offset) noexcept {
  // Lines are split at line feeds; a carriage return belongs to its line.
  std::size_t line = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < text.size() && offset < text.size() + 1) return {line + 1, offset - start + 1};
      // Past the last line: the line after it, column 1.
      return {line + 1, 1};
    }
    if (offset <= nl) return {line + 1, offset - start + 1};
    start = nl + 1;
    ++line;
  }
}

std::string Error::render(std::string_view text) const {
  std::string out = message;
  if (!keys.empty()) {
    out += " for key `";
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i > 0) out += '.';
      out += keys[i];
    }
    out += '`';
  }
  if (offset) {
    LineCol lc = line_col(text, *offset);
    out += " at line ";
    out += std::to_string(lc.line);
    out += " column ";
    out += std::to_string(lc.column);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Document access.

namespace {
const NodeRec& node_of(const DocumentData* d, std::uint32_t i) noexcept { return d->nodes[i]; }
}  // namespace

Value Entry::value() const noexcept { return Value(doc, value_index); }

Entry EntryIterator::operator*() const noexcept {
  const EntryRec& e = doc_->entries[index_];
  return Entry{std::string_view(e.key, e.key_size), e.key_offset, doc_, e.value};
}

EntryIterator& EntryIterator::operator++() noexcept {
  index_ = doc_->entries[index_].next;
  return *this;
}

Kind Value::kind() const noexcept { return node_of(doc_, index_).kind; }
Origin Value::origin() const noexcept { return node_of(doc_, index_).origin; }
std::size_t Value::offset() const noexcept { return node_of(doc_, index_).offset; }
std::string_view Value::text() const noexcept {
  const NodeRec& n = node_of(doc_, index_);
  return {n.text.data, n.text.size};
}
std::int64_t Value::integer() const noexcept { return node_of(doc_, index_).integer; }
double Value::floating() const noexcept { return node_of(doc_, index_).floating; }
bool Value::boolean() const noexcept { return node_of(doc_, index_).boolean; }
std::size_t Value::size() const noexcept {
  const NodeRec& n = node_of(doc_, index_);
  return (n.kind == Kind::Table || n.kind == Kind::Array) ? n.count : 0;
}
EntryRange Value::entries() const noexcept {
  const NodeRec& n = node_of(doc_, index_);
  if (n.kind != Kind::Table && n.kind != Kind::Array) return {{doc_, kNone}, {doc_, kNone}};
  return {{doc_, n.first}, {doc_, kNone}};
}
bool Value::holds_deferred() const noexcept {
  return (node_of(doc_, index_).flags & kDeferredBelow) != 0;
}

Document::Document(std::unique_ptr<DocumentData> data) noexcept : data_(std::move(data)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

std::string_view Document::text() const noexcept { return data_->text; }
std::optional<std::size_t> Document::last_table_offset() const noexcept { return data_->last_table; }

namespace {
// Depth-first search, in walk order, for the first deferred error.
bool find_deferred(Value v, Error& out) {
  for (Entry e : v.entries()) {
    Value child = e.value();
    if (child.kind() == Kind::Deferred) {
      out.message = std::string(child.text());
      out.offset = child.offset();
      return true;
    }
    if (child.holds_deferred() && find_deferred(child, out)) {
      if (!e.key.empty()) out.add_key(e.key);
      return true;
    }
  }
  return false;
}
}  // namespace

std::optional<Error> Document::first_deferred() const {
  if (!data_->any_deferred) return std::nullopt;
  Error e;
  if (find_deferred(root(), e)) return e;
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// The parser.

namespace {

struct Failure {
  Error error;
};

struct KeyPart {
  std::string_view text;
  std::uint32_t offset;
};

// Byte classes for the scanners.
enum : std::uint8_t {
  kPlain = 0,
  kSpecial = 1,  // ends the fast path of a string or comment scan
  kHigh = 2,     // the first byte of a UTF-8 sequence
};

struct Tables {
  std::uint8_t basic[256];    // single-line basic strings
  std::uint8_t literal[256];  // single-line literal strings
  std::uint8_t comment[256];
  bool bare[256];  // bare key characters
  constexpr Tables() : basic(), literal(), comment(), bare() {
    for (int c = 0; c < 256; ++c) {
      bool control = (c < 0x20 && c != '\t') || c == 0x7F;
      std::uint8_t high = c >= 0x80 ? std::uint8_t{kHigh} : std::uint8_t{kPlain};
      basic[c] = control || c == '"' || c == '\\' ? std::uint8_t{kSpecial} : high;
      literal[c] = control || c == '\'' ? std::uint8_t{kSpecial} : high;
      comment[c] = control ? std::uint8_t{kSpecial} : high;
      bare[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '_' || c == '-';
    }
  }
};
constexpr Tables kTables;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool is_hex(char c) noexcept {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hex_value(char c) noexcept {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

std::string join_keys(const KeyPart* parts, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += '.';
    out += parts[i].text;
  }
  return out;
}

std::string quoted(std::string_view key) {
  std::string out = "`";
  out += key;
  out += '`';
  return out;
}

bool days_ok(int year, int month, int day) noexcept {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  int max = kDays[month - 1];
  if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))) max = 29;
  return day <= max;
}

class Parser {
 public:
  explicit Parser(DocumentData& doc)
      : d_(doc),
        begin_(doc.text.data()),
        p_(doc.text.data()),
        end_(doc.text.data() + doc.text.size()) {}

  void run();

 private:
  DocumentData& d_;
  const char* begin_;
  const char* p_;
  const char* end_;
  std::uint32_t current_ = 0;  // the table that takes key/value lines
  bool root_has_values_ = false;
  std::vector<KeyPart> parts_;        // a stack: each key/value line pushes its parts
  std::vector<std::uint32_t> chain_;  // tables and arrays passed by a header
  std::string scratch_;

  std::uint32_t pos() const noexcept { return static_cast<std::uint32_t>(p_ - begin_); }
  std::uint32_t pos(const char* at) const noexcept { return static_cast<std::uint32_t>(at - begin_); }
  bool at_end() const noexcept { return p_ == end_; }
  char peek(std::size_t ahead = 0) const noexcept {
    return static_cast<std::size_t>(end_ - p_) > ahead ? p_[ahead] : '\0';
  }

  [[noreturn]] void fail(std::uint32_t at, std::string message) const {
    Failure f;
    f.error.message = std::move(message);
    f.error.offset = at;
    throw f;
  }
  [[noreturn]] void expected(std::string_view what) const {
    std::string m = "expected ";
    m += what;
    m += ", found ";
    m += found();
    fail(pos(), std::move(m));
  }
  std::string found() const;
  std::string char_text(const char* at) const;  // "a character `c`"

  // Nodes and entries.
  std::uint32_t new_node(Kind kind, Origin origin, std::uint32_t offset, std::size_t depth) {
    if (depth > kMaxDepth) {
      fail(offset, "nesting deeper than " + std::to_string(kMaxDepth) + " tables and arrays");
    }
    NodeRec n{};
    n.kind = kind;
    n.origin = origin;
    n.depth = static_cast<std::uint8_t>(depth);
    n.offset = offset;
    n.first = n.last = kNone;
    d_.nodes.push_back(n);
    return static_cast<std::uint32_t>(d_.nodes.size() - 1);
  }
  NodeRec& node(std::uint32_t i) noexcept { return d_.nodes[i]; }
  void append(std::uint32_t container, std::string_view key, std::uint32_t key_offset,
              std::uint32_t value);
  std::uint32_t find_first(std::uint32_t table, std::string_view key);
  std::uint32_t last_element(std::uint32_t array) const noexcept {
    return d_.entries[d_.nodes[array].last].value;
  }

  // Lines.
  void skip_ws() noexcept {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
  }
  void skip_comment();
  void end_of_line();
  void skip_blank_space();  // white space, newlines and comments (inside arrays)
  void header();
  void key_value(std::uint32_t table);
  std::size_t parse_key();  // pushes the parts; returns their count
  KeyPart simple_key();
  void insert_pair(std::uint32_t table, std::size_t first_part, std::size_t count,
                   std::uint32_t value);
  void open_table(std::size_t count, bool array, std::uint32_t at);
  void defer(std::uint32_t table, std::string message, std::uint32_t at);

  // Values.
  std::uint32_t value(std::size_t depth);
  std::uint32_t array(std::size_t depth);
  std::uint32_t inline_table(std::size_t depth);
  std::uint32_t scalar_text(Kind kind, std::uint32_t offset, std::string_view text, std::size_t depth) {
    std::uint32_t n = new_node(kind, Origin::None, offset, depth);
    node(n).text.data = text.data();
    node(n).text.size = static_cast<std::uint32_t>(text.size());
    return n;
  }
  std::uint32_t number_or_datetime(std::size_t depth);
  std::uint32_t number(std::size_t depth);
  std::uint32_t datetime(std::size_t depth);
  void check_delimiter(std::string_view what);
  std::string_view basic_string(bool allow_multiline);
  std::string_view literal_string(bool allow_multiline);
  std::string_view multiline_basic(const char* start);
  std::string_view multiline_literal(const char* start);
  // A line break (CRLF kept as LF) or one character of a multi-line string into scratch_; `table`
  // is the single-line table of its kind of string, whose refused characters it refuses.
  void multiline_char(const std::uint8_t (&table)[256]);
  void skip_opening_newline();
  bool quote_run(char quote);
  void escape(std::string& out);
  std::size_t utf8(const char* at);
};

std::string Parser::found() const {
  if (at_end()) return "eof";
  char c = *p_;
  switch (c) {
    case '\n':
      return "a newline";
    case '\r':
      return peek(1) == '\n' ? "a newline" : "a carriage return";
    case ' ':
    case '\t':
      return "whitespace";
    case '#':
      return "a comment";
    case '=':
      return "an equals";
    case '.':
      return "a period";
    case ',':
      return "a comma";
    case ':':
      return "a colon";
    case '+':
      return "a plus";
    case '{':
      return "a left brace";
    case '}':
      return "a right brace";
    case '[':
      return "a left bracket";
    case ']':
      return "a right bracket";
    case '"':
    case '\'':
      return "a string";
    default:
      break;
  }
  if (kTables.bare[static_cast<unsigned char>(c)]) return "an identifier";
  return char_text(p_);
}

std::string Parser::char_text(const char* at) const {
  auto u = static_cast<unsigned char>(*at);
  if (u < 0x20 || u == 0x7F) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s = "a character `\\u{";
    if (u >= 0x10) s += kHex[u >> 4];
    s += kHex[u & 15];
    return s + "}`";
  }
  if (u >= 0x80) {
    std::size_t n = brelmark::utf8_sequence_length(at, end_);
    if (n == 0) return "invalid UTF-8";
    return "a character `" + std::string(at, n) + "`";
  }
  return std::string("a character `") + *at + "`";
}

// The length of the well-formed UTF-8 sequence at `at`; "invalid UTF-8" where none starts.
std::size_t Parser::utf8(const char* at) {
  std::size_t n = brelmark::utf8_sequence_length(at, end_);
  if (n == 0) fail(pos(at), "invalid UTF-8");
  return n;
}

void Parser::append(std::uint32_t container, std::string_view key, std::uint32_t key_offset,
                    std::uint32_t value) {
  auto e = static_cast<std::uint32_t>(d_.entries.size());
  d_.entries.push_back(EntryRec{key.data(), static_cast<std::uint32_t>(key.size()), key_offset, value, kNone});
  NodeRec& c = node(container);
  if (c.last == kNone) {
    c.first = e;
  } else {
    d_.entries[c.last].next = e;
  }
  c.last = e;
  ++c.count;
  if (c.flags & kIndexed) d_.index.add(d_.entries, container, key, e);
}

std::uint32_t Parser::find_first(std::uint32_t table, std::string_view key) {
  NodeRec& t = node(table);
  constexpr std::uint32_t kLinear = 24;
  if (!(t.flags & kIndexed)) {
    if (t.count <= kLinear) {
      for (std::uint32_t e = t.first; e != kNone; e = d_.entries[e].next) {
        const EntryRec& r = d_.entries[e];
        if (r.key_size == key.size() && (key.empty() || std::memcmp(r.key, key.data(), key.size()) == 0)) return e;
      }
      return kNone;
    }
    t.flags |= kIndexed;
    for (std::uint32_t e = t.first; e != kNone; e = d_.entries[e].next) {
      const EntryRec& r = d_.entries[e];
      d_.index.add(d_.entries, table, std::string_view(r.key, r.key_size), e);
    }
  }
  return d_.index.find(d_.entries, table, key);
}

// ---------------------------------------------------------------------------
// Lines.

void Parser::run() {
  if (d_.text.size() > 0xFFFFFFF0u) fail(0, "document larger than 4 GiB");
  d_.nodes.reserve(d_.text.size() / 16 + 8);
  d_.entries.reserve(d_.text.size() / 16 + 8);
  new_node(Kind::Table, Origin::Root, 0, 0);
  if (d_.text.size() >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
  while (true) {
    skip_ws();
    if (at_end()) break;
    char c = *p_;
    if (c == '\n') {
      ++p_;
      continue;
    }
    if (c == '\r' || c == '#') {
      end_of_line();
      continue;
    }
    if (c == '[') {
      header();
    } else {
      key_value(current_);
      if (current_ == 0) root_has_values_ = true;
    }
    end_of_line();
  }
  if (!d_.last_table && root_has_values_) d_.last_table = 0;
}

void Parser::skip_comment() {
  // At '#': up to the end of the line. Tabs are allowed, other controls not.
  const char* at = ++p_;
  while (at != end_) {
    std::uint8_t cls = kTables.comment[static_cast<unsigned char>(*at)];
    if (cls == kPlain) {
      ++at;
    } else if (cls == kHigh) {
      at += utf8(at);
    } else {
      break;
    }
  }
  p_ = at;
  if (at_end() || *p_ == '\n' || (*p_ == '\r' && peek(1) == '\n')) return;
  fail(pos(), "control character in comment: " + found());
}

void Parser::end_of_line() {
  skip_ws();
  if (at_end()) return;
  if (*p_ == '#') skip_comment();
  if (at_end()) return;
  if (*p_ == '\n') {
    ++p_;
    return;
  }
  if (*p_ == '\r' && peek(1) == '\n') {
    p_ += 2;
    return;
  }
  expected("a newline");
}

void Parser::skip_blank_space() {
  while (!at_end()) {
    char c = *p_;
    if (c == ' ' || c == '\t' || c == '\n') {
      ++p_;
    } else if (c == '\r' && peek(1) == '\n') {
      p_ += 2;
    } else if (c == '#') {
      skip_comment();
    } else {
      return;
    }
  }
}

KeyPart Parser::simple_key() {
  std::uint32_t at = pos();
  if (at_end()) expected("a table key");
  char c = *p_;
  if (kTables.bare[static_cast<unsigned char>(c)]) {
    const char* s = p_;
    while (p_ != end_ && kTables.bare[static_cast<unsigned char>(*p_)]) ++p_;
    return {std::string_view(s, static_cast<std::size_t>(p_ - s)), at};
  }
  if (c == '"') return {basic_string(false), at};
  if (c == '\'') return {literal_string(false), at};
  expected("a table key");
}

std::size_t Parser::parse_key() {
  std::size_t count = 0;
  while (true) {
    parts_.push_back(simple_key());
    if (++count > kMaxDepth) {
      fail(parts_.back().offset, "nesting deeper than " + std::to_string(kMaxDepth) + " tables and arrays");
    }
    skip_ws();
    if (!at_end() && *p_ == '.') {
      ++p_;
      skip_ws();
      continue;
    }
    return count;
  }
}

void Parser::key_value(std::uint32_t table) {
  std::size_t first = parts_.size();
  std::size_t count = parse_key();
  if (at_end() || *p_ != '=') expected("an equals");
  ++p_;
  skip_ws();
  std::uint32_t v = value(node(table).depth + count);
  insert_pair(table, first, count, v);
  parts_.resize(first);
}

void Parser::insert_pair(std::uint32_t table, std::size_t first, std::size_t count,
                         std::uint32_t value) {
  std::uint32_t t = table;
  for (std::size_t i = first; i + 1 < first + count; ++i) {
    const KeyPart& k = parts_[i];
    std::uint32_t e = find_first(t, k.text);
    if (e == kNone) {
      std::uint32_t nt = new_node(Kind::Table, Origin::Dotted, node(value).offset, node(t).depth + 1u);
      append(t, k.text, k.offset, nt);
      t = nt;
      continue;
    }
    std::uint32_t existing = d_.entries[e].value;
    const NodeRec& n = node(existing);
    if (n.kind == Kind::Table && n.origin == Origin::Dotted) {
      t = existing;
    } else if ((n.kind == Kind::Table && is_header_table(n.origin)) ||
               (n.kind == Kind::Array && n.origin == Origin::ArrayOfTables)) {
      fail(k.offset, "dotted key " + quoted(k.text) + " attempted to extend a table defined by a header");
    } else {
      fail(n.offset, "dotted key attempted to extend non-table type");
    }
  }
  const KeyPart& last = parts_[first + count - 1];
  if (node(t).flags & kHeaderChildren) {
    std::uint32_t e = find_first(t, last.text);
    if (e != kNone) {
      const NodeRec& n = node(d_.entries[e].value);
      if ((n.kind == Kind::Table && is_header_table(n.origin)) ||
          (n.kind == Kind::Array && n.origin == Origin::ArrayOfTables)) {
        fail(last.offset, "duplicate key " + quoted(last.text));
      }
    }
  }
  append(t, last.text, last.offset, value);
}

void Parser::header() {
  std::uint32_t at = pos();
  ++p_;
  bool array = false;
  if (!at_end() && *p_ == '[') {
    array = true;
    ++p_;
  }
  skip_ws();
  std::size_t first = parts_.size();
  std::size_t count = parse_key();
  if (at_end() || *p_ != ']') expected("a right bracket");
  ++p_;
  if (array) {
    if (at_end() || *p_ != ']') expected("a right bracket");
    ++p_;
  }
  d_.last_table = at;
  open_table(count, array, at);
  parts_.resize(first);
}

void Parser::defer(std::uint32_t table, std::string message, std::uint32_t at) {
  std::string_view text = d_.store(message);
  std::uint32_t n = new_node(Kind::Deferred, Origin::None, at, 0);
  node(n).text.data = text.data();
  node(n).text.size = static_cast<std::uint32_t>(text.size());
  append(table, {}, at, n);
  node(table).flags |= kDeferredBelow;
  for (std::uint32_t c : chain_) node(c).flags |= kDeferredBelow;
  d_.any_deferred = true;
  // The lines below the header go to a table that nothing refers to.
  current_ = new_node(Kind::Table, Origin::Header, at, 1);
}

void Parser::open_table(std::size_t count, bool array, std::uint32_t at) {
  const KeyPart* parts = parts_.data() + (parts_.size() - count);
  chain_.clear();
  std::uint32_t t = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    chain_.push_back(t);
    const KeyPart& k = parts[i];
    std::uint32_t e = find_first(t, k.text);
    if (e == kNone) {
      std::uint32_t nt = new_node(Kind::Table, Origin::Implicit, at, node(t).depth + 1u);
      append(t, k.text, k.offset, nt);
      node(t).flags |= kHeaderChildren;
      t = nt;
      continue;
    }
    std::uint32_t existing = d_.entries[e].value;
    const NodeRec& n = node(existing);
    if (n.kind == Kind::Table && n.origin != Origin::Inline) {
      t = existing;
    } else if (n.kind == Kind::Array && n.origin == Origin::ArrayOfTables) {
      chain_.push_back(existing);
      t = last_element(existing);
    } else {
      defer(t, "key " + quoted(k.text) + " does not hold a table that a header can extend", at);
      return;
    }
  }
  chain_.push_back(t);
  const KeyPart& k = parts[count - 1];
  std::uint32_t e = find_first(t, k.text);
  if (e == kNone) {
    if (array) {
      std::uint32_t arr = new_node(Kind::Array, Origin::ArrayOfTables, at, node(t).depth + 1u);
      append(t, k.text, k.offset, arr);
      current_ = new_node(Kind::Table, Origin::ArrayTable, at, node(arr).depth + 1u);
      append(arr, {}, at, current_);
    } else {
      current_ = new_node(Kind::Table, Origin::Header, at, node(t).depth + 1u);
      append(t, k.text, k.offset, current_);
    }
    node(t).flags |= kHeaderChildren;
    return;
  }
  std::uint32_t existing = d_.entries[e].value;
  NodeRec& n = node(existing);
  std::string redefinition = "redefinition of table " + quoted(join_keys(parts, count));
  if (n.kind == Kind::Array && n.origin == Origin::ArrayOfTables) {
    if (array) {
      current_ = new_node(Kind::Table, Origin::ArrayTable, at, n.depth + 1u);
      append(existing, {}, at, current_);
    } else {
      chain_.push_back(existing);
      defer(last_element(existing), std::move(redefinition), at);
    }
    return;
  }
  if (n.kind != Kind::Table || n.origin == Origin::Inline) {
    defer(t, "duplicate key " + quoted(k.text), at);
    return;
  }
  switch (n.origin) {
    case Origin::Implicit:
      if (array) {
        defer(existing, "table redefined as array", at);
      } else {
        n.origin = Origin::Header;
        n.offset = at;
        current_ = existing;
      }
      return;
    case Origin::Dotted:
      defer(t, array ? std::string("table redefined as array") : std::move(redefinition), at);
      return;
    default:
      defer(existing, std::move(redefinition), at);
      return;
  }
}

// ---------------------------------------------------------------------------
// Values.

std::uint32_t Parser::value(std::size_t depth) {
  if (at_end()) expected("a value");
  std::uint32_t at = pos();
  switch (*p_) {
    case '"': {
      std::string_view s = basic_string(true);
      return scalar_text(Kind::String, at, s, depth);
    }
    case '\'': {
      std::string_view s = literal_string(true);
      return scalar_text(Kind::String, at, s, depth);
    }
    case '[':
      return array(depth);
    case '{':
      return inline_table(depth);
    case 't':
    case 'f': {
      bool b = *p_ == 't';
      std::string_view word = b ? "true" : "false";
      if (static_cast<std::size_t>(end_ - p_) >= word.size() &&
          std::memcmp(p_, word.data(), word.size()) == 0) {
        p_ += word.size();
        check_delimiter("a boolean");
        std::uint32_t n = new_node(Kind::Boolean, Origin::None, at, depth);
        node(n).boolean = b;
        return n;
      }
      break;
    }
    default:
      if (is_digit(*p_) || *p_ == '+' || *p_ == '-' || *p_ == 'i' || *p_ == 'n') {
        return number_or_datetime(depth);
      }
      break;
  }
  if (kTables.bare[static_cast<unsigned char>(*p_)]) {
    fail(at, "invalid TOML value, did you mean to use a quoted string?");
  }
  expected("a value");
}

void Parser::check_delimiter(std::string_view what) {
  if (at_end()) return;
  switch (*p_) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '#':
    case ',':
    case ']':
    case '}':
      return;
    default:
      fail(pos(), std::string("invalid ") + std::string(what) + ": unexpected " + found());
  }
}

std::uint32_t Parser::array(std::size_t depth) {
  std::uint32_t arr = new_node(Kind::Array, Origin::Inline, pos(), depth);
  ++p_;
  while (true) {
    skip_blank_space();
    if (!at_end() && *p_ == ']') break;
    std::uint32_t at = pos();
    std::uint32_t v = value(depth + 1);
    append(arr, {}, at, v);
    skip_blank_space();
    if (!at_end() && *p_ == ',') {
      ++p_;
      continue;
    }
    if (!at_end() && *p_ == ']') break;
    expected("a comma or a right bracket");
  }
  ++p_;
  return arr;
}

std::uint32_t Parser::inline_table(std::size_t depth) {
  std::uint32_t table = new_node(Kind::Table, Origin::Inline, pos(), depth);
  ++p_;
  skip_ws();
  if (!at_end() && *p_ == '}') {
    ++p_;
    return table;
  }
  while (true) {
    key_value(table);
    skip_ws();
    if (!at_end() && *p_ == '}') {
      ++p_;
      return table;
    }
    if (at_end() || *p_ != ',') expected("a comma or a right brace");
    ++p_;
    skip_ws();
  }
}

std::uint32_t Parser::number_or_datetime(std::size_t depth) {
  std::size_t left = static_cast<std::size_t>(end_ - p_);
  auto digits = [&](std::size_t n) {
    if (left < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
      if (!is_digit(p_[i])) return false;
    }
    return true;
  };
  if ((digits(4) && left > 4 && p_[4] == '-') || (digits(2) && left > 2 && p_[2] == ':')) {
    return datetime(depth);
  }
  return number(depth);
}

std::uint32_t Parser::number(std::size_t depth) {
  std::uint32_t at = pos();
  bool negative = false;
  bool sign = false;
  if (*p_ == '+' || *p_ == '-') {
    negative = *p_ == '-';
    sign = true;
    ++p_;
  }
  auto word = [&](std::string_view w) {
    return static_cast<std::size_t>(end_ - p_) >= w.size() && std::memcmp(p_, w.data(), w.size()) == 0;
  };
  if (word("inf") || word("nan")) {
    bool inf = *p_ == 'i';
    p_ += 3;
    check_delimiter("number");
    std::uint32_t n = new_node(Kind::Float, Origin::None, at, depth);
    double v = inf ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    node(n).floating = negative ? -v : v;
    return n;
  }
  auto bad = [&]() -> std::uint32_t { fail(at, "invalid number"); };
  // Digits of `base` with single underscores between them.
  auto run = [&](int base, std::string* keep) {
    bool any = false;
    bool after_digit = false;
    while (!at_end()) {
      char c = *p_;
      bool ok = base == 16 ? is_hex(c) : (c >= '0' && c < '0' + base);
      if (ok) {
        if (keep) *keep += c;
        any = after_digit = true;
        ++p_;
      } else if (c == '_' && after_digit && p_ + 1 < end_ &&
                 (base == 16 ? is_hex(p_[1]) : (p_[1] >= '0' && p_[1] < '0' + base))) {
        after_digit = false;
        ++p_;
      } else {
        break;
      }
    }
    return any;
  };
  if (!at_end() && *p_ == '0' && (peek(1) == 'x' || peek(1) == 'o' || peek(1) == 'b')) {
    if (sign) bad();
    int base = peek(1) == 'x' ? 16 : peek(1) == 'o' ? 8 : 2;
    p_ += 2;
    scratch_.clear();
    if (!run(base, &scratch_)) bad();
    check_delimiter("number");
    std::uint64_t v = 0;
    auto r = std::from_chars(scratch_.data(), scratch_.data() + scratch_.size(), v, base);
    if (r.ec != std::errc() || v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) bad();
    std::uint32_t n = new_node(Kind::Integer, Origin::None, at, depth);
    node(n).integer = static_cast<std::int64_t>(v);
    return n;
  }
  scratch_.clear();
  if (negative) scratch_ += '-';
  const char* int_start = p_;
  if (!run(10, &scratch_)) bad();
  if (*int_start == '0' && p_ - int_start > 1) bad();  // leading zero
  bool is_float = false;
  if (!at_end() && *p_ == '.') {
    is_float = true;
    scratch_ += '.';
    ++p_;
    if (!run(10, &scratch_)) bad();
  }
  if (!at_end() && (*p_ == 'e' || *p_ == 'E')) {
    is_float = true;
    scratch_ += 'e';
    ++p_;
    if (!at_end() && (*p_ == '+' || *p_ == '-')) scratch_ += *p_++;
    if (!run(10, &scratch_)) bad();
  }
  if (!at_end() && (*p_ == '_' || *p_ == '.' || *p_ == 'e' || *p_ == 'E')) bad();
  check_delimiter("number");
  if (is_float) {
    double v = 0;
    auto r = std::from_chars(scratch_.data(), scratch_.data() + scratch_.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
      // Too small: the nearest value is zero; too large cannot be kept.
      std::size_t e = scratch_.find('e');
      if (e == std::string::npos || e + 1 >= scratch_.size() || scratch_[e + 1] != '-') bad();
      v = negative ? -0.0 : 0.0;
    } else if (r.ec != std::errc()) {
      bad();
    }
    std::uint32_t n = new_node(Kind::Float, Origin::None, at, depth);
    node(n).floating = v;
    return n;
  }
  std::int64_t v = 0;
  auto r = std::from_chars(scratch_.data(), scratch_.data() + scratch_.size(), v);
  if (r.ec != std::errc()) bad();
  std::uint32_t n = new_node(Kind::Integer, Origin::None, at, depth);
  node(n).integer = v;
  return n;
}

std::uint32_t Parser::datetime(std::size_t depth) {
  const char* start = p_;
  std::uint32_t at = pos();
  auto bad = [&]() -> std::uint32_t { fail(at, "invalid date-time"); };
  auto num = [&](std::size_t n) {
    if (static_cast<std::size_t>(end_ - p_) < n) bad();
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (!is_digit(p_[i])) bad();
      v = v * 10 + (p_[i] - '0');
    }
    p_ += n;
    return v;
  };
  auto lit = [&](char c) {
    if (at_end() || *p_ != c) bad();
    ++p_;
  };
  auto time = [&]() {
    int h = num(2);
    lit(':');
    int m = num(2);
    lit(':');
    int s = num(2);
    if (h > 23 || m > 59 || s > 60) bad();
    if (!at_end() && *p_ == '.') {
      ++p_;
      if (at_end() || !is_digit(*p_)) bad();
      while (!at_end() && is_digit(*p_)) ++p_;
    }
  };
  Kind kind;
  if (static_cast<std::size_t>(end_ - p_) > 2 && p_[2] == ':') {
    time();
    kind = Kind::LocalTime;
  } else {
    int y = num(4);
    lit('-');
    int mo = num(2);
    lit('-');
    int dd = num(2);
    if (!days_ok(y, mo, dd)) bad();
    kind = Kind::LocalDate;
    char c = peek();
    if (c == 'T' || c == 't' || (c == ' ' && is_digit(peek(1)))) {
      ++p_;
      time();
      kind = Kind::LocalDateTime;
      c = peek();
      if (c == 'Z' || c == 'z') {
        ++p_;
        kind = Kind::OffsetDateTime;
      } else if (c == '+' || c == '-') {
        ++p_;
        int oh = num(2);
        lit(':');
        int om = num(2);
        if (oh > 23 || om > 59) bad();
        kind = Kind::OffsetDateTime;
      }
    }
  }
  check_delimiter("date-time");
  return scalar_text(kind, at, std::string_view(start, static_cast<std::size_t>(p_ - start)), depth);
}

// ---------------------------------------------------------------------------
// Strings.

void Parser::escape(std::string& out) {
  // At the backslash.
  const char* at = p_++;
  if (at_end()) fail(pos(at), "unterminated string");
  char c = *p_++;
  switch (c) {
    case 'b':
      out += '\b';
      return;
    case 't':
      out += '\t';
      return;
    case 'n':
      out += '\n';
      return;
    case 'f':
      out += '\f';
      return;
    case 'r':
      out += '\r';
      return;
    case '"':
      out += '"';
      return;
    case '\\':
      out += '\\';
      return;
    case 'u':
    case 'U': {
      std::size_t n = c == 'u' ? 4 : 8;
      std::uint32_t cp = 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (at_end()) fail(pos(at), "unterminated string");
        if (!is_hex(*p_)) fail(pos(at), "invalid hex escape character in string: " + char_text(p_));
        cp = cp * 16 + static_cast<std::uint32_t>(hex_value(*p_++));
      }
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        fail(pos(at), "invalid escape value: `" + std::string(at + 2, n) + "`");
      }
      brelmark::append_utf8(out, cp);
      return;
    }
    default:
      fail(pos(at), "invalid escape character in string: " + char_text(at + 1));
  }
}

std::string_view Parser::basic_string(bool allow_multiline) {
  const char* start = p_;
  if (peek(1) == '"' && peek(2) == '"') {
    if (!allow_multiline) fail(pos(), "multiline strings are not allowed for key");
    p_ += 3;
    return multiline_basic(start);
  }
  ++p_;
  const char* s = p_;
  // Fast path: no escapes, the text is a view of the document.
  while (p_ != end_) {
    std::uint8_t cls = kTables.basic[static_cast<unsigned char>(*p_)];
    if (cls == kPlain) {
      ++p_;
    } else if (cls == kHigh) {
      p_ += utf8(p_);
    } else {
      break;
    }
  }
  if (p_ != end_ && *p_ == '"') {
    std::string_view v(s, static_cast<std::size_t>(p_ - s));
    ++p_;
    return v;
  }
  scratch_.assign(s, static_cast<std::size_t>(p_ - s));
  while (true) {
    if (at_end()) fail(pos(start), "unterminated string");
    char c = *p_;
    std::uint8_t cls = kTables.basic[static_cast<unsigned char>(c)];
    if (cls == kPlain) {
      scratch_ += c;
      ++p_;
    } else if (cls == kHigh) {
      std::size_t n = utf8(p_);
      scratch_.append(p_, n);
      p_ += n;
    } else if (c == '"') {
      ++p_;
      return d_.store(scratch_);
    } else if (c == '\\') {
      escape(scratch_);
    } else if (c == '\n' || c == '\r') {
      fail(pos(), "newline in string found");
    } else {
      fail(pos(), "invalid character in string: " + found());
    }
  }
}

// A newline right after the opening quotes of a multi-line string is not part of its text.
void Parser::skip_opening_newline() {
  if (peek() == '\n') {
    ++p_;
  } else if (peek() == '\r' && peek(1) == '\n') {
    p_ += 2;
  }
}

// At a run of `quote` characters inside a multi-line string: the last three close the string
// (up to two more before them belong to the text); fewer than three are text. True when closed.
bool Parser::quote_run(char quote) {
  std::size_t n = 0;
  while (p_ + n != end_ && p_[n] == quote) ++n;
  if (n >= 3) {
    if (n > 5) fail(pos(p_ + 5), std::string("invalid character in string: `") + quote + "`");
    scratch_.append(n - 3, quote);
    p_ += n;
    return true;
  }
  scratch_.append(n, quote);
  p_ += n;
  return false;
}

std::string_view Parser::multiline_basic(const char* start) {
  skip_opening_newline();
  scratch_.clear();
  while (true) {
    if (at_end()) fail(pos(start), "unterminated string");
    char c = *p_;
    if (c == '"') {
      if (quote_run('"')) return d_.store(scratch_);
    } else if (c == '\\') {
      // A backslash at the end of a line trims the line end and the white
      // space and newlines that follow.
      const char* q = p_ + 1;
      while (q != end_ && (*q == ' ' || *q == '\t')) ++q;
      if (q != end_ && (*q == '\n' || (*q == '\r' && q + 1 != end_ && q[1] == '\n'))) {
        p_ = q;
        while (!at_end()) {
          if (*p_ == ' ' || *p_ == '\t' || *p_ == '\n') {
            ++p_;
          } else if (*p_ == '\r' && peek(1) == '\n') {
            p_ += 2;
          } else {
            break;
          }
        }
      } else {
        escape(scratch_);
      }
    } else {
      multiline_char(kTables.basic);
    }
  }
}

void Parser::multiline_char(const std::uint8_t (&table)[256]) {
  char c = *p_;
  if (c == '\n') {
    scratch_ += '\n';
    ++p_;
  } else if (c == '\r' && peek(1) == '\n') {
    scratch_ += '\n';
    p_ += 2;
  } else {
    std::uint8_t cls = table[static_cast<unsigned char>(c)];
    if (cls == kSpecial) fail(pos(), "invalid character in string: " + found());
    std::size_t n = cls == kHigh ? utf8(p_) : 1;
    scratch_.append(p_, n);
    p_ += n;
  }
}

std::string_view Parser::literal_string(bool allow_multiline) {
  const char* start = p_;
  if (peek(1) == '\'' && peek(2) == '\'') {
    if (!allow_multiline) fail(pos(), "multiline strings are not allowed for key");
    p_ += 3;
    return multiline_literal(start);
  }
  ++p_;
  const char* s = p_;
  while (true) {
    if (at_end()) fail(pos(start), "unterminated string");
    std::uint8_t cls = kTables.literal[static_cast<unsigned char>(*p_)];
    if (cls == kPlain) {
      ++p_;
    } else if (cls == kHigh) {
      p_ += utf8(p_);
    } else if (*p_ == '\'') {
      std::string_view v(s, static_cast<std::size_t>(p_ - s));
      ++p_;
      return v;
    } else if (*p_ == '\n' || *p_ == '\r') {
      fail(pos(), "newline in string found");
    } else {
      fail(pos(), "invalid character in string: " + found());
    }
  }
}

std::string_view Parser::multiline_literal(const char* start) {
  skip_opening_newline();
  scratch_.clear();
  while (true) {
    if (at_end()) fail(pos(start), "unterminated string");
    char c = *p_;
    if (c == '\'') {
      if (quote_run('\'')) return d_.store(scratch_);
    } else {
      multiline_char(kTables.literal);
    }
  }
}

}  // namespace

std::variant<Document, Error> parse(std::string_view text) {
  auto data = std::make_unique<DocumentData>();
  data->text = text;
  try {
    Parser parser(*data);
    parser.run();
  } catch (Failure& f) {
    return std::move(f.error);
  }
  data->index = {};
  return Document(std::move(data));
}

}  // namespace qv::toml
