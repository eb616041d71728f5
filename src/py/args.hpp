#pragma once
// Matching the arguments of a call against a member's parameters.
//
// Every parameter is positional-or-keyword. The first `required` parameters must be given; the
// others are optional, and an optional one given as None counts as absent. Failures raise
// TypeError with the texts (the full name is "<class>.<member>()"):
//   "<full name> takes 1 positional arguments but 2 were given"
//   "<full name> takes from 0 to 1 positional arguments but 2 were given"
//   "<full name> got an unexpected keyword argument 'x'"
//   "<full name> got multiple values for argument 'x'"
//   "<full name> missing 1 required positional argument: 'x'"
#include "py/convert.hpp"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>

namespace qv::py {

inline constexpr std::size_t kMaxParameters = 4;

struct ArgumentSpec {
  constexpr ArgumentSpec(const char* class_name, const char* member_name,
                         std::initializer_list<const char*> parameters, std::size_t required)
      : class_name(class_name), member_name(member_name), count(parameters.size()), required(required) {
    std::size_t i = 0;
    for (const char* p : parameters) names[i++] = p;
  }

  const char* class_name;
  const char* member_name;
  std::array<const char*, kMaxParameters> names{};
  std::size_t count;
  std::size_t required;
};

// The matched arguments of one call: borrowed references, valid for the call.
class Arguments {
 public:
  // A fast call: `args` holds `nargs` positional values, then one value per name of `kwnames`.
  Arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) : spec_(spec) {
    if (kwnames == nullptr && nargs >= static_cast<Py_ssize_t>(spec.required) &&
        nargs <= static_cast<Py_ssize_t>(spec.count)) {
      for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = args[i];  // the usual call
    } else {
      match(args, nargs, kwnames);
    }
  }
  // A classic call (the constructor slot): a tuple and an optional dict.
  Arguments(const ArgumentSpec& spec, PyObject* args, PyObject* kwargs);

  // The object given for parameter i, or null when it was not given.
  PyObject* raw(std::size_t i) const noexcept { return values_[i]; }

  // Parameter i, converted; conversion TypeErrors name the parameter.
  template <class C>
  C get(std::size_t i) const {
    if (values_[i] == nullptr) fault("argument '" + std::string(spec_.names[i]) + "' read but not given");
    return convert_argument(spec_.names[i], [&] { return From<C>::convert(values_[i]); });
  }

  // An optional parameter i: nothing when absent or None.
  template <class C>
  std::optional<C> get_optional(std::size_t i) const {
    if (values_[i] == nullptr || values_[i] == Py_None) return std::nullopt;
    return get<C>(i);
  }

  const ArgumentSpec& spec() const noexcept { return spec_; }

 private:
  void match(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
  void bind_keyword(PyObject* name, PyObject* value);
  void check_required() const;

  const ArgumentSpec& spec_;
  std::array<PyObject*, kMaxParameters> values_{};
};

}  // namespace qv::py
