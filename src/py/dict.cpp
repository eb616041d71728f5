#include "py/dict.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "py/error.hpp"
#include "py/utf8_str.hpp"

namespace qv::py {

// This file speaks the records' own vocabulary: fields, tables, texts and lists.
using namespace qv::record;

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

// ---- The collector -------------------------------------------------------------------------------

// Holds off the interpreter's cyclic garbage collector for its life and then leaves it as it found
// it (enabled again only when it was enabled before), also when an exception leaves the scope. A
// tree of records is thousands of new containers none of which can be in a cycle; with the
// collector on, it would pass over the growing tree again and again while it is built.
class CollectorPause {
 public:
#if PY_VERSION_HEX >= 0x030A0000
  CollectorPause() noexcept : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }
#else
  CollectorPause() : gc_(checked(PyImport_ImportModule("gc"))) {
    Ref enabled = checked(PyObject_CallMethod(gc_.get(), "isenabled", nullptr));
    was_enabled_ = enabled.get() == Py_True;
    if (was_enabled_) checked(PyObject_CallMethod(gc_.get(), "disable", nullptr));
  }
  ~CollectorPause() {
    if (!was_enabled_) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);  // an error on its way to the caller stays as it was
    Py_XDECREF(PyObject_CallMethod(gc_.get(), "enable", nullptr));
    PyErr_Restore(type, value, traceback);
  }
#endif
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;

 private:
#if PY_VERSION_HEX < 0x030A0000
  Ref gc_;
#endif
  bool was_enabled_;
};

// ---- Values ---------------------------------------------------------------------------------------

// The str objects of one tree. A configuration repeats most of its short texts (states, profile
// names, times, addresses), so a short ASCII text seen lately is handed out again instead of a new
// str of the same value: a table of recent texts, each in the slot its hash picks, the newest
// winning a slot. The table holds a reference to each of its strings until it goes. Only the
// slots in use are touched, so that a small record pays little for the table.
class TextCache {
 public:
  TextCache() noexcept = default;
  ~TextCache() {
    for (std::size_t word = 0; word < used_.size(); ++word) {
      for (std::uint64_t bits = used_[word]; bits != 0; bits &= bits - 1) {
        Py_DECREF(slots_[word * 64 + static_cast<std::size_t>(std::countr_zero(bits))]);
      }
    }
  }
  TextCache(const TextCache&) = delete;
  TextCache& operator=(const TextCache&) = delete;

  Ref text(std::string_view value) {
    const std::size_t n = value.size();
    if (n == 0 || n > kLongest) return utf8_str(value);
    const std::size_t i = slot_of(value);
    std::uint64_t& word = used_[i / 64];
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    if ((word & bit) != 0) {
      PyObject* seen = slots_[i];
      if (static_cast<std::size_t>(PyUnicode_GET_LENGTH(seen)) == n &&
          std::memcmp(PyUnicode_1BYTE_DATA(seen), value.data(), n) == 0) {
        return Ref::borrow(seen);
      }
    }
    Ref made = utf8_str(value);
    if (PyUnicode_IS_ASCII(made.get())) {  // an ASCII str holds the UTF-8 bytes as they are
      if ((word & bit) != 0) Py_DECREF(slots_[i]);
      slots_[i] = Ref(made).release();
      word |= bit;
    }
    return made;
  }

 private:
  static constexpr int kSlotBits = 8;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  static constexpr std::size_t kLongest = 48;

  // From the length and the first and last eight bytes (texts of a kind differ at their ends:
  // numbered names, times).
  static std::size_t slot_of(std::string_view value) noexcept {
    const std::size_t n = value.size();
    std::uint64_t head = 0, tail = 0;
    if (n >= 8) {
      std::memcpy(&head, value.data(), 8);
      std::memcpy(&tail, value.data() + n - 8, 8);
    } else {
      std::memcpy(&head, value.data(), n);
    }
    const std::uint64_t h = head * 0x9E3779B97F4A7C15ULL ^ (tail + n) * 0xC2B2AE3D27D4EB4FULL;
    return static_cast<std::size_t>(h >> (64 - kSlotBits));
  }

  std::array<PyObject*, kSlots> slots_;  // slot i holds a reference when bit i of used_ is set
  std::array<std::uint64_t, kSlots / 64> used_{};
};

// One tree of dictionaries, built with the collector held off and short texts shared.
class TreeBuilder {
 public:
  // The dict is made for the written fields alone (a table has at most 64 fields): a record
  // writes few of its optional ones, and a smaller dict is less memory to fill.
  Ref record(const RecordDef& def, const void* record) {
    PyObject* const* keys = keys_of(def);
    std::uint64_t written = 0;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
      const FieldDef& f = def.fields[i];
      if (qv::record::is_written(f, f.in(record))) written |= std::uint64_t{1} << i;
    }
    Ref dict = new_dict(static_cast<std::size_t>(std::popcount(written)));
    for (; written != 0; written &= written - 1) {
      const auto i = static_cast<std::size_t>(std::countr_zero(written));
      const FieldDef& f = def.fields[i];
      Ref value = field_value(f, f.in(record));
      check_status(PyDict_SetItem(dict.get(), keys[i], value.get()));
    }
    return dict;
  }

 private:
  static Ref new_dict(std::size_t entries) {
#if PY_VERSION_HEX < 0x030D0000
    return checked(_PyDict_NewPresized(static_cast<Py_ssize_t>(entries)));
#else
    (void)entries;
    return checked(PyDict_New());
#endif
  }

  Ref text_list(const TextList& values) {
    Ref list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t i = 0; i < values.size(); ++i) {
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), texts_.text(values[i]).release());
    }
    return list;
  }

  Ref pair(const TextPair& value) {
    Ref first = texts_.text(value.first);
    Ref second = text_list(value.second);
    PyObject* tuple = PyTuple_New(2);
    if (tuple == nullptr) raise_pending();
    PyTuple_SET_ITEM(tuple, 0, first.release());
    PyTuple_SET_ITEM(tuple, 1, second.release());
    return Ref::steal(tuple);
  }

  Ref field_value(const FieldDef& f, const void* v) {
    switch (f.kind) {
      case FieldKind::Text: return texts_.text(value_as<Text>(v));
      case FieldKind::OptionalText: {
        const auto& optional = value_as<std::optional<Text>>(v);
        return optional ? texts_.text(*optional) : Ref::borrow(Py_None);
      }
      case FieldKind::U16: return checked(PyLong_FromLong(value_as<std::uint16_t>(v)));
      case FieldKind::Bool: return Ref::borrow(value_as<bool>(v) ? Py_True : Py_False);
      case FieldKind::TextList: return text_list(value_as<TextList>(v));
      case FieldKind::Record: return record(f.nested(), v);
      case FieldKind::RecordList: {
        const RecordDef& def = f.nested();
        const std::size_t n = f.list->size(v);
        Ref list = checked(PyList_New(static_cast<Py_ssize_t>(n)));
        for (std::size_t i = 0; i < n; ++i) {
          PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), record(def, f.list->at(v, i)).release());
        }
        return list;
      }
      case FieldKind::PairList: {
        const auto& pairs = value_as<PairList>(v);
        Ref list = checked(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
        for (std::size_t i = 0; i < pairs.size(); ++i) {
          PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), pair(pairs[i]).release());
        }
        return list;
      }
    }
    fault("unknown field kind");
  }

  CollectorPause pause_;
  TextCache texts_;
};

}  // namespace

Ref dict_from_record(const RecordDef& def, const void* record) {
  return TreeBuilder().record(def, record);
}

}  // namespace qv::py
