#pragma once
// Conversions between Python objects and the C++ values of the model.
//
// From Python: convert<C>(object) gives a C or throws the Python error (py/error.hpp):
//   std::string_view  a str, viewed as UTF-8 (valid while the str lives)
//   std::string       a str, copied
//   std::uint16_t     through the integer-index protocol (__index__), 0 to 65535
//   bool              exactly True or False
//   std::optional<C>  None, or a C
//   std::vector<C>    any sequence except str, items taken by iteration (its length only a hint)
//   std::pair<A, B>   a tuple of two
//   model values      copies out of objects of the class (py/class.hpp)
// A value of the wrong type raises TypeError "'<type>' object cannot be converted to '<target>'",
// with the target "PyString", "PyBool", "Sequence", "PyTuple" or a class name.
//
// To Python: to_py(value) gives a new reference (Ref) for the same kinds, plus Ref itself.
#include "py/error.hpp"

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace qv::py {

// Each model class specialises ClassInfo (py/class.hpp); conversions of model values live there.
template <class T>
struct ClassInfo;
template <class T>
concept ModelClass = requires {
  { ClassInfo<T>::name } -> std::convertible_to<const char*>;
};

// The `__qualname__` of a type (its tp_name when the attribute cannot be read).
std::string type_qualname(PyTypeObject* type);

// TypeError "'<qualified name of the value's type>' object cannot be converted to '<target>'".
[[noreturn]] void raise_cannot_convert(PyObject* value, std::string_view target);

// Runs `convert` for the argument `name` of a method or constructor: a TypeError it raises is
// replaced by TypeError "argument '<name>': <text>" with the same cause; other errors pass.
void prefix_argument_error(const char* name) noexcept;
template <class F>
decltype(auto) convert_argument(const char* name, F&& convert) {
  try {
    return convert();
  } catch (const ErrorAlreadySet&) {
    prefix_argument_error(name);
    throw;
  }
}

// ---- From Python --------------------------------------------------------------------------

template <class C, class Enable = void>
struct From;

template <class C>
C convert(PyObject* value) {
  return From<C>::convert(value);
}

template <>
struct From<std::string_view> {
  static std::string_view convert(PyObject* value);
};

template <>
struct From<std::string> {
  static std::string convert(PyObject* value) { return std::string(From<std::string_view>::convert(value)); }
};

template <>
struct From<std::uint16_t> {
  static std::uint16_t convert(PyObject* value);
};

template <>
struct From<bool> {
  static bool convert(PyObject* value);
};

template <class C>
struct From<std::optional<C>> {
  static std::optional<C> convert(PyObject* value) {
    if (value == Py_None) return std::nullopt;
    return From<C>::convert(value);
  }
};

// Refuses str and non-sequences; returns an iterator over the sequence and, in `room`, how many
// items to make room for: the sequence's length hint taken as list() takes it (an error of
// __len__ other than TypeError passes), at most `most`. The length a sequence reports is only a
// hint: the iteration decides the items.
Ref begin_sequence(PyObject* value, std::size_t most, std::size_t& room);

// The room a list conversion makes ahead of its items, in bytes: a sequence may report any length.
inline constexpr std::size_t kSequenceRoomBytes = 64 * 1024;

template <class C, class A>
struct From<std::vector<C, A>> {
  static std::vector<C, A> convert(PyObject* value) {
    std::size_t room = 0;
    Ref iterator = begin_sequence(value, std::max<std::size_t>(1, kSequenceRoomBytes / sizeof(C)), room);
    std::vector<C, A> out;
    out.reserve(room);
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
      out.push_back(From<C>::convert(item.get()));
    }
    if (PyErr_Occurred()) raise_pending();
    return out;
  }
};

// Checks for a tuple of `length` items.
void check_tuple(PyObject* value, Py_ssize_t length);

template <class A, class B>
struct From<std::pair<A, B>> {
  static std::pair<A, B> convert(PyObject* value) {
    check_tuple(value, 2);
    A first = From<A>::convert(PyTuple_GET_ITEM(value, 0));
    return {std::move(first), From<B>::convert(PyTuple_GET_ITEM(value, 1))};
  }
};

// ---- To Python ----------------------------------------------------------------------------

template <class V, class Enable = void>
struct ToPy;

template <class V>
Ref to_py(V&& value) {
  return ToPy<std::remove_cvref_t<V>>::convert(std::forward<V>(value));
}

Ref str_from(std::string_view text);

template <>
struct ToPy<Ref> {
  static Ref convert(Ref value) { return value; }
};
template <>
struct ToPy<std::string_view> {
  static Ref convert(std::string_view text) { return str_from(text); }
};
template <>
struct ToPy<std::string> {
  static Ref convert(const std::string& text) { return str_from(text); }
};
template <>
struct ToPy<const char*> {
  static Ref convert(const char* text) { return str_from(text); }
};
template <>
struct ToPy<bool> {
  static Ref convert(bool flag) { return Ref::borrow(flag ? Py_True : Py_False); }
};
template <>
struct ToPy<std::uint16_t> {
  static Ref convert(std::uint16_t number) { return checked(PyLong_FromLong(number)); }
};
template <>
struct ToPy<Py_ssize_t> {
  static Ref convert(Py_ssize_t number) { return checked(PyLong_FromSsize_t(number)); }
};

template <class V>
struct ToPy<std::optional<V>> {
  template <class O>
  static Ref convert(O&& value) {
    if (!value) return Ref::borrow(Py_None);
    return to_py(*std::forward<O>(value));
  }
};

template <class A, class B>
struct ToPy<std::pair<A, B>> {
  template <class P>
  static Ref convert(P&& pair) {
    Ref first = to_py(std::forward<P>(pair).first);
    Ref second = to_py(std::forward<P>(pair).second);
    return checked(PyTuple_Pack(2, first.get(), second.get()));
  }
};

// A list of texts, numbers, flags, pairs or lists; lists of model values are in py/class.hpp.
template <class V, class A>
  requires(!ModelClass<V>)
struct ToPy<std::vector<V, A>> {
  static Ref convert(const std::vector<V, A>& values) {
    Ref list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t i = 0; i < values.size(); ++i) {
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_py(values[i]).release());
    }
    return list;
  }
};

}  // namespace qv::py
