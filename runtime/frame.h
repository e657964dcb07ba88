// frame.h: the frame every Python-callable function runs in. The lock is
// taken on entry (PyGILState_Ensure, so any thread may call), released only
// around the one native call or field access, and given back on every exit.
#ifndef QM_RUNTIME_FRAME_H
#define QM_RUNTIME_FRAME_H

#include <cstddef>
#include <utility>

#include "runtime/python.h"

namespace qm {

/// The interpreter-lock state of one call from Python.
class CallFrame {
 public:
  CallFrame() : state_(PyGILState_Ensure()) {}
  ~CallFrame() { PyGILState_Release(state_); }
  CallFrame(const CallFrame &) = delete;
  CallFrame &operator=(const CallFrame &) = delete;

 private:
  PyGILState_STATE state_;
};

/// Runs `work` with the interpreter lock released. No Python object may be
/// touched inside; errors found there go through set_error_with_lock.
template <class Work>
inline void unlocked(Work &&work) {
  PyThreadState *saved = PyEval_SaveThread();
  std::forward<Work>(work)();
  PyEval_RestoreThread(saved);
}

namespace detail {
template <std::size_t... I>
inline bool parse_objects(PyObject *args, const char *format, PyObject **objects,
                          std::index_sequence<I...>) {
  return PyArg_ParseTuple(args, format, &objects[I]...) != 0;
}
}  // namespace detail

/// Parses exactly N positional objects with a fixed format ("OO:name").
template <std::size_t N>
inline bool parse_args(PyObject *args, const char *format, PyObject **objects) {
  return detail::parse_objects(args, format, objects, std::make_index_sequence<N>());
}

}  // namespace qm

#endif
