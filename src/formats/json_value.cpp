// JSON value trees: a record as an object of its written fields, and lookup
// by key. (A tree is written as text in json_write.cpp.)
#include "formats/json.hpp"

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
  o.reserve(formats::count_written(def, record));
  formats::for_each_written(def, record, [&](const FieldDef& f, const void* v) {
    o.emplace_back(std::string(f.key), field_value(f, v));
  });
  return o;
}

}  // namespace qv::json
