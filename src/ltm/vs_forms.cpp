#include "ltm/vs_forms.hpp"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <vector>

#include "formats/toml.hpp"
#include "py_error.hpp"

namespace qv::ltm {

using quilvarn::formats::FieldDef;
using quilvarn::formats::FieldKind;
using quilvarn::formats::RecordDef;
using quilvarn::formats::TextPair;
using quilvarn::formats::value_as;

namespace {

// The field indices of a table in byte order of their keys, computed once per table. Tables are
// constants with static storage, so their address identifies them.
const std::uint8_t* byte_order(const RecordDef& def) {
  struct Entry {
    const RecordDef* def;
    std::unique_ptr<std::uint8_t[]> order;
  };
  static auto* cache = new std::vector<Entry>();
  for (const Entry& e : *cache) {
    if (e.def == &def) return e.order.get();
  }
  const std::size_t n = def.fields.size();
  auto order = std::make_unique<std::uint8_t[]>(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint8_t>(i);
  std::sort(order.get(), order.get() + n, [&](std::uint8_t a, std::uint8_t b) {
    return def.fields[a].key < def.fields[b].key;  // string_view compares unsigned bytes
  });
  cache->push_back({&def, std::move(order)});
  return cache->back().order.get();
}

enum class Group : std::uint8_t { Plain, ArrayOfTables, Table };

Group group_of(const FieldDef& f, const void* v) {
  if (f.kind == FieldKind::Record) return Group::Table;
  if (f.kind == FieldKind::RecordList && f.list->size(v) != 0) return Group::ArrayOfTables;
  return Group::Plain;
}

// Prints a record as the TOML printer prints the record's value tree (toml::write_record): in every
// table the plain entries, then the arrays of tables, then the sub-tables, each group in byte order
// of the keys; strings as basic strings. It walks the record directly, without building the JSON
// and TOML value trees.
class TomlPrinter {
 public:
  explicit TomlPrinter(std::string& out) : out_(out) {}

  // An unset optional text that a table writes has no TOML form (its JSON tree would hold a null).
  bool unsupported = false;

  void body(const RecordDef& def, const void* record) {
    const std::uint8_t* order = byte_order(def);
    const std::size_t n = def.fields.size();
    std::size_t printed = 0;
    for (Group group : {Group::Plain, Group::ArrayOfTables, Group::Table}) {
      for (std::size_t k = 0; k < n; ++k) {
        const FieldDef& f = def.fields[order[k]];
        const void* v = f.in(record);
        if (!quilvarn::formats::is_written(f, v) || group_of(f, v) != group) continue;
        switch (group) {
          case Group::Plain:
            key(f.key);
            out_ += " = ";
            inline_value(f, v);
            out_ += '\n';
            break;
          case Group::ArrayOfTables: {
            path_.push_back(f.key);
            for (std::size_t i = 0, count = f.list->size(v); i < count; ++i) {
              header(i > 0 || printed > 0, true);
              body(f.nested(), f.list->at(v, i));
            }
            path_.pop_back();
            break;
          }
          case Group::Table:
            path_.push_back(f.key);
            // A table holding only tables or arrays of tables gets no header of its own.
            if (has_plain_or_nothing(f.nested(), v)) header(printed > 0, false);
            body(f.nested(), v);
            path_.pop_back();
            break;
        }
        ++printed;
      }
    }
  }

 private:
  std::string& out_;
  std::vector<std::string_view> path_;

  static bool has_plain_or_nothing(const RecordDef& def, const void* record) {
    bool any = false;
    for (const FieldDef& f : def.fields) {
      const void* v = f.in(record);
      if (!quilvarn::formats::is_written(f, v)) continue;
      if (group_of(f, v) == Group::Plain) return true;
      any = true;
    }
    return !any;
  }

  void header(bool blank_line, bool array) {
    if (blank_line) out_ += '\n';
    out_ += array ? "[[" : "[";
    for (std::size_t i = 0; i < path_.size(); ++i) {
      if (i > 0) out_ += '.';
      key(path_[i]);
    }
    out_ += array ? "]]\n" : "]\n";
  }

  static bool is_bare_key(std::string_view k) {
    return !k.empty() && std::all_of(k.begin(), k.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
  }

  void key(std::string_view k) {
    if (is_bare_key(k)) {
      out_ += k;
    } else {
      string(k);
    }
  }

  // A basic string: quotation mark, backslash, the control characters and DEL escaped.
  void string(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out_ += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (c >= 0x20 && c != 0x7F && c != '"' && c != '\\') continue;
      out_.append(s.data() + run, i - run);
      run = i + 1;
      switch (c) {
        case '\b': out_ += "\\b"; break;
        case '\t': out_ += "\\t"; break;
        case '\n': out_ += "\\n"; break;
        case '\f': out_ += "\\f"; break;
        case '\r': out_ += "\\r"; break;
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        default: {
          const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
          out_.append(escape, 6);
        }
      }
    }
    out_.append(s.data() + run, s.size() - run);
    out_ += '"';
  }

  void texts(const std::vector<std::string>& values) {
    out_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) out_ += ", ";
      string(values[i]);
    }
    out_ += ']';
  }

  void inline_value(const FieldDef& f, const void* v) {
    switch (f.kind) {
      case FieldKind::Text: string(value_as<std::string>(v)); break;
      case FieldKind::OptionalText: {
        const auto& o = value_as<std::optional<std::string>>(v);
        if (o) {
          string(*o);
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
      case FieldKind::TextList: texts(value_as<std::vector<std::string>>(v)); break;
      case FieldKind::PairList: {
        const auto& pairs = value_as<std::vector<TextPair>>(v);
        out_ += '[';
        for (std::size_t i = 0; i < pairs.size(); ++i) {
          if (i > 0) out_ += ", ";
          out_ += '[';
          string(pairs[i].first);
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

DocumentText toml_write_record(const RecordDef& def, const void* record) {
  std::string out;
  TomlPrinter printer(out);
  printer.body(def, record);
  if (printer.unsupported) return {false, "UnsupportedType"};
#ifndef NDEBUG
  // Debug builds check the direct walk against the TOML layer's value-tree road.
  std::string reference;
  if (!quilvarn::toml::write_record(reference, def, record) && reference != out) {
    py::fault("TOML record printer differs from the value-tree printer:\n" + out + "\n---\n" + reference);
  }
#endif
  return {true, std::move(out)};
}

}  // namespace qv::ltm
