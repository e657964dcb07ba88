// errors.h: error codes of the conversion routines and every routine that
// sets a Python error: codes, fixed messages, native exceptions. Those that
// report return nullptr so a wrapper can `return raise_error(...)`.
#ifndef QM_RUNTIME_ERRORS_H
#define QM_RUNTIME_ERRORS_H

#include "runtime/python.h"

namespace qm {

/// Result codes of every conversion routine: 0 (or more) is success.
enum Code : int {
  kOk = 0,
  kFail = -1,  ///< a pointer conversion found no match; wrappers report it as kTypeError
  kIOError = -2,
  kRuntimeError = -3,
  kIndexError = -4,
  kTypeError = -5,
  kDivisionByZero = -6,
  kOverflowError = -7,
  kSyntaxError = -8,
  kValueError = -9,
  kSystemError = -10,
  kAttributeError = -11,
  kMemoryError = -12,
};

/// The exception class of a code (borrowed); unknown codes and kFail give RuntimeError.
PyObject *exception_for(int code);

/// Sets a Python error, taking the interpreter lock itself: for code inside
/// a released section. With the lock held, use raise_error.
void set_error_with_lock(PyObject *type, const char *message);

/// Sets `type` with a fixed message (lock held); nullptr.
PyObject *raise_error(PyObject *type, const char *message);

/// Reports the failed conversion of an argument or variable: kFail counts as
/// a type error (lock held); nullptr.
PyObject *argument_error(int code, const char *message);

/// True for a successful conversion code; otherwise reports it as
/// argument_error does and gives false.
inline bool converted(int code, const char *message) {
  return code >= 0 || argument_error(code, message);
}

/// The one translation of a native exception into a Python error, called
/// inside a catch block, with or without the lock (it takes the lock itself).
/// An error already pending stands; otherwise std::bad_alloc becomes
/// MemoryError(`out_of_memory`) and anything else RuntimeError(`other`).
PyObject *raise_native_exception(const char *out_of_memory, const char *other);

}  // namespace qm

#endif
