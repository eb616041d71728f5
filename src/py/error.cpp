#include "py/error.hpp"

#include <cstdio>
#include <new>

namespace qv::py {

void raise(PyObject* type, std::string_view message) {
  PyObject* text = PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()));
  if (text != nullptr) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw ErrorAlreadySet{};
}

void raise_pending() {
  if (!PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  throw ErrorAlreadySet{};
}

void fault(std::string message, std::source_location where) {
  throw InternalFault(std::move(message), where);
}

void fault_none(std::source_location where) {
  fault("called `Option::unwrap()` on a `None` value", where);
}

void fault_err(std::string_view debug, std::source_location where) {
  std::string message = "called `Result::unwrap()` on an `Err` value: ";
  message += debug;
  fault(std::move(message), where);
}

std::string take_error_description() {
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return {};
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref owned_type = Ref::steal(type), owned_value = Ref::steal(value), owned_tb = Ref::steal(traceback);
  std::string out;
  if (Ref repr = Ref::steal(PyObject_Repr(value ? value : type))) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(repr.get(), &size)) out.assign(utf8, static_cast<size_t>(size));
  }
  PyErr_Clear();  // a failure while describing leaves nothing behind
  if (out.empty()) out = reinterpret_cast<PyTypeObject*>(type)->tp_name;
  return out;
}

PyObject* panic_exception_type() noexcept {
  // Filled once under the interpreter lock; lives until the process ends.
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "quilvarn.PanicException",
        "An internal fault of the quilvarn module: a condition that no input should cause.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

namespace {

// The source file from its "src/" directory on (the compiler may see a longer path).
std::string_view source_file(const std::source_location& where) {
  std::string_view file = where.file_name();
  if (auto pos = file.rfind("/src/"); pos != std::string_view::npos) return file.substr(pos + 1);
  return file;
}

void raise_panic(const char* message, const std::source_location* where) noexcept {
  if (where != nullptr) {
    std::fprintf(stderr, "quilvarn: internal fault at %.*s:%u:%u: %s\n",
                 static_cast<int>(source_file(*where).size()), source_file(*where).data(),
                 static_cast<unsigned>(where->line()), static_cast<unsigned>(where->column()), message);
  } else {
    std::fprintf(stderr, "quilvarn: internal fault: %s\n", message);
  }
  std::fflush(stderr);
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // the interpreter's error of the failed creation stays set
  PyErr_SetString(type, message);
}

}  // namespace

void fault_pending(std::source_location where) {
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw ErrorAlreadySet{};
  fault_err(take_error_description(), where);
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const InternalFault& f) {
    raise_panic(f.what(), &f.where());
  } catch (const std::exception& e) {
    raise_panic(e.what(), nullptr);
  } catch (...) {
    raise_panic("unknown C++ exception", nullptr);
  }
}

}  // namespace qv::py
