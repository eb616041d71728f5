// JSON value trees (test only): a record as an object of its written fields,
// lookup by key, and the tree as compact text.
#include "json_value.hpp"

#include <cmath>

namespace qv::json {

namespace {

Value text_list_value(const TextList& list) {
  Array a;
  a.reserve(list.size());
  for (const auto& s : list) a.emplace_back(s);
  return a;
}

Value field_value(const FieldDef& f, const void* v) {
  switch (f.kind) {
    case FieldKind::Text: return Value(value_as<Text>(v));
    case FieldKind::OptionalText: {
      const auto& o = value_as<std::optional<Text>>(v);
      return o ? Value(*o) : Value();
    }
    case FieldKind::U16: return Value(static_cast<std::uint64_t>(value_as<std::uint16_t>(v)));
    case FieldKind::Bool: return Value(value_as<bool>(v));
    case FieldKind::TextList: return text_list_value(value_as<TextList>(v));
    case FieldKind::PairList: {
      const auto& list = value_as<PairList>(v);
      Array a;
      a.reserve(list.size());
      for (const auto& [name, words] : list) a.emplace_back(Array{Value(name), text_list_value(words)});
      return a;
    }
    case FieldKind::Record: return to_value(f.nested(), v);
    case FieldKind::RecordList: {
      const RecordDef& def = f.nested();
      const std::size_t n = f.list->size(v);
      Array a;
      a.reserve(n);
      for (std::size_t i = 0; i < n; ++i) a.push_back(to_value(def, f.list->at(v, i)));
      return a;
    }
  }
  return {};
}

}  // namespace

const Value* Value::find(std::string_view key) const {
  for (const auto& [k, v] : as_object()) {
    if (k == key) return &v;
  }
  return nullptr;
}

Value to_value(const RecordDef& def, const void* record) {
  Object o;
  o.reserve(record::count_written(def, record));
  record::for_each_written(def, record, [&](const FieldDef& f, const void* v) {
    o.emplace_back(std::string(f.key), field_value(f, v));
  });
  return o;
}

void write_value(std::string& out, const Value& value) {
  switch (value.data.index()) {
    case 0: out += "null"; break;
    case 1: out += value.as_bool() ? "true" : "false"; break;
    case 2: out += std::to_string(value.as_int()); break;
    case 3: out += std::to_string(value.as_uint()); break;
    case 4: out += std::isfinite(value.as_double()) ? format_double(value.as_double()) : "null"; break;
    case 5: append_escaped(out, value.as_string()); break;
    case 6: {
      out += '[';
      bool first = true;
      for (const Value& e : value.as_array()) {
        if (!first) out += ',';
        first = false;
        write_value(out, e);
      }
      out += ']';
      break;
    }
    case 7: {
      out += '{';
      bool first = true;
      for (const auto& [k, v] : value.as_object()) {
        if (!first) out += ',';
        first = false;
        append_escaped(out, k);
        out += ':';
        write_value(out, v);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace qv::json
