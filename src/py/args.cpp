#include "py/args.hpp"

#include <cstring>
#include <string>

namespace qv::py {

namespace {

std::string full_name(const ArgumentSpec& spec) {
  return std::string(spec.class_name) + "." + spec.member_name + "()";
}

[[noreturn]] void too_many_positional(const ArgumentSpec& spec, Py_ssize_t given) {
  std::string message = full_name(spec) + " takes ";
  if (spec.required == spec.count) {
    message += std::to_string(spec.count);
  } else {
    message += "from " + std::to_string(spec.required) + " to " + std::to_string(spec.count);
  }
  message += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  raise(PyExc_TypeError, message);
}

// 'a'; 'a' and 'b'; 'a', 'b' and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += (i + 1 == names.size()) ? " and " : ", ";
    out += "'";
    out += names[i];
    out += "'";
  }
  return out;
}

}  // namespace

void Arguments::match(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  const ArgumentSpec& spec = spec_;
  if (nargs > static_cast<Py_ssize_t>(spec.count)) too_many_positional(spec, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = args[i];
  if (kwnames != nullptr) {
    Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) bind_keyword(PyTuple_GET_ITEM(kwnames, k), args[nargs + k]);
  }
  check_required();
}

Arguments::Arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs) : spec_(spec) {
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs > static_cast<Py_ssize_t>(spec.count)) too_many_positional(spec, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = PyTuple_GET_ITEM(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject *name = nullptr, *value = nullptr;
    while (PyDict_Next(kwargs, &pos, &name, &value)) bind_keyword(name, value);
  }
  check_required();
}

void Arguments::bind_keyword(PyObject* name, PyObject* value) {
  Py_ssize_t size = 0;
  const char* keyword = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
  if (keyword == nullptr) {
    if (PyErr_Occurred()) raise_pending();
    raise(PyExc_TypeError, full_name(spec_) + " keywords must be strings");
  }
  std::string_view text(keyword, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < spec_.count; ++i) {
    if (text != spec_.names[i]) continue;
    if (values_[i] != nullptr) {
      raise(PyExc_TypeError, full_name(spec_) + " got multiple values for argument '" + spec_.names[i] + "'");
    }
    values_[i] = value;
    return;
  }
  raise(PyExc_TypeError, full_name(spec_) + " got an unexpected keyword argument '" + std::string(text) + "'");
}

void Arguments::check_required() const {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < spec_.required; ++i) {
    if (values_[i] == nullptr) missing.push_back(spec_.names[i]);
  }
  if (missing.empty()) return;
  std::string message = full_name(spec_) + " missing " + std::to_string(missing.size()) + " required positional argument";
  if (missing.size() > 1) message += "s";
  raise(PyExc_TypeError, message + ": " + quoted_list(missing));
}

}  // namespace qv::py
