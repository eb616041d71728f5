#include "py/dict.hpp"

#include <cstring>
#include <memory>
#include <vector>

#include "py/error.hpp"

namespace qv::py {

using qv::formats::FieldDef;
using qv::formats::FieldKind;
using qv::formats::RecordDef;
using qv::formats::TextPair;
using qv::formats::value_as;

namespace {

// ---- Key strings ----------------------------------------------------------------------------------

// The interned key strings of one table, in field order. Tables are constants with static storage,
// so their address identifies them; the strings are never released.
struct TableKeys {
  const RecordDef* def;
  std::unique_ptr<PyObject*[]> keys;
};

PyObject* const* keys_of(const RecordDef& def) {
  static std::vector<TableKeys>* cache = new std::vector<TableKeys>();
  for (const TableKeys& entry : *cache) {
    if (entry.def == &def) return entry.keys.get();
  }
  const std::size_t n = def.fields.size();
  auto keys = std::make_unique<PyObject*[]>(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view key = def.fields[i].key;
    PyObject* text = PyUnicode_FromStringAndSize(key.data(), static_cast<Py_ssize_t>(key.size()));
    if (text == nullptr) {
      for (std::size_t j = 0; j < i; ++j) Py_DECREF(keys[j]);
      raise_pending();
    }
    PyUnicode_InternInPlace(&text);
    keys[i] = text;
  }
  cache->push_back({&def, std::move(keys)});
  return cache->back().keys.get();
}

// ---- Values ---------------------------------------------------------------------------------------

bool is_ascii(const char* p, std::size_t n) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i) {
    if (static_cast<unsigned char>(p[i]) & 0x80) return false;
  }
  return true;
}

// A new str holding the UTF-8 text (copied straight in when it is ASCII).
Ref text(std::string_view value) {
  const auto n = static_cast<Py_ssize_t>(value.size());
  if (is_ascii(value.data(), value.size())) {
    PyObject* s = PyUnicode_New(n, 127);
    if (s == nullptr) raise_pending();
    std::memcpy(PyUnicode_1BYTE_DATA(s), value.data(), value.size());
    return Ref::steal(s);
  }
  return checked(PyUnicode_DecodeUTF8(value.data(), n, nullptr));
}

Ref text_list(const std::vector<std::string>& values) {
  Ref list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text(values[i]).release());
  }
  return list;
}

Ref pair(const TextPair& value) {
  Ref first = text(value.first);
  Ref second = text_list(value.second);
  PyObject* tuple = PyTuple_New(2);
  if (tuple == nullptr) raise_pending();
  PyTuple_SET_ITEM(tuple, 0, first.release());
  PyTuple_SET_ITEM(tuple, 1, second.release());
  return Ref::steal(tuple);
}

Ref new_dict(std::size_t entries) {
#if PY_VERSION_HEX < 0x030D0000
  return checked(_PyDict_NewPresized(static_cast<Py_ssize_t>(entries)));
#else
  (void)entries;
  return checked(PyDict_New());
#endif
}

Ref field_value(const FieldDef& f, const void* v) {
  switch (f.kind) {
    case FieldKind::Text: return text(value_as<std::string>(v));
    case FieldKind::OptionalText: {
      const auto& optional = value_as<std::optional<std::string>>(v);
      return optional ? text(*optional) : Ref::borrow(Py_None);
    }
    case FieldKind::U16: return checked(PyLong_FromLong(value_as<std::uint16_t>(v)));
    case FieldKind::Bool: return Ref::borrow(value_as<bool>(v) ? Py_True : Py_False);
    case FieldKind::TextList: return text_list(value_as<std::vector<std::string>>(v));
    case FieldKind::Record: return dict_from_record(f.nested(), v);
    case FieldKind::RecordList: {
      const RecordDef& def = f.nested();
      const std::size_t n = f.list->size(v);
      Ref list = checked(PyList_New(static_cast<Py_ssize_t>(n)));
      for (std::size_t i = 0; i < n; ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict_from_record(def, f.list->at(v, i)).release());
      }
      return list;
    }
    case FieldKind::PairList: {
      const auto& pairs = value_as<std::vector<TextPair>>(v);
      Ref list = checked(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair(pairs[i]).release());
      }
      return list;
    }
  }
  fault("unknown field kind");
}

}  // namespace

Ref dict_from_record(const RecordDef& def, const void* record) {
  PyObject* const* keys = keys_of(def);
  Ref dict = new_dict(def.fields.size());
  for (std::size_t i = 0; i < def.fields.size(); ++i) {
    const FieldDef& f = def.fields[i];
    const void* v = f.in(record);
    if (!qv::formats::is_written(f, v)) continue;
    Ref value = field_value(f, v);
    check_status(PyDict_SetItem(dict.get(), keys[i], value.get()));
  }
  return dict;
}

}  // namespace qv::py
