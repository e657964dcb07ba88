// errors.cpp: code-to-exception mapping and error reporting.
#include "runtime/errors.h"

#include <new>

#include "runtime/frame.h"

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
  CallFrame lock;
  PyErr_SetString(type, message);
}

PyObject *raise_error(PyObject *type, const char *message) {
  PyErr_SetString(type, message);
  return nullptr;
}

PyObject *argument_error(int code, const char *message) {
  return raise_error(exception_for(code == kFail ? kTypeError : code), message);
}

PyObject *raise_native_exception(const char *out_of_memory, const char *other) {
  PyObject *type = PyExc_RuntimeError;
  const char *message = other;
  try {
    throw;
  } catch (const std::bad_alloc &) {
    type = PyExc_MemoryError;
    message = out_of_memory;
  } catch (...) {
  }
  CallFrame lock;
  if (!PyErr_Occurred()) PyErr_SetString(type, message);
  return nullptr;
}

}  // namespace qm
