// convert.cpp: the scalar and string rules, result rules and output packing.
#include "runtime/convert.h"

#include <climits>
#include <cstring>
#include <new>

#include "runtime/errors.h"
#include "runtime/proxy.h"
#include "runtime/types.h"

namespace qm {

namespace {
bool has_flag(PyObject *obj, long flag) { return PyType_HasFeature(Py_TYPE(obj), flag) != 0; }
}  // namespace

namespace detail {

int long_as_unsigned(PyObject *obj, unsigned long *out) {
  if (!has_flag(obj, Py_TPFLAGS_LONG_SUBCLASS)) return kTypeError;
  unsigned long v = PyLong_AsUnsignedLong(obj);
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return kTypeError;
  }
  if (out) *out = v;
  return kOk;
}

int long_as_int(PyObject *obj, int *out) {
  if (!has_flag(obj, Py_TPFLAGS_LONG_SUBCLASS)) return kTypeError;
  long v = PyLong_AsLong(obj);
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return kTypeError;
  }
  if (out) *out = static_cast<int>(v);
  return kOk;
}

}  // namespace detail

int as_double(PyObject *obj, double *out) {
  if (Py_TYPE(obj) == &PyFloat_Type || PyType_IsSubtype(Py_TYPE(obj), &PyFloat_Type)) {
    if (out) *out = PyFloat_AsDouble(obj);
    return kOk;
  }
  if (has_flag(obj, Py_TPFLAGS_INT_SUBCLASS)) {
    if (out) *out = static_cast<double>(PyInt_AsLong(obj));
    return kOk;
  }
  if (has_flag(obj, Py_TPFLAGS_LONG_SUBCLASS)) {
    double v = PyLong_AsDouble(obj);
    if (PyErr_Occurred()) {
      PyErr_Clear();
      return kTypeError;
    }
    if (out) *out = v;
    return kOk;
  }
  return kTypeError;
}

int as_byte(PyObject *obj, unsigned char *out) {
  unsigned long v = 0;
  int code = as_unsigned(obj, &v);
  if (code < 0) return code;
  if (v > 255) return kOverflowError;
  if (out) *out = static_cast<unsigned char>(v);
  return kOk;
}

int as_string(PyObject *obj, char **out, size_t *size, int *alloc) {
  if (has_flag(obj, Py_TPFLAGS_STRING_SUBCLASS)) {
    char *text = nullptr;
    Py_ssize_t length = 0;
    if (PyString_AsStringAndSize(obj, &text, &length) < 0) {
      PyErr_Clear();  // cannot fail for a str; keep the no-pending-error promise
      return kTypeError;
    }
    if (out) {
      if (alloc && *alloc == kNewObject) {
        char *copy = new (std::nothrow) char[static_cast<size_t>(length) + 1];
        if (!copy) return kMemoryError;
        std::memcpy(copy, text, static_cast<size_t>(length) + 1);
        *out = copy;
      } else {
        *out = text;
        if (alloc) *alloc = 0;
      }
    }
    if (size) *size = static_cast<size_t>(length) + 1;
    return kOk;
  }
  TypeDescriptor *char_type = char_pointer_type();
  if (char_type) {
    char *pointer = nullptr;
    if (convert_pointer(obj, &pointer, char_type, 0) >= 0) {
      if (out) *out = pointer;
      if (size) *size = pointer ? std::strlen(pointer) + 1 : 0;
      if (alloc) *alloc = 0;
      return kOk;
    }
  }
  return kTypeError;
}

PyObject *from_unsigned(unsigned long value) {
  return value > static_cast<unsigned long>(LONG_MAX) ? PyLong_FromUnsignedLong(value)
                                                      : PyInt_FromLong(static_cast<long>(value));
}

PyObject *from_int(long value) { return PyInt_FromLong(value); }
PyObject *from_double(double value) { return PyFloat_FromDouble(value); }
PyObject *from_byte(unsigned char value) { return PyInt_FromLong(value); }

PyObject *from_string(const char *text) {
  if (!text) Py_RETURN_NONE;
  size_t length = std::strlen(text);
  if (length > static_cast<size_t>(INT_MAX)) {
    return make_proxy(const_cast<char *>(text), char_pointer_type(), kBorrowed);
  }
  return PyString_FromStringAndSize(text, static_cast<Py_ssize_t>(length));
}

PyObject *append_list(PyObject *result, PyObject *obj) {
  if (!result) return obj;
  if (result == Py_None) {
    Py_DECREF(result);
    return obj;
  }
  if (!PyType_HasFeature(Py_TYPE(result), Py_TPFLAGS_LIST_SUBCLASS)) {
    PyObject *list = PyList_New(1);
    if (!list) {
      Py_DECREF(result);
      Py_XDECREF(obj);
      return nullptr;
    }
    PyList_SET_ITEM(list, 0, result);  // steals result
    result = list;
  }
  if (!obj || PyList_Append(result, obj) < 0) {
    Py_XDECREF(obj);
    Py_DECREF(result);
    return nullptr;
  }
  Py_DECREF(obj);
  return result;
}

PyObject *append_tuple(PyObject *result, PyObject *obj) {
  if (!result || result == Py_None) {
    Py_XDECREF(result);
    Py_XDECREF(obj);
    PyErr_SetString(PyExc_ValueError, "Expected to be called from non-void.");
    return nullptr;
  }
  if (!obj) {  // the output could not be made; its error stands
    Py_DECREF(result);
    return nullptr;
  }
  if (!PyType_HasFeature(Py_TYPE(result), Py_TPFLAGS_TUPLE_SUBCLASS)) {
    PyObject *tuple = PyTuple_New(1);
    if (!tuple) {
      Py_DECREF(result);
      Py_DECREF(obj);
      return nullptr;
    }
    PyTuple_SET_ITEM(tuple, 0, result);
    result = tuple;
  }
  PyObject *single = PyTuple_New(1);
  if (!single) {
    Py_DECREF(result);
    Py_DECREF(obj);
    return nullptr;
  }
  PyTuple_SET_ITEM(single, 0, obj);
  PyObject *joined = PySequence_Concat(result, single);
  Py_DECREF(result);
  Py_DECREF(single);
  return joined;
}

}  // namespace qm
