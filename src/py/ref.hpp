#pragma once
// An owning handle to a Python object: holds one strong reference and drops it when it goes.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace qv::py {

class Ref {
 public:
  Ref() noexcept = default;
  Ref(const Ref& other) noexcept : p_(other.p_) { Py_XINCREF(p_); }
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~Ref() { Py_XDECREF(p_); }

  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a new reference (which may be null).
  static Ref steal(PyObject* p) noexcept { return Ref(p); }
  // Adds a reference to a borrowed one.
  static Ref borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return Ref(p);
  }

  PyObject* get() const noexcept { return p_; }
  // Hands the reference to the caller; the handle is empty afterwards.
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace qv::py
