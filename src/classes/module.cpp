// The module `quilvarn`: its definition, its one-time initialisation and the registration of its
// classes, in the order of the registration table, as module attributes and entries of `__all__`.
#include <atomic>

#include <brelmark/at_once.hpp>

#include "classes/classes.hpp"
#include "py/class.hpp"

namespace qv {
namespace {

struct Registration {
  const char* name;
  PyTypeObject* (*type)();
};

template <py::ModelClass T>
constexpr Registration registration() {
  return {py::ClassInfo<T>::name, &py::Class<T>::type};
}

// The registered classes in registration order: LTM, partition, PoolMember, MemberFqdn, Pool,
// Virtual, Snat, SnatPool, LtmPath. A class is added here by one line, in its place in that order,
// once it exists. Profile is a class of the module but never registered.
constexpr Registration kRegistrations[] = {
    registration<ltm::LTM>(),
    registration<ltm::Partition>(),
    registration<ltm::PoolMember>(),
    registration<ltm::MemberFqdn>(),
    registration<ltm::Pool>(),
    registration<ltm::Virtual>(),
    registration<ltm::Snat>(),
    registration<ltm::SnatPool>(),
    registration<ltm::LtmPath>(),
};

// The module's `__all__`, created as an empty list when it is missing.
py::Ref module_all(PyObject* module) {
  py::Ref all = py::Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) py::raise_pending();
    PyErr_Clear();
    all = py::checked(PyList_New(0));
    py::check_status(PyObject_SetAttrString(module, "__all__", all.get()));
    return all;
  }
  if (!PyList_Check(all.get())) py::raise_cannot_convert(all.get(), "PyList");
  return all;
}

void register_class(PyObject* module, const Registration& entry) {
  PyObject* type = reinterpret_cast<PyObject*>(entry.type());
  py::Ref all = module_all(module);
  py::Ref name = py::str_from(entry.name);
  if (PyList_Append(all.get(), name.get()) < 0) {
    py::fault("could not append __name__ to __all__: " + py::take_error_description());
  }
  py::check_status(PyObject_SetAttrString(module, entry.name, type));
}

void module_init(PyObject* module) {
  for (const Registration& entry : kRegistrations) register_class(module, entry);
}

PyModuleDef quilvarn_module = {
    PyModuleDef_HEAD_INIT,
    "quilvarn",  // name
    "",          // documentation: empty, not absent
    0,           // no per-module state
    nullptr,     // no module-level functions
    nullptr,     // single-phase initialisation: no slots
    nullptr,
    nullptr,
    nullptr,
};

// Set once a module object has been created; never reset.
std::atomic<bool> initialized{false};

}  // namespace
}  // namespace qv

PyMODINIT_FUNC PyInit_quilvarn() {
  using namespace qv;
  // A thread's first throw makes the C++ runtime's per-thread state, and the C library ends the
  // process where memory has run out by then: every call makes it first.
  py::ready_thread = brelmark::thread_blocks_made;
  return py::entry<PyObject*>(nullptr, [] {
    py::Ref module = py::checked(PyModule_Create(&quilvarn_module));
    if (initialized.exchange(true)) {
      py::raise(PyExc_ImportError, "the quilvarn module may only be initialized once per interpreter process");
    }
    module_init(module.get());
    return module.release();
  });
}
