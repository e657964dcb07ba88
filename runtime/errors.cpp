// errors.cpp: code-to-exception mapping and error reporting under the lock.
#include "runtime/errors.h"

namespace qm {

PyObject *exception_for(int code) {
  switch (code) {
    case kIOError: return PyExc_IOError;
    case kRuntimeError: return PyExc_RuntimeError;
    case kIndexError: return PyExc_IndexError;
    case kTypeError: return PyExc_TypeError;
    case kDivisionByZero: return PyExc_ZeroDivisionError;
    case kOverflowError: return PyExc_OverflowError;
    case kSyntaxError: return PyExc_SyntaxError;
    case kValueError: return PyExc_ValueError;
    case kSystemError: return PyExc_SystemError;
    case kAttributeError: return PyExc_AttributeError;
    case kMemoryError: return PyExc_MemoryError;
    default: return PyExc_RuntimeError;  // kFail and unknown codes
  }
}

void set_error_with_lock(PyObject *type, const char *message) {
  PyGILState_STATE state = PyGILState_Ensure();
  PyErr_SetString(type, message);
  PyGILState_Release(state);
}

PyObject *argument_error(int code, const char *message) {
  set_error_with_lock(exception_for(code == kFail ? kTypeError : code), message);
  return nullptr;
}

}  // namespace qm
