#include "py/class.hpp"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qv::py {

void raise_already_mutably_borrowed() { raise(PyExc_RuntimeError, "Already mutably borrowed"); }
void raise_already_borrowed() { raise(PyExc_RuntimeError, "Already borrowed"); }
void raise_cannot_delete() { raise(PyExc_AttributeError, "can't delete attribute"); }

namespace {

// What the interpreter keeps pointers into for as long as the type lives, that is until the
// process ends: the full name and the method and attribute tables.
struct TypeStorage {
  std::string full_name;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> attributes;
  std::vector<PyType_Slot> slots;
};

void add_attribute(std::vector<PyGetSetDef>& attributes, const Item& item) {
  for (PyGetSetDef& existing : attributes) {
    if (std::strcmp(existing.name, item.name) != 0) continue;
    if (item.get != nullptr) existing.get = item.get;
    if (item.set != nullptr) existing.set = item.set;
    return;
  }
  attributes.push_back({item.name, item.get, item.set, nullptr, nullptr});
}

}  // namespace

PyTypeObject* create_type_object(const char* name, Py_ssize_t basic_size, destructor dealloc,
                                 std::span<const Item> items) {
  auto storage = std::make_unique<TypeStorage>();
  storage->full_name = std::string("builtins.") + name;
  storage->slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  for (const Item& item : items) {
    switch (item.kind) {
      case Item::Kind::method:
        storage->methods.push_back({item.name, item.function(), item.flags, item.doc});
        break;
      case Item::Kind::attribute:
        add_attribute(storage->attributes, item);
        break;
      case Item::Kind::slot:
        storage->slots.push_back({item.slot, item.slot_function()});
        break;
    }
  }
  if (!storage->methods.empty()) {
    storage->methods.push_back({nullptr, nullptr, 0, nullptr});
    storage->slots.push_back({Py_tp_methods, storage->methods.data()});
  }
  if (!storage->attributes.empty()) {
    storage->attributes.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
    storage->slots.push_back({Py_tp_getset, storage->attributes.data()});
  }
  storage->slots.push_back({0, nullptr});

  PyType_Spec spec{storage->full_name.c_str(), static_cast<int>(basic_size), 0, Py_TPFLAGS_DEFAULT,
                   storage->slots.data()};
  PyObject* type = PyType_FromSpec(&spec);
  if (type == nullptr) {
    PyErr_Print();
    fault(std::string("An error occurred while initializing class ") + name);
  }
  for (const Item& item : items) {
    if (item.construct != nullptr) reinterpret_cast<PyTypeObject*>(type)->tp_vectorcall = item.construct;
  }
  // The type refers to the storage for the rest of the process: keep it reachable, never free it.
  static auto* kept = new std::vector<TypeStorage*>();
  kept->push_back(storage.release());
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace qv::py
