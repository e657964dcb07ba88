// errors.h: error codes of the conversion routines and the one place that
// turns a code into a Python exception.
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

/// Sets a Python error, taking the interpreter lock itself, so it may be
/// called with the lock held or from inside a released section.
void set_error_with_lock(PyObject *type, const char *message);

/// Reports the failed conversion of an argument: kFail counts as a type
/// error. Always returns nullptr so a wrapper can `return argument_error(...)`.
PyObject *argument_error(int code, const char *message);

}  // namespace qm

#endif
