// frame.h: the frame every Python-callable function runs in. The lock is
// taken on entry (PyGILState_Ensure, so any thread may call), released only
// around the one native call or field access, and given back on every exit;
// Entry is the prologue (lock, parse, typed pointer argument) of them all.
#ifndef QM_RUNTIME_FRAME_H
#define QM_RUNTIME_FRAME_H

#include <cstddef>
#include <utility>

#include "runtime/errors.h"
#include "runtime/proxy.h"
#include "runtime/python.h"

namespace qm {

/// A change of the interpreter-lock state for one scope, undone on every
/// exit, an exception's included.
template <class State, State (*change)(), void (*undo)(State)>
class LockScope {
 public:
  LockScope() : state_(change()) {}
  ~LockScope() { undo(state_); }
  LockScope(const LockScope &) = delete;
  LockScope &operator=(const LockScope &) = delete;

 private:
  State state_;
};

/// The lock taken for one call from Python (any thread may call).
using CallFrame = LockScope<PyGILState_STATE, PyGILState_Ensure, PyGILState_Release>;
/// The lock released for one scope and re-taken when it ends.
using Unlocked = LockScope<PyThreadState *, PyEval_SaveThread, PyEval_RestoreThread>;

/// Runs `work` with the interpreter lock released and gives its result. No
/// Python object may be touched inside; errors found there go through
/// set_error_with_lock.
template <class Work>
inline decltype(auto) unlocked(Work &&work) {
  Unlocked released;
  return std::forward<Work>(work)();
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

/// The prologue of a hand-written entry point: the lock is taken (for the
/// entry's whole life), then N positional objects are parsed with a fixed
/// format ("OO:name"). Test it before use: false means the parse error is set.
template <std::size_t N>
class Entry {
 public:
  Entry(PyObject *args, const char *format) : parsed_(parse_args<N>(args, format, objects_)) {}
  explicit operator bool() const { return parsed_; }
  PyObject *operator[](std::size_t i) const { return objects_[i]; }

  /// Argument `i` as a pointer of `type` (None: null); false with the
  /// argument's fixed message set. See convert_pointer for flags and owned.
  template <class T>
  bool pointer(std::size_t i, T **out, TypeDescriptor *type, const char *message, int flags = 0,
               int *owned = nullptr) const {
    return converted(convert_pointer(objects_[i], out, type, flags, owned), message);
  }

 private:
  CallFrame frame_;  ///< first: taken before parsing, released last
  PyObject *objects_[N + 1];  ///< set by a successful parse, read only after one
  bool parsed_;
};

}  // namespace qm

#endif
