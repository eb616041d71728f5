#include "py/convert.hpp"

#include <algorithm>

namespace qv::py {

std::string type_qualname(PyTypeObject* type) {
  if (Ref name = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__qualname__"))) {
    Py_ssize_t size = 0;
    if (PyUnicode_Check(name.get())) {
      if (const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
        return std::string(utf8, static_cast<std::size_t>(size));
      }
    }
  }
  PyErr_Clear();
  return type->tp_name;
}

void raise_cannot_convert(PyObject* value, std::string_view target) {
  std::string message = "'";
  message += type_qualname(Py_TYPE(value));
  message += "' object cannot be converted to '";
  message += target;
  message += "'";
  raise(PyExc_TypeError, message);
}

void prefix_argument_error(const char* name) noexcept {
  if (!PyErr_Occurred() || !PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref owned_type = Ref::steal(type), owned_value = Ref::steal(value), owned_tb = Ref::steal(traceback);
  if (type != PyExc_TypeError) {  // a subclass of TypeError keeps its own type and text
    PyErr_Restore(owned_type.release(), owned_value.release(), owned_tb.release());
    return;
  }
  Ref text = Ref::steal(PyObject_Str(value));
  Ref message = text ? Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get())) : Ref();
  Ref replaced = message ? Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get())) : Ref();
  if (!replaced) return;  // the error of the failed rewrite is set instead
  if (PyObject* cause = PyException_GetCause(value)) PyException_SetCause(replaced.get(), cause);
  PyErr_SetObject(PyExc_TypeError, replaced.get());
}

std::string_view From<std::string_view>::convert(PyObject* value) {
  if (!PyUnicode_Check(value)) raise_cannot_convert(value, "PyString");
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
  if (utf8 == nullptr) raise_pending();  // e.g. a lone surrogate has no UTF-8 form
  return {utf8, static_cast<std::size_t>(size)};
}

std::uint16_t From<std::uint16_t>::convert(PyObject* value) {
  Ref index = checked(PyNumber_Index(value));
  long number = PyLong_AsLong(index.get());
  if (number == -1 && PyErr_Occurred()) raise_pending();
  if (number < 0 || number > 0xFFFF) raise(PyExc_OverflowError, "out of range integral type conversion attempted");
  return static_cast<std::uint16_t>(number);
}

bool From<bool>::convert(PyObject* value) {
  if (!PyBool_Check(value)) raise_cannot_convert(value, "PyBool");
  return value == Py_True;
}

Ref begin_sequence(PyObject* value, std::size_t most, std::size_t& room) {
  if (PyUnicode_Check(value)) raise(PyExc_ValueError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(value)) raise_cannot_convert(value, "Sequence");
  Py_ssize_t hint = PyObject_LengthHint(value, 0);
  if (hint < 0) raise_pending();
  room = std::min(static_cast<std::size_t>(hint), most);
  return checked(PyObject_GetIter(value));
}

void check_tuple(PyObject* value, Py_ssize_t length) {
  if (!PyTuple_Check(value)) raise_cannot_convert(value, "PyTuple");
  Py_ssize_t found = PyTuple_GET_SIZE(value);
  if (found != length) {
    raise(PyExc_ValueError, "expected tuple of length " + std::to_string(length) + ", but got tuple of length " +
                                std::to_string(found));
  }
}

Ref str_from(std::string_view text) {
  return checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace qv::py
