// convert.cpp: the scalar and string rules, result rules and output packing.
#include "runtime/convert.h"

#include <climits>
#include <cstring>
#include <new>

#include "runtime/errors.h"
#include "runtime/proxy.h"
#include "runtime/reference.h"
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
  OwnedReference list(result), item(obj);
  if (!PyType_HasFeature(Py_TYPE(result), Py_TPFLAGS_LIST_SUBCLASS)) {
    PyObject *wrapped = PyList_New(1);
    if (!wrapped) return nullptr;
    PyList_SET_ITEM(wrapped, 0, list.release());  // steals result
    list = wrapped;
  }
  if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  return list.release();
}

PyObject *append_tuple(PyObject *result, PyObject *obj) {
  OwnedReference joined(result), item(obj);
  if (!result || result == Py_None)
    return raise_error(PyExc_ValueError, "Expected to be called from non-void.");
  if (!item) return nullptr;  // the output could not be made; its error stands
  if (!PyType_HasFeature(Py_TYPE(result), Py_TPFLAGS_TUPLE_SUBCLASS)) {
    PyObject *wrapped = PyTuple_New(1);
    if (!wrapped) return nullptr;
    PyTuple_SET_ITEM(wrapped, 0, joined.release());
    joined = wrapped;
  }
  OwnedReference single(PyTuple_New(1));
  if (!single) return nullptr;
  PyTuple_SET_ITEM(single.get(), 0, item.release());
  return PySequence_Concat(joined.get(), single.get());
}

}  // namespace qm
