// released.h: runs a kernel with the interpreter lock released. The kernel
// touches no Python object (its buffers were taken before); a native
// exception it throws (std::bad_alloc from a table or buffer) is caught
// here, on the kernel's side, and reported once the lock is back.
#ifndef QM_SIGNAL_RELEASED_H
#define QM_SIGNAL_RELEASED_H

#include <new>

#include "runtime/python.h"
#include "signal/errors.h"

namespace qs {

/// Runs `kernel()` without the lock. True when it completed; false with
/// MemoryError or RuntimeError set.
template <typename Kernel>
bool released(Kernel &&kernel) {
  Problem problem = kInternal;
  bool done = false;
  PyThreadState *state = PyEval_SaveThread();
  try {
    kernel();
    done = true;
  } catch (const std::bad_alloc &) {
    problem = kNoMemory;
  } catch (...) {
    problem = kInternal;
  }
  PyEval_RestoreThread(state);
  if (!done) fail(problem);
  return done;
}

}  // namespace qs

#endif
