#pragma once
// Errors inside the module and the one guard through which every call from Python enters.
//
// Bodies of methods, attribute accessors and slots report failures by throwing:
//  - a Python error: the code sets the interpreter's error indicator (raise(), raise_pending(),
//    check()) and throws ErrorAlreadySet; the guard leaves the error in place for the caller;
//  - std::bad_alloc: becomes MemoryError;
//  - an internal fault (fault(), a condition no input can cause) or any other C++ exception:
//    its text and source place go to the standard error stream and Python receives a
//    PanicException, a BaseException subclass, carrying the text.
// No C++ exception ever leaves an entry function.
#include "py/ref.hpp"

#include <exception>
#include <source_location>
#include <string>
#include <string_view>

namespace qv::py {

// Thrown after a Python error has been set; carries nothing itself.
struct ErrorAlreadySet {};

// Sets `type` with the message and throws ErrorAlreadySet.
[[noreturn]] void raise(PyObject* type, std::string_view message);
// Throws ErrorAlreadySet for the error the interpreter has set (SystemError when it set none).
[[noreturn]] void raise_pending();

// A new reference from the C API, or the pending error thrown.
inline PyObject* check(PyObject* result) {
  if (result == nullptr) raise_pending();
  return result;
}
inline Ref checked(PyObject* result) { return Ref::steal(check(result)); }
// A status code from the C API (-1 on failure).
inline int check_status(int status) {
  if (status < 0) raise_pending();
  return status;
}

// A fault of the module itself; never the result of ordinary input.
class InternalFault : public std::exception {
 public:
  InternalFault(std::string message, std::source_location where)
      : message_(std::move(message)), where_(where) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const std::source_location& where() const noexcept { return where_; }

 private:
  std::string message_;
  std::source_location where_;
};

[[noreturn]] void fault(std::string message,
                        std::source_location where = std::source_location::current());
// The fault of a value that had to be present.
[[noreturn]] void fault_none(std::source_location where = std::source_location::current());
// The fault of a result that had to be a success; `debug` describes the error.
[[noreturn]] void fault_err(std::string_view debug,
                            std::source_location where = std::source_location::current());

// The fault of a pending Python error that no input can cause: MemoryError, which running out of
// memory can, stays pending and is thrown on as ErrorAlreadySet; any other is taken out and
// reported as a fault at `where`.
[[noreturn]] void fault_pending(std::source_location where = std::source_location::current());

// Takes the pending Python error out of the interpreter and describes it as the type's name and
// the value's representation, e.g. "MemoryError()". An empty text when none is pending.
std::string take_error_description();

// The class of internal faults, created on first use (a BaseException subclass).
PyObject* panic_exception_type() noexcept;

// Turns the C++ exception in flight into the Python error of the call. Only for catch blocks.
void set_error_from_current_exception() noexcept;

// Readies the calling thread for the module's code, once per thread; false where memory ran out
// first. Set by the module before its initialisation (null: nothing to ready).
inline bool (*ready_thread)() noexcept = nullptr;

// The guard of every entry function: runs the body and returns its result, or sets the Python
// error and returns `failure` (null or -1, as the interpreter expects of the slot). A thread that
// cannot be readied gets MemoryError without running the body.
template <class R, class Body>
R entry(R failure, Body&& body) noexcept {
  if (ready_thread != nullptr && !ready_thread()) {
    PyErr_NoMemory();
    return failure;
  }
  try {
    return body();
  } catch (...) {
    set_error_from_current_exception();
    return failure;
  }
}

}  // namespace qv::py
