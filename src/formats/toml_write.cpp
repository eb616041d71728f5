// Records (record/record.hpp) written as TOML documents, straight from their
// field tables.
//
// A record's fields are visited in byte order of their keys (sorted once per
// table) and grouped as toml.hpp tells: in every table the plain entries, then
// the arrays of tables, then the sub-tables. (The tests check the text against
// a printer of owned value trees, tests/cpp/oracles/toml_item.hpp.)
#include <brelmark/memory.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <memory>
#include <vector>

#include "formats/toml.hpp"

namespace qv::toml {

// ---------------------------------------------------------------------------
// Strings and headers.

namespace {

bool needs_escape(unsigned char c) noexcept { return c < 0x20 || c == 0x7F || c == '"' || c == '\\'; }

}  // namespace

void append_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  std::size_t run = 0;  // start of the bytes not yet written
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (!needs_escape(c)) continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

void append_header(std::string& out, std::span<const std::string_view> path, bool array, bool blank_line) {
  if (blank_line) out += '\n';
  out += array ? "[[" : "[";
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) out += '.';
    append_key(out, path[i]);
  }
  out += array ? "]]\n" : "]\n";
}

// ---------------------------------------------------------------------------
// Records.

namespace {

using record::FieldDef;
using record::Text;
using record::FieldKind;
using record::RecordDef;
using record::PairList;
using record::TextList;
using record::TextPair;
using record::value_as;

// The field indices of a table in byte order of their keys, computed once per
// table. Tables are constants with static storage, so their address identifies
// them. The orders form a list that only grows (by a compare-and-swap at its
// head) and lives as long as the process, so lookups take no lock; two threads
// meeting a new table at once may both add it, which is harmless.
const std::uint8_t* byte_order(const RecordDef& def) {
  struct Order {
    const RecordDef* def;
    std::unique_ptr<std::uint8_t[]> fields;
    const Order* next;
  };
  static std::atomic<const Order*> orders{nullptr};
  const Order* head = orders.load(std::memory_order_acquire);
  for (const Order* o = head; o != nullptr; o = o->next) {
    if (o->def == &def) return o->fields.get();
  }
  const std::size_t n = def.fields.size();  // at most 64 (record.hpp)
  auto* made = new Order{&def, std::make_unique<std::uint8_t[]>(n), head};
  for (std::size_t i = 0; i < n; ++i) made->fields[i] = static_cast<std::uint8_t>(i);
  std::stable_sort(made->fields.get(), made->fields.get() + n, [&](std::uint8_t x, std::uint8_t y) {
    return def.fields[x].key < def.fields[y].key;  // string_view compares unsigned bytes
  });
  while (!orders.compare_exchange_weak(made->next, made, std::memory_order_release, std::memory_order_acquire)) {
  }
  return made->fields.get();
}

// How the printer places a written field's value in its table.
enum class Group : std::uint8_t { Plain, ArrayOfTables, Table };

Group group_of(const FieldDef& f, const void* v) {
  if (f.kind == FieldKind::Record) return Group::Table;
  if (f.kind == FieldKind::RecordList && f.list->size(v) != 0) return Group::ArrayOfTables;
  return Group::Plain;  // an empty list of records is the inline array []
}

class RecordPrinter {
 public:
  explicit RecordPrinter(std::string& out) : out_(out) {}

  // An unset optional text that its table writes (its JSON value is a null).
  bool unsupported = false;

  // The entries of a record whose header (if any) is written.
  void body(const RecordDef& def, const void* record) {
    const std::uint8_t* order = byte_order(def);
    const std::size_t n = def.fields.size();
    std::size_t printed = 0;
    for (Group group : {Group::Plain, Group::ArrayOfTables, Group::Table}) {
      for (std::size_t k = 0; k < n; ++k) {
        const FieldDef& f = def.fields[order[k]];
        const void* v = f.in(record);
        if (!record::is_written(f, v) || group_of(f, v) != group) continue;
        switch (group) {
          case Group::Plain:
            append_key(out_, f.key);
            out_ += " = ";
            inline_value(f, v);
            out_ += '\n';
            break;
          case Group::ArrayOfTables:
            path_.push_back(f.key);
            for (std::size_t i = 0, count = f.list->size(v); i < count; ++i) {
              make_room();
              append_header(out_, path_, true, i > 0 || printed > 0);
              body(f.nested(), f.list->at(v, i));
            }
            path_.pop_back();
            break;
          case Group::Table:
            path_.push_back(f.key);
            // A table holding only tables or arrays of tables gets no header of
            // its own: its children's headers name it.
            if (has_plain_or_nothing(f.nested(), v)) append_header(out_, path_, false, printed > 0);
            body(f.nested(), v);
            path_.pop_back();
            break;
        }
        ++printed;
      }
    }
  }

 private:
  // Before each table of a list: room for a table's likely size, in huge pages once the document
  // is large (the string's own growth would ask for none).
  void make_room() {
    constexpr std::size_t kTableRoom = 64 * 1024;
    brelmark::grow_preferring_huge_pages(out_, out_.size() + kTableRoom);
  }

  std::string& out_;
  std::vector<std::string_view> path_;

  static bool has_plain_or_nothing(const RecordDef& def, const void* record) {
    bool any = false;
    for (const FieldDef& f : def.fields) {
      const void* v = f.in(record);
      if (!record::is_written(f, v)) continue;
      if (group_of(f, v) == Group::Plain) return true;
      any = true;
    }
    return !any;
  }

  void texts(const TextList& values) {
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ", ";
      append_string(out_, values[i]);
    }
    out_ += ']';
  }

  void inline_value(const FieldDef& f, const void* v) {
    switch (f.kind) {
      case FieldKind::Text: append_string(out_, value_as<Text>(v)); break;
      case FieldKind::OptionalText: {
        const auto& o = value_as<std::optional<Text>>(v);
        if (o) {
          append_string(out_, *o);
        } else {
          unsupported = true;
        }
        break;
      }
      case FieldKind::U16: {
        char digits[8];
        auto r = std::to_chars(digits, digits + sizeof digits, value_as<std::uint16_t>(v));
        out_.append(digits, r.ptr);
        break;
      }
      case FieldKind::Bool: out_ += value_as<bool>(v) ? "true" : "false"; break;
      case FieldKind::TextList: texts(value_as<TextList>(v)); break;
      case FieldKind::PairList: {
        const auto& pairs = value_as<PairList>(v);
        out_ += '[';
        for (std::size_t i = 0; i < pairs.size(); ++i) {
          if (i > 0) out_ += ", ";
          out_ += '[';
          append_string(out_, pairs[i].first);
          out_ += ", ";
          texts(pairs[i].second);
          out_ += ']';
        }
        out_ += ']';
        break;
      }
      case FieldKind::RecordList: out_ += "[]"; break;  // only an empty list is plain
      case FieldKind::Record: break;                    // never plain
    }
  }
};

}  // namespace

std::optional<formats::WriteError> write_record(std::string& out, const RecordDef& def, const void* record) {
  const std::size_t start = out.size();
  RecordPrinter printer(out);
  printer.body(def, record);
  if (printer.unsupported) {
    out.resize(start);
    return unsupported_type_error();
  }
  return std::nullopt;
}

}  // namespace qv::toml
