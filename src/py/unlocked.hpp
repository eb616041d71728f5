#pragma once
// Work done without the interpreter lock, so that other Python threads run meanwhile.
#include <Python.h>

#include <cstddef>

namespace qv::py {

// Releases the interpreter lock for its life and takes it again when it ends, also when an
// exception leaves the scope (so the exception reaches Python with the lock held). What runs
// meanwhile must not touch Python: no object, no reference count, no error state.
class WithoutLock {
 public:
  WithoutLock() noexcept : state_(PyEval_SaveThread()) {}
  ~WithoutLock() { PyEval_RestoreThread(state_); }
  WithoutLock(const WithoutLock&) = delete;
  WithoutLock& operator=(const WithoutLock&) = delete;

 private:
  PyThreadState* state_;
};

// Inputs from this size on are read without the lock; below it, giving the lock away and taking
// it again would cost more than other threads gain.
inline constexpr std::size_t kUnlockedFrom = std::size_t{1} << 16;

// work(), without the lock when `input_bytes` reaches kUnlockedFrom.
template <class Work>
decltype(auto) unlocked_for(std::size_t input_bytes, Work&& work) {
  if (input_bytes < kUnlockedFrom) return work();
  WithoutLock released;
  return work();
}

}  // namespace qv::py
