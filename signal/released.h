// released.h: runs a kernel with the interpreter lock released. The kernel
// touches no Python object (its buffers were taken before); a native
// exception it throws (std::bad_alloc from a table or buffer) is caught
// here, on the kernel's side, and reported once the lock is back.
//
// A kernel of little work keeps the lock: while another thread waits for
// it, handing the lock over and taking it back costs a wake-up of each
// thread, more than a pass over a few thousand values (an analysis makes a
// dozen such calls, on the few bins of a component).
#ifndef QM_SIGNAL_RELEASED_H
#define QM_SIGNAL_RELEASED_H

#include <cstddef>
#include <new>

#include "runtime/python.h"
#include "signal/errors.h"

namespace qs {

/// Elements of work from which a kernel runs without the lock.
constexpr size_t kReleasedWork = size_t(1) << 14;

/// Runs `kernel()`, without the lock when `work` (elements the kernel
/// passes over) reaches kReleasedWork. True when it completed; false with
/// MemoryError or RuntimeError set.
template <typename Kernel>
bool released(size_t work, Kernel &&kernel) {
  Problem problem = kInternal;
  bool done = false;
  PyThreadState *state = work >= kReleasedWork ? PyEval_SaveThread() : nullptr;
  try {
    kernel();
    done = true;
  } catch (const std::bad_alloc &) {
    problem = kNoMemory;
  } catch (...) {
    problem = kInternal;
  }
  if (state) PyEval_RestoreThread(state);
  if (!done) fail(problem);
  return done;
}

}  // namespace qs

#endif
