// Records read from TOML documents (the writer is in toml_write.cpp).
//
// A document is read as a table by keys. Tables given by headers (the root,
// [a], [[a]] tables) are read as tables: a failure inside the value of one of
// their keys names that key (" for key `a.b`", outermost first), and a failure
// of the table itself (a missing or repeated key, a table where another kind
// is needed) is placed at the last table header of the document. Everything
// else is read as a value: inline tables, dotted-key tables, inline arrays and
// scalars place a failure inside them at the start of the innermost such
// value, and their own keys are not named.
#include "formats/toml.hpp"

#include <algorithm>

namespace qv::toml {

namespace {

using record::FieldDef;
using record::Text;
using record::FieldKind;
using record::RecordDef;
using record::RecordReader;
using record::PairList;
using record::TextList;
using record::TextPair;
using record::value_as;

// Read as a table (no offset of its own; its keys are named in failures).
bool is_table_form(Value v) noexcept {
  return (v.kind() == Kind::Table && is_header_table(v.origin())) ||
         (v.kind() == Kind::Array && v.origin() == Origin::ArrayOfTables);
}

bool names_keys(Value table) noexcept { return table.kind() == Kind::Table && is_header_table(table.origin()); }

// How a value is named inside "invalid type" messages.
std::string found(Value v) {
  switch (v.kind()) {
    case Kind::String: return record::unexpected_str(v.text());
    case Kind::Integer: return record::unexpected_signed(v.integer());
    case Kind::Float: return record::unexpected_float(v.floating());
    case Kind::Boolean: return record::unexpected_bool(v.boolean());
    case Kind::Array: return std::string(record::kUnexpectedSeq);
    default: return std::string(record::kUnexpectedMap);  // tables and date-times
  }
}

std::string elements_in_sequence(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " element in sequence" : " elements in sequence");
}

class Reading {
 public:
  Error error;

  // A record from any value: a table by keys, an array by position.
  bool record(const RecordDef& def, void* out, Value v) {
    return guarded(v, [&] {
      RecordReader rr(def, out);
      if (v.kind() == Kind::Table) return keyed(rr, v);
      if (v.is_datetime()) return finish_keyed(rr);  // a table with one key of its own
      if (v.kind() == Kind::Array) return positional(rr, v);
      return fail(record::invalid_type(found(v), def.expecting()));
    });
  }

  // The entries of a table, by keys.
  bool keyed(RecordReader& rr, Value table) {
    for (Entry e : table.entries()) {
      Value child = e.value();
      if (child.kind() == Kind::Deferred) return deferred(child);
      const int i = rr.lookup(e.key);
      if (i == RecordReader::kDuplicate) return fail(record::duplicate_field(e.key));
      bool ok = i == RecordReader::kUnknown ? skip(child) : field(rr.field(i), rr.value(i), child);
      if (!ok) {
        if (names_keys(table)) error.add_key(e.key);
        return false;
      }
      if (i != RecordReader::kUnknown) rr.mark_set(i);
    }
    return finish_keyed(rr);
  }

 private:
  bool fail(std::string message) {
    error.message = std::move(message);
    error.keys.clear();
    error.offset.reset();
    return false;
  }

  bool deferred(Value d) {
    fail(std::string(d.text()));
    error.offset = d.offset();
    return false;
  }

  // Reads `v` with `read`; a failure inside a value takes the value's start
  // unless something inside it was placed already.
  template <class Read>
  bool guarded(Value v, Read&& read) {
    if (read()) return true;
    if (!is_table_form(v)) error.fix_offset(v.offset());
    return false;
  }

  bool finish_keyed(RecordReader& rr) {
    std::string message;
    return rr.finish_keyed(message) || fail(std::move(message));
  }

  bool positional(RecordReader& rr, Value array) {
    const std::size_t n = rr.def().fields.size();
    std::size_t count = 0;
    for (Entry e : array.entries()) {
      if (count == n) break;
      const int i = static_cast<int>(count);
      if (!field(rr.field(i), rr.value(i), e.value())) return false;
      ++count;
    }
    std::string message;
    if (!rr.finish_positional(count, message)) return fail(std::move(message));
    // An inline array must end with the record.
    if (array.origin() == Origin::Inline && array.size() > n) {
      return fail(record::invalid_length(array.size(), elements_in_sequence(n)));
    }
    return true;
  }

  // A key no field has: its value is passed over, but a table under it is
  // walked, so that errors of the headers below are still met.
  bool skip(Value v) {
    if (!v.holds_deferred()) return true;
    for (Entry e : v.entries()) {
      Value child = e.value();
      if (child.kind() == Kind::Deferred) return deferred(child);
      if (!skip(child)) {
        if (names_keys(v)) error.add_key(e.key);
        return false;
      }
    }
    return true;
  }

  bool text(Text& out, Value v) {
    if (v.kind() != Kind::String) return fail(record::invalid_type(found(v), record::kExpectString));
    out.assign(v.text());
    return true;
  }

  bool u16(std::uint16_t& out, Value v) {
    if (v.kind() != Kind::Integer) return fail(record::invalid_type(found(v), record::kExpectU16));
    const std::int64_t n = v.integer();
    if (n < 0 || n > 65535) return fail(record::invalid_value(found(v), record::kExpectU16));
    out = static_cast<std::uint16_t>(n);
    return true;
  }

  bool boolean(bool& out, Value v) {
    if (v.kind() != Kind::Boolean) return fail(record::invalid_type(found(v), record::kExpectBool));
    out = v.boolean();
    return true;
  }

  // An array (inline or of tables), element by element.
  template <class Each>
  bool list(Value v, Each&& each) {
    if (v.kind() != Kind::Array) return fail(record::invalid_type(found(v), record::kExpectSequence));
    for (Entry e : v.entries()) {
      Value element = e.value();
      if (!guarded(element, [&] { return each(element); })) return false;
    }
    return true;
  }

  // Room for the records of an array of `length` elements, when the list is
  // full: eight times the records read so far (eight at first), up to that
  // length. Growing by eights moves a record about once in seven instead of
  // once in two and takes about the list's own size instead of twice, while
  // a length no record has borne out yet is not taken on trust.
  static void grow_record_list(const record::RecordListOps& ops, void* list, std::size_t length) {
    const std::size_t n = ops.size(list);
    ops.reserve(list, std::min(length, std::max<std::size_t>(8, 8 * n)));
  }

  // A name and its texts: an array of exactly two values.
  bool pair(TextPair& out, Value v) {
    if (v.kind() != Kind::Array) return fail(record::invalid_type(found(v), record::kExpectPair));
    std::size_t k = 0;
    for (Entry e : v.entries()) {
      if (k == 2) {
        return fail(record::invalid_length(v.size(), elements_in_sequence(2)));
      }
      Value element = e.value();
      bool ok = guarded(element, [&] {
        return k == 0 ? text(out.first, element)
                      : list(element, [&](Value t) { return text(out.second.emplace_back(), t); });
      });
      if (!ok) return false;
      ++k;
    }
    if (k < 2) return fail(record::invalid_length(k, record::kExpectPair));
    return true;
  }

  bool field(const FieldDef& f, void* out, Value v) {
    return guarded(v, [&] {
      switch (f.kind) {
        case FieldKind::Text: return text(value_as<Text>(out), v);
        case FieldKind::OptionalText: {
          auto& opt = value_as<std::optional<Text>>(out);
          Text s;
          if (!text(s, v)) return false;
          opt = std::move(s);
          return true;
        }
        case FieldKind::U16: return u16(value_as<std::uint16_t>(out), v);
        case FieldKind::Bool: return boolean(value_as<bool>(out), v);
        case FieldKind::TextList: {
          auto& texts = value_as<TextList>(out);
          texts.clear();
          return list(v, [&](Value e) { return text(texts.emplace_back(), e); });
        }
        case FieldKind::PairList: {
          auto& pairs = value_as<PairList>(out);
          pairs.clear();
          return list(v, [&](Value e) { return pair(pairs.emplace_back(), e); });
        }
        case FieldKind::Record: return record(f.nested(), out, v);
        case FieldKind::RecordList: {
          const RecordDef& def = f.nested();
          const record::RecordListOps& ops = *f.list;
          ops.clear(out);
          const std::size_t length = v.size();
          return list(v, [&](Value e) {
            if (ops.size(out) == ops.capacity(out)) grow_record_list(ops, out, length);
            return record(def, ops.append(out), e);
          });
        }
      }
      return false;
    });
  }
};

}  // namespace

bool read_record(std::string_view text, const RecordDef& def, void* record, std::string& error) {
  record::TextArena arena(text.size());  // a large document's records are carved from it
  auto parsed = parse(text);
  if (auto* e = std::get_if<Error>(&parsed)) {
    error = e->render(text);
    return false;
  }
  const Document& doc = std::get<Document>(parsed);
  Reading reading;
  RecordReader rr(def, record);
  if (reading.keyed(rr, doc.root())) return true;
  reading.error.fix_offset(doc.last_table_offset());
  error = reading.error.render(text);
  return false;
}

}  // namespace qv::toml
