#include "formats/yaml.hpp"

#include <yaml.h>

#include <brelmark/memory.hpp>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <memory>
#include <new>
#include <unordered_map>

#include "record/record.hpp"

namespace qv::yaml {

namespace {

void append_mark(std::string& out, const Mark& m) {
  out += " at line ";
  out += std::to_string(m.line + 1);
  out += " column ";
  out += std::to_string(m.column + 1);
}

bool at_start(const Mark& m) noexcept { return m.line == 0 && m.column == 0; }

// An event of the kind, at the place where libyaml's event begins. Marks fit
// 32 bits: texts are shorter than kMaxText.
Event event_at(const yaml_event_t& e, EventKind kind) noexcept {
  Event ev;
  ev.kind = kind;
  ev.index = static_cast<uint32_t>(e.start_mark.index);
  ev.line = static_cast<uint32_t>(e.start_mark.line);
  ev.column = static_cast<uint32_t>(e.start_mark.column);
  return ev;
}

// libyaml's own place text: "line L column C", or "position N" at the start.
std::string libyaml_place(const yaml_mark_t& m) {
  if (m.line != 0 || m.column != 0)
    return "line " + std::to_string(m.line + 1) + " column " + std::to_string(m.column + 1);
  return "position " + std::to_string(m.index);
}

// "problem at place, context at place", as libyaml reports a scanner, parser
// or reader failure (a reader failure has an offset instead of a place).
std::string libyaml_error_text(const yaml_parser_t& p) {
  std::string s = p.problem ? p.problem : "libyaml parser failed but there is no error";
  if (p.problem_mark.line != 0 || p.problem_mark.column != 0) {
    s += " at ";
    s += libyaml_place(p.problem_mark);
  } else if (p.problem_offset != 0) {
    s += " at position ";
    s += std::to_string(p.problem_offset);
  }
  if (p.context) {
    s += ", ";
    s += p.context;
    const yaml_mark_t& c = p.context_mark;
    if ((c.line != 0 || c.column != 0) &&
        (c.line != p.problem_mark.line || c.column != p.problem_mark.column)) {
      s += " at ";
      s += libyaml_place(c);
    }
  }
  return s;
}

ScalarStyle to_style(yaml_scalar_style_t s) noexcept {
  switch (s) {
    case YAML_SINGLE_QUOTED_SCALAR_STYLE: return ScalarStyle::SingleQuoted;
    case YAML_DOUBLE_QUOTED_SCALAR_STYLE: return ScalarStyle::DoubleQuoted;
    case YAML_LITERAL_SCALAR_STYLE: return ScalarStyle::Literal;
    case YAML_FOLDED_SCALAR_STYLE: return ScalarStyle::Folded;
    default: return ScalarStyle::Plain;
  }
}

struct ParserGuard {
  yaml_parser_t parser;
  bool ok;
  ParserGuard() { ok = yaml_parser_initialize(&parser) != 0; }
  ~ParserGuard() { yaml_parser_delete(&parser); }
};

struct EventGuard {
  yaml_event_t event;
  ~EventGuard() { yaml_event_delete(&event); }
};

}  // namespace

// ---------------------------------------------------------------- errors

Error Error::message(std::string text) {
  auto d = std::make_unique<Data>();
  d->text = std::move(text);
  d->is_message = true;
  return Error(std::move(d));
}

Error Error::fixed(std::string text) {
  auto d = std::make_unique<Data>();
  d->text = std::move(text);
  return Error(std::move(d));
}

Error Error::at(std::string_view text, const Mark& mark) {
  std::string s(text);
  if (!at_start(mark)) append_mark(s, mark);
  return fixed(std::move(s));
}

void Error::fix_position(const Mark& mark, std::string path) {
  if (!d_->is_message || d_->has_position) return;
  d_->mark = mark;
  d_->path = std::move(path);
  d_->has_position = true;
}

std::string Error::text() const {
  if (!d_->is_message || !d_->has_position) return d_->text;
  std::string s;
  if (d_->path != ".") {
    s += d_->path;
    s += ": ";
  }
  s += d_->text;
  if (!at_start(d_->mark)) append_mark(s, d_->mark);
  return s;
}

Error invalid_value(std::string_view found, std::string_view expected) {
  return Error::message(record::invalid_value(found, expected));
}

Error invalid_length(std::size_t len, std::string_view expected) {
  return Error::message(record::invalid_length(len, expected));
}

Error missing_field(std::string_view key) { return Error::message(record::missing_field(key)); }

Error duplicate_field(std::string_view key) { return Error::message(record::duplicate_field(key)); }

std::string sequence_of(std::size_t n) {
  return n == 1 ? "sequence of 1 element" : "sequence of " + std::to_string(n) + " elements";
}

// ---------------------------------------------------------------- paths

std::string Path::to_string() const {
  std::string s;
  append(s);
  return s;
}

void Path::append(std::string& out) const {
  switch (kind_) {
    case Kind::Root: out += '.'; break;
    case Kind::Key:
      parent_->append_parent(out);
      out += key_;
      break;
    case Kind::Index:
      parent_->append(out);
      out += '[';
      out += std::to_string(index_);
      out += ']';
      break;
    case Kind::Unknown:
      parent_->append_parent(out);
      out += '?';
      break;
  }
}

void Path::append_parent(std::string& out) const {
  if (kind_ == Kind::Root) return;
  append(out);
  out += '.';
}

// ---------------------------------------------------------------- loading

// Builds the document model from libyaml's events, one method for each kind
// of event. The methods return false where loading stops; the document then
// holds the events read before and, where one was met, the error.
class Loader {
 public:
  static Document run(std::string_view text);

 private:
  void read(std::string_view text);
  bool take(const yaml_event_t& e);
  void parse_failed(const yaml_parser_t& parser);

  bool stream_end(const yaml_event_t& e);
  bool document_start();
  bool document_end();
  bool scalar(const yaml_event_t& e);
  bool alias(const yaml_event_t& e);
  bool sequence_start(const yaml_event_t& e);
  bool mapping_start(const yaml_event_t& e);
  bool collection_start(const yaml_event_t& e, EventKind kind, bool flow,
                        const yaml_char_t* anchor, const yaml_char_t* tag);
  bool collection_end(const yaml_event_t& e, EventKind kind);

  void name_anchor(const yaml_char_t* name);
  uint32_t tag_id(const yaml_char_t* tag);

  Document doc_;
  // The event each anchor names, and the index of each tag in the document's tags.
  std::unordered_map<std::string, uint64_t> anchors_;
  std::unordered_map<std::string, uint32_t> tag_ids_;
  // Flow collections open around the next event.
  std::size_t flow_depth_ = 0;
  // Between the start and the end of the first document.
  bool in_document_ = false;
};

Document Loader::run(std::string_view text) {
  Loader loader;
  loader.read(text);
  return std::move(loader.doc_);
}

void Loader::read(std::string_view text) {
  if (text.size() >= kMaxText) {
    doc_.error = Error::fixed("the YAML text is too long");
    return;
  }
  // Scalars hold at most about the text's bytes: reserving them up front
  // spares the copies of regrowth.
  doc_.text_.reserve(text.size());
  ParserGuard g;
  if (!g.ok) throw std::bad_alloc();  // libyaml's only reason
  yaml_parser_set_input_string(&g.parser, reinterpret_cast<const unsigned char*>(text.data()),
                               text.size());
  yaml_parser_set_encoding(&g.parser, YAML_UTF8_ENCODING);
  for (;;) {
    EventGuard eg;
    if (!yaml_parser_parse(&g.parser, &eg.event)) {
      if (g.parser.error == YAML_MEMORY_ERROR) throw std::bad_alloc();
      parse_failed(g.parser);
      return;
    }
    if (!take(eg.event)) return;
  }
}

// Hands one of libyaml's events to the method of its kind.
bool Loader::take(const yaml_event_t& e) {
  switch (e.type) {
    case YAML_STREAM_START_EVENT:
    case YAML_NO_EVENT: return true;
    case YAML_STREAM_END_EVENT: return stream_end(e);
    case YAML_DOCUMENT_START_EVENT: return document_start();
    case YAML_DOCUMENT_END_EVENT: return document_end();
    case YAML_ALIAS_EVENT: return alias(e);
    case YAML_SCALAR_EVENT: return scalar(e);
    case YAML_SEQUENCE_START_EVENT: return sequence_start(e);
    case YAML_MAPPING_START_EVENT: return mapping_start(e);
    case YAML_SEQUENCE_END_EVENT: return collection_end(e, EventKind::SequenceEnd);
    case YAML_MAPPING_END_EVENT: return collection_end(e, EventKind::MappingEnd);
  }
  return true;
}

// Inside the first document this is its error; after it, a failing second
// document still counts as a second document.
void Loader::parse_failed(const yaml_parser_t& parser) {
  if (in_document_ || doc_.events.empty())
    doc_.error = Error::fixed(libyaml_error_text(parser));
  else
    doc_.more_documents = true;
}

bool Loader::stream_end(const yaml_event_t& e) {
  if (doc_.events.empty()) doc_.events.push_back(event_at(e, EventKind::Void));  // no node at all
  return false;
}

bool Loader::document_start() {
  if (in_document_ || !doc_.events.empty()) {
    doc_.more_documents = true;
    return false;
  }
  in_document_ = true;
  return true;
}

bool Loader::document_end() {
  in_document_ = false;
  return true;
}

bool Loader::scalar(const yaml_event_t& e) {
  const auto& s = e.data.scalar;
  Event ev = event_at(e, EventKind::Scalar);
  ev.style = to_style(s.style);
  name_anchor(s.anchor);
  ev.tag = tag_id(s.tag);
  ev.offset = static_cast<uint32_t>(doc_.text_.size());
  ev.length = static_cast<uint32_t>(s.length);
  doc_.text_.append(reinterpret_cast<const char*>(s.value), s.length);
  doc_.events.push_back(ev);
  return true;
}

bool Loader::alias(const yaml_event_t& e) {
  Event ev = event_at(e, EventKind::Alias);
  auto it = anchors_.find(reinterpret_cast<const char*>(e.data.alias.anchor));
  if (it == anchors_.end()) {
    doc_.error = Error::at("unknown anchor", ev.mark());
    return false;
  }
  ev.offset = static_cast<uint32_t>(it->second);
  doc_.events.push_back(ev);
  return true;
}

bool Loader::sequence_start(const yaml_event_t& e) {
  const auto& s = e.data.sequence_start;
  return collection_start(e, EventKind::SequenceStart, s.style == YAML_FLOW_SEQUENCE_STYLE,
                          s.anchor, s.tag);
}

bool Loader::mapping_start(const yaml_event_t& e) {
  const auto& m = e.data.mapping_start;
  return collection_start(e, EventKind::MappingStart, m.style == YAML_FLOW_MAPPING_STYLE,
                          m.anchor, m.tag);
}

// Stops loading where flow nesting passes the cap.
bool Loader::collection_start(const yaml_event_t& e, EventKind kind, bool flow,
                              const yaml_char_t* anchor, const yaml_char_t* tag) {
  Event ev = event_at(e, kind);
  ev.flow = flow;
  if (flow && ++flow_depth_ > kFlowNestingCap) {
    doc_.error = Error::at("recursion limit exceeded", ev.mark());
    return false;
  }
  name_anchor(anchor);
  ev.tag = tag_id(tag);
  doc_.events.push_back(ev);
  return true;
}

bool Loader::collection_end(const yaml_event_t& e, EventKind kind) {
  if (flow_depth_ > 0) --flow_depth_;  // block collections never stand inside flow ones
  doc_.events.push_back(event_at(e, kind));
  return true;
}

// A later anchor of the same name hides the earlier one from then on.
void Loader::name_anchor(const yaml_char_t* name) {
  if (name) anchors_[reinterpret_cast<const char*>(name)] = doc_.events.size();
}

uint32_t Loader::tag_id(const yaml_char_t* tag) {
  if (!tag) return 0;
  std::string t(reinterpret_cast<const char*>(tag));
  auto it = tag_ids_.find(t);
  if (it != tag_ids_.end()) return it->second;
  auto id = static_cast<uint32_t>(doc_.tags_.size());
  doc_.tags_.push_back(t);
  tag_ids_.emplace(std::move(t), id);
  return id;
}

Document load(std::string_view text) { return Loader::run(text); }

// ---------------------------------------------------------------- walking

WalkState::WalkState(const Document& d) : doc(&d) {
  uint64_t n = d.events.size();
  jump_limit = n * kRepetitionFactor;
  expansion_limit = std::max(kExpansionFloor, n * kExpansionFactor);
}

namespace {
Error repetition_limit() { return Error::fixed("repetition limit exceeded"); }
}  // namespace

Status Walker::peek(const Event*& out) const {
  const auto& ev = state_->doc->events;
  if (pos_ < ev.size()) {
    out = &ev[pos_];
    return std::nullopt;
  }
  if (state_->doc->error) return state_->doc->error;
  return Error::fixed("EOF while parsing a value");
}

Status Walker::next(const Event*& out) {
  if (Status st = peek(out)) return st;
  ++pos_;
  // Events reached through aliases are counted too (see kExpansionFloor).
  if (aliased_ && ++state_->expanded > state_->expansion_limit) return repetition_limit();
  return std::nullopt;
}

Status Walker::count_jump() {
  if (++state_->jumps > state_->jump_limit) return repetition_limit();
  return std::nullopt;
}

Status Walker::jump(const Event& alias, Walker& out) {
  if (Status st = count_jump()) return st;
  out = Walker(*state_);
  out.pos_ = alias.offset;
  out.aliased_ = true;
  return std::nullopt;
}

Status Walker::skip() {
  std::size_t depth = 0;
  do {
    const Event* e = nullptr;
    if (Status st = next(e)) return st;
    switch (e->kind) {
      case EventKind::SequenceStart:
      case EventKind::MappingStart: ++depth; break;
      case EventKind::SequenceEnd:
      case EventKind::MappingEnd:
        if (depth == 0) return Error::fixed("unexpected end of a collection");
        --depth;
        break;
      default: break;
    }
  } while (depth > 0);
  return std::nullopt;
}

Status Walker::enter(const Mark& mark) {
  if (state_->remaining_depth <= 0) return Error::at("recursion limit exceeded", mark);
  --state_->remaining_depth;
  return std::nullopt;
}

// ---------------------------------------------------------------- scalars

bool is_null_word(std::string_view v) noexcept {
  return v == "~" || v == "null" || v == "Null" || v == "NULL";
}

std::optional<bool> parse_bool(std::string_view v) noexcept {
  if (v == "true" || v == "True" || v == "TRUE") return true;
  if (v == "false" || v == "False" || v == "FALSE") return false;
  return std::nullopt;
}

bool digits_but_not_number(std::string_view v) noexcept {
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
  return v.size() > 1 && v[0] == '0' &&
         std::all_of(v.begin() + 1, v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

bool starts_with_sign(std::string_view v) noexcept {
  return !v.empty() && (v[0] == '+' || v[0] == '-');
}

int digit_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The magnitude of a run of digits of the radix, at least one, nothing else;
// none on overflow past `max`.
template <class U>
std::optional<U> magnitude(std::string_view digits, unsigned radix, U max) noexcept {
  if (digits.empty()) return std::nullopt;
  U value = 0;
  for (char c : digits) {
    auto d = static_cast<unsigned>(digit_value(c));
    if (d >= radix) return std::nullopt;
    if (value > (max - d) / radix) return std::nullopt;
    value = value * radix + d;
  }
  return value;
}

struct Radix {
  std::string_view prefix;
  unsigned radix;
};
constexpr Radix kRadixes[] = {{"0x", 16}, {"0o", 8}, {"0b", 2}};

// An unsigned integer: an optional "+", then 0x/0o/0b digits or decimal
// digits (not with a leading zero followed by more digits).
template <class U>
std::optional<U> unsigned_int(std::string_view scalar, U max) noexcept {
  std::string_view unpositive = scalar;
  if (!unpositive.empty() && unpositive[0] == '+') unpositive.remove_prefix(1);
  for (const Radix& r : kRadixes) {
    if (unpositive.substr(0, 2) == r.prefix) {
      std::string_view rest = unpositive.substr(2);
      if (starts_with_sign(rest)) return std::nullopt;
      if (auto v = magnitude<U>(rest, r.radix, max)) return v;
    }
  }
  if (starts_with_sign(unpositive)) return std::nullopt;
  if (digits_but_not_number(scalar)) return std::nullopt;
  return magnitude<U>(unpositive, 10, max);
}

// A negative integer: "-", then 0x/0o/0b digits or decimal digits.
template <class S, class U>
std::optional<S> negative_int(std::string_view scalar, U limit) noexcept {
  if (scalar.empty() || scalar[0] != '-') return std::nullopt;
  std::string_view negative = scalar.substr(1);
  auto negate = [](U m) { return m == 0 ? S(0) : static_cast<S>(-static_cast<S>(m - 1) - 1); };
  for (const Radix& r : kRadixes) {
    if (negative.substr(0, 2) == r.prefix) {
      std::string_view rest = negative.substr(2);
      if (starts_with_sign(rest)) return std::nullopt;
      if (auto m = magnitude<U>(rest, r.radix, limit)) return negate(*m);
    }
  }
  if (digits_but_not_number(scalar)) return std::nullopt;
  if (auto m = magnitude<U>(negative, 10, limit)) return negate(*m);
  return std::nullopt;
}

using u128 = unsigned __int128;
using i128 = __int128;

std::string u128_text(u128 v) {
  if (v == 0) return "0";
  std::string s;
  while (v) {
    s += static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  }
  std::reverse(s.begin(), s.end());
  return s;
}

std::string i128_text(i128 v) {
  if (v >= 0) return u128_text(static_cast<u128>(v));
  return "-" + u128_text(static_cast<u128>(-(v + 1)) + 1);
}

// The float grammar: digits with an optional point (at least one digit), an
// optional exponent; the sign is handled by the caller.
bool float_syntax(std::string_view v) noexcept {
  std::size_t i = 0, n = v.size();
  if (i < n && (v[i] == '+' || v[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && v[i] >= '0' && v[i] <= '9') ++i, ++digits;
  if (i < n && v[i] == '.') {
    ++i;
    while (i < n && v[i] >= '0' && v[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (v[i] == 'e' || v[i] == 'E')) {
    ++i;
    if (i < n && (v[i] == '+' || v[i] == '-')) ++i;
    std::size_t exp = 0;
    while (i < n && v[i] >= '0' && v[i] <= '9') ++i, ++exp;
    if (exp == 0) return false;
  }
  return i == n;
}

locale_t c_locale() {
  static locale_t loc = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  return loc;
}

}  // namespace

std::optional<uint64_t> parse_unsigned(std::string_view v) noexcept {
  return unsigned_int<uint64_t>(v, UINT64_MAX);
}

std::optional<int64_t> parse_negative(std::string_view v) noexcept {
  return negative_int<int64_t, uint64_t>(v, uint64_t{1} << 63);
}

std::optional<unsigned __int128> parse_unsigned_wide(std::string_view v) noexcept {
  return unsigned_int<u128>(v, ~u128{0});
}

std::optional<__int128> parse_negative_wide(std::string_view v) noexcept {
  return negative_int<i128, u128>(v, u128{1} << 127);
}

std::optional<double> parse_float(std::string_view scalar) noexcept {
  std::string_view unpositive = scalar;
  if (!unpositive.empty() && unpositive[0] == '+') {
    unpositive.remove_prefix(1);
    if (starts_with_sign(unpositive)) return std::nullopt;
  }
  if (unpositive == ".inf" || unpositive == ".Inf" || unpositive == ".INF") return HUGE_VAL;
  if (scalar == "-.inf" || scalar == "-.Inf" || scalar == "-.INF") return -HUGE_VAL;
  if (scalar == ".nan" || scalar == ".NaN" || scalar == ".NAN") return std::nan("");
  if (!float_syntax(unpositive) || unpositive.size() > 4096) return std::nullopt;
  char buf[4100];
  std::memcpy(buf, unpositive.data(), unpositive.size());
  buf[unpositive.size()] = '\0';
  double d = strtod_l(buf, nullptr, c_locale());
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

namespace {

using record::unexpected_bool;
using record::unexpected_float;
using record::unexpected_str;

std::string integer_text(uint64_t v) { return record::unexpected_unsigned(v); }
std::string integer_text(int64_t v) { return record::unexpected_signed(v); }
std::string integer_text(u128 v) { return "integer `" + u128_text(v) + "` as u128"; }
std::string integer_text(i128 v) { return "integer `" + i128_text(v) + "` as i128"; }

// An integer in the first of u64, i64, u128, i128 that holds it.
std::optional<std::string> describe_int(std::string_view v) {
  if (auto x = parse_unsigned(v)) return integer_text(*x);
  if (auto x = parse_negative(v)) return integer_text(*x);
  if (auto x = parse_unsigned_wide(v)) return integer_text(*x);
  if (auto x = parse_negative_wide(v)) return integer_text(*x);
  return std::nullopt;
}

// A plain scalar without a standard tag, read by the core schema.
std::string describe_untagged(std::string_view v) {
  if (v.empty() || is_null_word(v)) return std::string(record::kUnexpectedUnit);
  if (auto b = parse_bool(v)) return unexpected_bool(*b);
  if (auto i = describe_int(v)) return *i;
  if (!digits_but_not_number(v))
    if (auto f = parse_float(v)) return unexpected_float(*f);
  return unexpected_str(v);
}

// A plain scalar that is read by the core schema: no tag, or a local one.
bool untagged_plain(const Document& doc, const Event& e) {
  if (e.style != ScalarStyle::Plain) return false;
  std::string_view tag = doc.tag(e);
  return tag.empty() || tag[0] == '!';
}

}  // namespace

Unexpected describe_scalar(const Document& doc, const Event& e) {
  std::string_view v = doc.value(e);
  std::string_view tag = doc.tag(e);
  Unexpected u;
  // A standard tag decides how the text reads; a text that does not fit it
  // is an invalid value of that tag.
  auto fits = [&](std::optional<std::string> text, std::string_view tag_expected) {
    if (text) u.text = std::move(*text);
    else u.tag_error = invalid_value(unexpected_str(v), tag_expected);
  };
  if (tag == kTagBool) {
    auto b = parse_bool(v);
    fits(b ? std::optional(unexpected_bool(*b)) : std::nullopt, "a boolean");
  } else if (tag == kTagInt) {
    fits(describe_int(v), "an integer");
  } else if (tag == kTagFloat) {
    auto f = parse_float(v);
    fits(f ? std::optional(unexpected_float(*f)) : std::nullopt, "a float");
  } else if (tag == kTagNull) {
    fits(is_null_word(v) ? std::optional(std::string(record::kUnexpectedUnit)) : std::nullopt, "null");
  } else if (untagged_plain(doc, e)) {
    u.text = describe_untagged(v);
  } else {
    u.text = unexpected_str(v);
  }
  return u;
}

Error invalid_type(const Document& doc, const Event& e, std::string_view expected) {
  std::string found;
  switch (e.kind) {
    case EventKind::Scalar: {
      Unexpected u = describe_scalar(doc, e);
      if (u.tag_error) return std::move(*u.tag_error);
      found = std::move(u.text);
      break;
    }
    case EventKind::SequenceStart: found = record::kUnexpectedSeq; break;
    case EventKind::MappingStart: found = record::kUnexpectedMap; break;
    default: return Error::fixed("EOF while parsing a value");
  }
  return Error::message(record::invalid_type(found, expected));
}

// ---------------------------------------------------------------- readers

Status read_str(Walker& w, const Path& path, std::string_view expected, std::string_view& out) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Status st;
  if (e->kind == EventKind::Scalar) {
    out = w.value(*e);
  } else if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_str(sub, path, expected, out);
  } else {
    st = invalid_type(w.doc(), *e, expected);
  }
  return fix_position(std::move(st), e->mark(), path);
}

namespace {
// A null for an optional text: unquoted and either untagged and empty or a
// null word, or tagged null and a null word.
bool is_null_scalar(const Document& doc, const Event& e) {
  if (e.kind != EventKind::Scalar || e.style != ScalarStyle::Plain) return false;
  std::string_view tag = doc.tag(e);
  std::string_view v = doc.value(e);
  if (tag.empty()) return v.empty() || is_null_word(v);
  return tag == kTagNull && is_null_word(v);
}
}  // namespace

Status read_optional_str(Walker& w, const Path& path, std::string_view expected,
                         std::optional<std::string_view>& out) {
  const Event* e = nullptr;
  if (Status st = w.peek(e)) return st;
  bool is_some = true;
  if (e->kind == EventKind::Alias) {
    if (Status st = w.count_jump()) return st;
    is_some = !is_null_scalar(w.doc(), w.doc().events[e->offset]);
  } else if (e->kind == EventKind::Void) {
    is_some = false;
  } else {
    is_some = !is_null_scalar(w.doc(), *e);
  }
  if (!is_some) {
    out.reset();
    return w.next(e);
  }
  std::string_view text;
  if (Status st = read_str(w, path, expected, text)) return st;
  out = text;
  return std::nullopt;
}

Status read_bool(Walker& w, const Path& path, std::string_view expected, bool& out) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Status st;
  if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_bool(sub, path, expected, out);
  }
  std::optional<bool> b;
  if (e->kind == EventKind::Scalar &&
      (untagged_plain(w.doc(), *e) || w.doc().tag(*e) == kTagBool))
    b = parse_bool(w.value(*e));
  if (b) out = *b;
  else st = invalid_type(w.doc(), *e, expected);
  return fix_position(std::move(st), e->mark(), path);
}

Status read_unsigned(Walker& w, const Path& path, std::string_view expected, uint64_t max,
                     uint64_t& out) {
  const Event* e = nullptr;
  if (Status st = w.next(e)) return st;
  Status st;
  if (e->kind == EventKind::Alias) {
    Walker sub(w);
    if ((st = w.jump(*e, sub))) return st;
    return read_unsigned(sub, path, expected, max, out);
  }
  std::optional<uint64_t> v;
  if (e->kind == EventKind::Scalar && (untagged_plain(w.doc(), *e) || w.doc().tag(*e) == kTagInt))
    v = parse_unsigned(w.value(*e));
  if (!v) st = invalid_type(w.doc(), *e, expected);
  else if (*v > max) st = invalid_value(record::unexpected_unsigned(*v), expected);
  else out = *v;
  return fix_position(std::move(st), e->mark(), path);
}

// ---------------------------------------------------------------- writing

namespace {

using CharClass = bool (*)(char) noexcept;

bool is_decimal(char c) noexcept { return c >= '0' && c <= '9'; }
bool is_blank(char c) noexcept { return c == ' ' || c == '\t'; }
// A digit of the base, or an underscore, which may stand among the digits.
template <unsigned Base>
bool is_digit_or_underscore(char c) noexcept {
  return c == '_' || static_cast<unsigned>(digit_value(c)) < Base;
}
// The first digit of a two-digit base-60 place.
bool is_sixties_tens(char c) noexcept { return c >= '0' && c <= '5'; }

// Reads a notation from the front of a text, one piece at a time.
class Cursor {
 public:
  explicit Cursor(std::string_view s) noexcept : s_(s) {}
  bool at_end() const noexcept { return i_ == s_.size(); }
  bool next_is(char c) const noexcept { return !at_end() && s_[i_] == c; }
  std::string_view rest() const noexcept { return s_.substr(i_); }
  // Takes the next character if it is `c` / of the class.
  bool take(char c) noexcept { return take_if(next_is(c)); }
  bool take(CharClass in) noexcept { return take_if(!at_end() && in(s_[i_])); }
  // Takes the characters of the class up to the first other one; how many.
  std::size_t take_all(CharClass in) noexcept {
    std::size_t from = i_;
    while (take(in)) {
    }
    return i_ - from;
  }
  // Takes between `least` and `most` decimal digits; false for fewer.
  bool take_digits(std::size_t least, std::size_t most) noexcept {
    std::size_t n = 0;
    while (n < most && take(is_decimal)) ++n;
    return n >= least;
  }

 private:
  bool take_if(bool yes) noexcept {
    if (yes) ++i_;
    return yes;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

// One or more characters of the class, and nothing else.
bool only(std::string_view s, CharClass in) noexcept {
  Cursor c(s);
  return c.take_all(in) > 0 && c.at_end();
}

// The word as written, capitalised or in capitals: "null", "Null", "NULL"
// (`word` in small letters).
bool in_three_cases(std::string_view text, std::string_view word) noexcept {
  constexpr char kToCapital = 'a' - 'A';
  if (text.size() != word.size()) return false;
  if (text == word) return true;
  if (text[0] != word[0] - kToCapital) return false;
  std::string_view rest = text.substr(1), word_rest = word.substr(1);
  return rest == word_rest || std::equal(rest.begin(), rest.end(), word_rest.begin(),
                                         [](char t, char w) { return t == w - kToCapital; });
}

// Null words, the booleans of YAML 1.1 and 1.2, and the merge and value keys.
bool is_keyword(std::string_view text) noexcept {
  static constexpr std::string_view kWords[] = {"null", "true", "false", "yes", "no",
                                                "on",   "off",  "y",     "n"};
  if (text == "~" || text == "<<" || text == "=") return true;
  return std::any_of(std::begin(kWords), std::end(kWords),
                     [&](std::string_view w) { return in_three_cases(text, w); });
}

// "e5", "E-12": an exponent, and nothing after it.
bool is_exponent(Cursor c) noexcept {
  if (!c.take('e') && !c.take('E')) return false;
  if (!c.take('+')) c.take('-');
  return c.take_all(is_decimal) > 0 && c.at_end();
}

// What follows a float's point: digits and underscores, then an optional
// exponent.
bool is_fraction(Cursor c) noexcept {
  c.take_all(is_digit_or_underscore<10>);
  return c.at_end() || is_exponent(c);
}

// Base-60 places, one or more (":5", ":59"), then nothing or a point with
// digits and underscores.
bool is_sexagesimal(Cursor c) noexcept {
  while (c.take(':')) {
    // A second digit only after 0 to 5: "1:60" is no number.
    if (c.take(is_sixties_tens)) c.take(is_decimal);
    else if (!c.take(is_decimal)) return false;
  }
  if (c.at_end()) return true;
  if (!c.take('.')) return false;
  c.take_all(is_digit_or_underscore<10>);
  return c.at_end();
}

// An integer or a float of either version after an optional sign: 0b, 0o and
// 0x digits; decimal digits with underscores, then base-60 places, a point or
// an exponent; a point with or without digits around it (even "." alone);
// .inf and .nan.
bool is_number(std::string_view text) noexcept {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  if (text.size() >= 2 && text[0] == '0') {
    switch (text[1]) {
      case 'b': return only(text.substr(2), is_digit_or_underscore<2>);
      case 'o': return only(text.substr(2), is_digit_or_underscore<8>);
      case 'x': return only(text.substr(2), is_digit_or_underscore<16>);
      default: break;
    }
  }
  Cursor c(text);
  if (c.take('.')) {
    std::string_view rest = c.rest();
    return is_fraction(c) || in_three_cases(rest, "inf") || rest == "nan" || rest == "NaN" ||
           rest == "NAN";
  }
  if (!c.take(is_decimal)) return false;
  c.take_all(is_digit_or_underscore<10>);
  if (c.at_end()) return true;
  if (c.next_is(':')) return is_sexagesimal(c);
  if (c.take('.')) return is_fraction(c);
  return is_exponent(c);
}

// A date ("2001-12-14"), with or without a time after "T", "t" or blanks
// ("21:59:43", fractions of a second), then an optional zone after optional
// blanks ("Z", "-5", "+05:30").
bool is_timestamp(std::string_view text) noexcept {
  Cursor c(text);
  if (!(c.take_digits(4, 4) && c.take('-') && c.take_digits(1, 2) && c.take('-') &&
        c.take_digits(1, 2)))
    return false;
  if (c.at_end()) return true;
  if (!c.take('T') && !c.take('t') && c.take_all(is_blank) == 0) return false;
  if (!(c.take_digits(1, 2) && c.take(':') && c.take_digits(2, 2) && c.take(':') &&
        c.take_digits(2, 2)))
    return false;
  if (c.take('.')) c.take_all(is_decimal);
  if (c.at_end()) return true;
  c.take_all(is_blank);
  if (c.take('Z')) return c.at_end();
  if (!c.take('+') && !c.take('-')) return false;
  if (!c.take_digits(1, 2)) return false;
  if (c.take(':') && !c.take_digits(2, 2)) return false;
  return c.at_end();
}

}  // namespace

bool resolves_as_non_text(std::string_view text) {
  if (text.empty()) return true;
  // Each notation begins with characters of its own.
  switch (text[0]) {
    case '~': case '<': case '=': case 'n': case 'N': case 't': case 'T': case 'f': case 'F':
    case 'y': case 'Y': case 'o': case 'O':
      return is_keyword(text);
    case '+': case '-': case '.':
      return is_number(text);
    case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8':
    case '9':
      return is_number(text) || is_timestamp(text);
    default:
      return false;
  }
}

TextStyle text_style(std::string_view text) {
  // Line breaks other than the line feed ("\r", U+0085, U+2028, U+2029) are
  // folded or normalised in plain, single-quoted and block scalars: only
  // double quotes keep them, as escapes.
  if (text.find('\r') != std::string_view::npos || text.find("\xC2\x85") != std::string_view::npos ||
      text.find("\xE2\x80\xA8") != std::string_view::npos ||
      text.find("\xE2\x80\xA9") != std::string_view::npos)
    return TextStyle::DoubleQuoted;
  if (text.find('\n') != std::string_view::npos) return TextStyle::Literal;
  if (resolves_as_non_text(text)) return TextStyle::SingleQuoted;
  return TextStyle::Any;
}

namespace {
// The emitter's output, appended, in huge pages once the document is large.
int write_to_string(void* data, unsigned char* buffer, size_t size) {
  try {
    std::string& out = *static_cast<std::string*>(data);
    brelmark::grow_preferring_huge_pages(out, out.size() + size);
    out.append(reinterpret_cast<const char*>(buffer), size);
    return 1;
  } catch (...) {
    return 0;
  }
}
}  // namespace

Emitter::Emitter(std::string& out) : emitter_(new yaml_emitter_t) {
  if (!yaml_emitter_initialize(emitter_)) {  // libyaml's only reason: no memory
    delete emitter_;
    throw std::bad_alloc();
  }
  yaml_emitter_set_output(emitter_, write_to_string, &out);
  yaml_emitter_set_unicode(emitter_, 1);
  yaml_emitter_set_width(emitter_, -1);
  yaml_event_t ev;
  yaml_stream_start_event_initialize(&ev, YAML_UTF8_ENCODING);
  if (!yaml_emitter_emit(emitter_, &ev)) {
    failed_ = true;
    if (out_of_memory()) {
      yaml_emitter_delete(emitter_);
      delete emitter_;
      throw std::bad_alloc();
    }
  }
}

Emitter::~Emitter() {
  yaml_emitter_delete(emitter_);
  delete emitter_;
}

// No memory in libyaml or for the text (write_to_string fails only so).
bool Emitter::out_of_memory() const noexcept {
  return emitter_->error == YAML_MEMORY_ERROR || emitter_->error == YAML_WRITER_ERROR;
}

Status Emitter::check(int ok, const char* what) {
  if (ok) return std::nullopt;
  failed_ = true;
  if (out_of_memory()) throw std::bad_alloc();
  std::string s = emitter_->problem ? emitter_->problem : what;
  return Error::fixed(std::move(s));
}

Status Emitter::start_document() {
  if (failed_) return Error::fixed("the YAML emitter failed earlier");
  if (document_started_) return std::nullopt;
  document_started_ = true;
  yaml_event_t ev;
  yaml_document_start_event_initialize(&ev, nullptr, nullptr, nullptr, 1);
  return check(yaml_emitter_emit(emitter_, &ev), "cannot start a YAML document");
}

Status Emitter::begin_mapping() {
  if (Status st = start_document()) return st;
  yaml_event_t ev;
  yaml_mapping_start_event_initialize(&ev, nullptr, nullptr, 1, YAML_BLOCK_MAPPING_STYLE);
  return check(yaml_emitter_emit(emitter_, &ev), "cannot start a YAML mapping");
}

Status Emitter::end_mapping() {
  if (failed_) return Error::fixed("the YAML emitter failed earlier");
  yaml_event_t ev;
  yaml_mapping_end_event_initialize(&ev);
  return check(yaml_emitter_emit(emitter_, &ev), "cannot end a YAML mapping");
}

Status Emitter::begin_sequence() {
  if (Status st = start_document()) return st;
  yaml_event_t ev;
  yaml_sequence_start_event_initialize(&ev, nullptr, nullptr, 1, YAML_BLOCK_SEQUENCE_STYLE);
  return check(yaml_emitter_emit(emitter_, &ev), "cannot start a YAML sequence");
}

Status Emitter::end_sequence() {
  if (failed_) return Error::fixed("the YAML emitter failed earlier");
  yaml_event_t ev;
  yaml_sequence_end_event_initialize(&ev);
  return check(yaml_emitter_emit(emitter_, &ev), "cannot end a YAML sequence");
}

Status Emitter::emit_scalar(std::string_view value, int style) {
  if (Status st = start_document()) return st;
  yaml_event_t ev;
  if (!yaml_scalar_event_initialize(&ev, nullptr, nullptr,
                                    reinterpret_cast<const yaml_char_t*>(value.data()),
                                    static_cast<int>(value.size()), 1, 1,
                                    static_cast<yaml_scalar_style_t>(style))) {
    failed_ = true;
    return Error::fixed("invalid UTF-8 in a YAML scalar");
  }
  return check(yaml_emitter_emit(emitter_, &ev), "cannot write a YAML scalar");
}

Status Emitter::text(std::string_view value) {
  if (value.size() > static_cast<std::size_t>(INT32_MAX))
    return Error::fixed("a YAML scalar is too long");
  yaml_scalar_style_t style = YAML_ANY_SCALAR_STYLE;
  switch (text_style(value)) {
    case TextStyle::Any: break;
    case TextStyle::SingleQuoted: style = YAML_SINGLE_QUOTED_SCALAR_STYLE; break;
    case TextStyle::DoubleQuoted: style = YAML_DOUBLE_QUOTED_SCALAR_STYLE; break;
    case TextStyle::Literal: style = YAML_LITERAL_SCALAR_STYLE; break;
  }
  return emit_scalar(value, style);
}

Status Emitter::null() { return emit_scalar("null", YAML_PLAIN_SCALAR_STYLE); }

Status Emitter::integer(uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return emit_scalar(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)),
                     YAML_PLAIN_SCALAR_STYLE);
}

Status Emitter::boolean(bool value) {
  return emit_scalar(value ? "true" : "false", YAML_PLAIN_SCALAR_STYLE);
}

Status Emitter::finish() {
  if (Status st = start_document()) return st;
  yaml_event_t ev;
  yaml_document_end_event_initialize(&ev, 1);
  if (Status st = check(yaml_emitter_emit(emitter_, &ev), "cannot end a YAML document")) return st;
  yaml_stream_end_event_initialize(&ev);
  if (Status st = check(yaml_emitter_emit(emitter_, &ev), "cannot end a YAML stream")) return st;
  return check(yaml_emitter_flush(emitter_), "cannot write the YAML output");
}

// ---------------------------------------------------------------- records

namespace {

using record::FieldDef;
using record::FieldKind;
using record::RecordDef;
using record::Text;
using record::PairList;
using record::TextList;
using record::TextPair;
using record::value_as;

Status read_text_into(Walker& w, const Path& path, Text& out) {
  std::string_view s;
  if (Status st = read_str(w, path, record::kExpectString, s)) return st;
  out.assign(s);
  return std::nullopt;
}

Status read_text_list(Walker& w, const Path& path, TextList& out) {
  out.clear();
  return read_seq(w, path, record::kExpectSequence, [&](Walker& ew, const Path& ep) {
    return read_text_into(ew, ep, out.emplace_back());
  });
}

// A name and its list of texts, as a sequence of exactly two nodes.
Status read_pair(Walker& w, const Path& path, TextPair& out) {
  return read_tuple(w, path, record::kExpectPair, 2,
                    [&](Walker& ew, const Path& ep, std::size_t i) {
                      return i == 0 ? read_text_into(ew, ep, out.first)
                                    : read_text_list(ew, ep, out.second);
                    });
}

Status read_field(Walker& w, const Path& path, const FieldDef& f, void* v) {
  switch (f.kind) {
    case FieldKind::Text: return read_text_into(w, path, value_as<Text>(v));
    case FieldKind::OptionalText: {
      std::optional<std::string_view> s;
      if (Status st = read_optional_str(w, path, record::kExpectString, s)) return st;
      auto& out = value_as<std::optional<Text>>(v);
      if (s) out.emplace(*s);
      else out.reset();
      return std::nullopt;
    }
    case FieldKind::U16: {
      uint64_t n = 0;
      if (Status st = read_unsigned(w, path, record::kExpectU16, UINT16_MAX, n)) return st;
      value_as<std::uint16_t>(v) = static_cast<std::uint16_t>(n);
      return std::nullopt;
    }
    case FieldKind::Bool: return read_bool(w, path, record::kExpectBool, value_as<bool>(v));
    case FieldKind::TextList: return read_text_list(w, path, value_as<TextList>(v));
    case FieldKind::PairList: {
      auto& out = value_as<PairList>(v);
      out.clear();
      return read_seq(w, path, record::kExpectSequence, [&](Walker& ew, const Path& ep) {
        return read_pair(ew, ep, out.emplace_back());
      });
    }
    case FieldKind::Record: return read_record_node(w, path, f.nested(), v);
    case FieldKind::RecordList: {
      const record::RecordListOps& ops = *f.list;
      ops.clear(v);
      const RecordDef& def = f.nested();
      return read_seq(w, path, record::kExpectSequence, [&](Walker& ew, const Path& ep) {
        return read_record_node(ew, ep, def, ops.append(v));
      });
    }
  }
  return std::nullopt;
}

}  // namespace

// "struct <name>", built on the stack for the usual short names.
class StructExpected {
 public:
  explicit StructExpected(const RecordDef& def) {
    constexpr std::string_view prefix = "struct ";
    if (prefix.size() + def.name.size() <= sizeof buf_) {
      std::memcpy(buf_, prefix.data(), prefix.size());
      std::memcpy(buf_ + prefix.size(), def.name.data(), def.name.size());
      view_ = std::string_view(buf_, prefix.size() + def.name.size());
    } else {
      heap_ = def.expecting();
      view_ = heap_;
    }
  }
  std::string_view view() const noexcept { return view_; }

 private:
  char buf_[64];
  std::string heap_;
  std::string_view view_;
};

Status read_record_node(Walker& w, const Path& path, const RecordDef& def, void* record) {
  record::RecordReader reader(def, record);
  StructExpected expected(def);
  return read_map(
      w, path, expected.view(),
      [&](Walker& ew, std::string_view key, const Path& vp) -> Status {
        int i = reader.lookup(key);
        if (i == record::RecordReader::kUnknown) return ew.skip();
        if (i == record::RecordReader::kDuplicate) return duplicate_field(key);
        if (Status st = read_field(ew, vp, reader.field(i), reader.value(i))) return st;
        reader.mark_set(i);
        return std::nullopt;
      },
      [&]() -> Status {
        std::string message;
        if (!reader.finish_keyed(message)) return Error::message(std::move(message));
        return std::nullopt;
      });
}

bool read_record(std::string_view text, const RecordDef& def, void* record, std::string& error) {
  record::TextArena arena(text.size());  // a large document's records are carved from it
  Status st = read_document(text, [&](Walker& w, const Path& p) {
    return read_record_node(w, p, def, record);
  });
  if (!st) return true;
  error = st->text();
  return false;
}

namespace {

Status emit_texts(Emitter& e, const TextList& texts) {
  if (Status st = e.begin_sequence()) return st;
  for (const Text& t : texts)
    if (Status st = e.text(t)) return st;
  return e.end_sequence();
}

Status emit_field(Emitter& e, const FieldDef& f, const void* v) {
  switch (f.kind) {
    case FieldKind::Text: return e.text(value_as<Text>(v));
    case FieldKind::OptionalText: {
      const auto& o = value_as<std::optional<Text>>(v);
      return o ? e.text(*o) : e.null();
    }
    case FieldKind::U16: return e.integer(value_as<std::uint16_t>(v));
    case FieldKind::Bool: return e.boolean(value_as<bool>(v));
    case FieldKind::TextList: return emit_texts(e, value_as<TextList>(v));
    case FieldKind::PairList: {
      if (Status st = e.begin_sequence()) return st;
      for (const TextPair& p : value_as<PairList>(v)) {
        if (Status st = e.begin_sequence()) return st;
        if (Status st = e.text(p.first)) return st;
        if (Status st = emit_texts(e, p.second)) return st;
        if (Status st = e.end_sequence()) return st;
      }
      return e.end_sequence();
    }
    case FieldKind::Record: return emit_record(e, f.nested(), v);
    case FieldKind::RecordList: {
      const record::RecordListOps& ops = *f.list;
      if (Status st = e.begin_sequence()) return st;
      for (std::size_t i = 0, n = ops.size(v); i < n; ++i)
        if (Status st = emit_record(e, f.nested(), ops.at(v, i))) return st;
      return e.end_sequence();
    }
  }
  return std::nullopt;
}

}  // namespace

Status emit_record(Emitter& e, const RecordDef& def, const void* record) {
  if (Status st = e.begin_mapping()) return st;
  Status st;
  record::for_each_written(def, record, [&](const FieldDef& f, const void* v) {
    if (st) return;
    if ((st = e.text(f.key))) return;
    st = emit_field(e, f, v);
  });
  if (st) return st;
  return e.end_mapping();
}

std::optional<formats::WriteError> write_record(std::string& out, const RecordDef& def, const void* record) {
  Emitter e(out);
  Status st = emit_record(e, def, record);
  if (!st) st = e.finish();
  if (!st) return std::nullopt;
  return formats::WriteError::of(st->text());
}

}  // namespace qv::yaml
